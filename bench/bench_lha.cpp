// Method 1 coder: encode and decode throughput on 64 KiB of text, of an executable and of
// already-compressed bytes, with the coded/plain ratio as a counter; and liblhasa's -lh5-
// decoder (the reference peer) decoding the same coded data.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

#include "pak/lha_coder.h"

#ifdef KVO_HAVE_LIBLHASA
#include <lha_decoder.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kBlock = 65536;
constexpr uint32_t kPackedRoom = 2 * kBlock;

Bytes ReadPrefix(const char* path, size_t n) {
    std::ifstream f(path, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (b.size() > n) b.resize(n);
    return b;
}

// Repeats `b` until it is one full block (small files stand in for larger ones).
Bytes FillBlock(Bytes b) {
    if (b.empty()) b.assign(1, 0);
    const size_t unit = b.size();
    while (b.size() < kBlock) b.push_back(b[b.size() - unit]);
    b.resize(kBlock);
    return b;
}

Bytes TextBlock() {
    Bytes b = ReadPrefix("/usr/share/common-licenses/GPL-3", kBlock);
    return FillBlock(b);
}

Bytes ExecutableBlock() { return FillBlock(ReadPrefix("/bin/bash", kBlock)); }

// zlib output of a large executable: bytes that do not compress further.
Bytes CompressedBlock() {
    const Bytes source = ReadPrefix("/bin/bash", 8 * kBlock);
    uLongf len = compressBound(source.size());
    Bytes out(len);
    compress(out.data(), &len, source.data(), source.size());
    out.resize(len);
    return FillBlock(out);
}

Bytes Sample(int kind) {
    switch (kind) {
        case 0: return TextBlock();
        case 1: return ExecutableBlock();
        default: return CompressedBlock();
    }
}

const char* const kKindNames[] = {"text", "executable", "compressed"};

Bytes Encode(const Bytes& plain) {
    Bytes packed(kPackedRoom);
    uint32_t len = 0;
    LhaEncode(plain.data(), static_cast<uint32_t>(plain.size()), packed.data(), kPackedRoom, &len);
    packed.resize(len);
    return packed;
}

void BM_LhaEncode(benchmark::State& state) {
    const Bytes plain = Sample(static_cast<int>(state.range(0)));
    Bytes packed(kPackedRoom);
    uint32_t len = 0;
    for (auto _ : state) {
        LhaEncode(plain.data(), static_cast<uint32_t>(plain.size()), packed.data(), kPackedRoom, &len);
        benchmark::DoNotOptimize(packed.data());
    }
    state.SetLabel(kKindNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
    state.counters["ratio"] = static_cast<double>(len) / plain.size();
}

void BM_LhaDecode(benchmark::State& state) {
    const Bytes plain = Sample(static_cast<int>(state.range(0)));
    const Bytes packed = Encode(plain);
    Bytes out(plain.size());
    for (auto _ : state) {
        uint32_t len = static_cast<uint32_t>(out.size());
        if (!LhaDecode(packed.data(), static_cast<uint32_t>(packed.size()), out.data(), &len) || out != plain)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(kKindNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
    state.counters["ratio"] = static_cast<double>(packed.size()) / plain.size();
}

BENCHMARK(BM_LhaEncode)->DenseRange(0, 2);
BENCHMARK(BM_LhaDecode)->DenseRange(0, 2);

#ifdef KVO_HAVE_LIBLHASA
struct MemoryStream {
    const Bytes* data;
    size_t pos;
};

size_t ReadFromMemory(void* buf, size_t len, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const size_t n = std::min(len, s->data->size() - s->pos);
    std::memcpy(buf, s->data->data() + s->pos, n);
    s->pos += n;
    return n;
}

// liblhasa's -lh5- decoder over the same coded data, read from memory.
void BM_LhasaDecode(benchmark::State& state) {
    const Bytes plain = Sample(static_cast<int>(state.range(0)));
    const Bytes packed = Encode(plain);
    Bytes out(plain.size());
    char method[] = "-lh5-";
    LHADecoderType* type = lha_decoder_for_name(method);
    for (auto _ : state) {
        MemoryStream stream{&packed, 0};
        LHADecoder* d = lha_decoder_new(type, ReadFromMemory, &stream, plain.size());
        size_t got = 0;
        while (got < out.size()) {
            const size_t n = lha_decoder_read(d, out.data() + got, out.size() - got);
            if (n == 0) break;
            got += n;
        }
        lha_decoder_free(d);
        if (got != out.size() || out != plain) state.SkipWithError("liblhasa decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(kKindNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
}

BENCHMARK(BM_LhasaDecode)->DenseRange(0, 2);
#endif

}  // namespace
