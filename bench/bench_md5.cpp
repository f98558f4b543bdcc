// MD5 digest throughput: our digest text over contents of 1 KiB, 64 KiB, 16 MiB and 64 MiB,
// and, when OpenSSL is available, OpenSSL's MD5 over the same 64 MiB as the reference pace.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/md5.h"

#ifdef BENCH_MD5_OPENSSL_REFERENCE
#include <openssl/evp.h>
#endif

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * kKiB;
constexpr int64_t kLargeInput = 64 * kMiB;

std::vector<uint8_t> PatternBytes(size_t n) {
    std::vector<uint8_t> data(n);
    uint32_t x = 1;
    for (uint8_t& b : data) {
        x = x * 69069u + 1u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return data;
}

void BM_Md5Text(benchmark::State& state) {
    const std::vector<uint8_t> data = PatternBytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Md5Text(data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Md5Text)->Arg(kKiB)->Arg(64 * kKiB)->Arg(16 * kMiB)->Arg(kLargeInput);

#ifdef BENCH_MD5_OPENSSL_REFERENCE
void BM_OpenSslMd5Reference(benchmark::State& state) {
    const std::vector<uint8_t> data = PatternBytes(static_cast<size_t>(state.range(0)));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    for (auto _ : state) {
        // No engine: OpenSSL's default provider.
        if (!EVP_Digest(data.data(), data.size(), digest, &digestLength, EVP_md5(), nullptr)) {
            state.SkipWithError("EVP_Digest failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenSslMd5Reference)->Arg(kLargeInput);
#endif

}  // namespace
