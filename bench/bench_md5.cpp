// MD5 digest text throughput over contents of 1 KiB, 64 KiB and 16 MiB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/md5.h"

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * kKiB;

void BM_Md5Text(benchmark::State& state) {
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    uint32_t x = 1;
    for (uint8_t& b : data) {
        x = x * 69069u + 1u;
        b = static_cast<uint8_t>(x >> 24);
    }
    for (auto _ : state) benchmark::DoNotOptimize(Md5Text(data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Md5Text)->Arg(kKiB)->Arg(64 * kKiB)->Arg(16 * kMiB);

}  // namespace
