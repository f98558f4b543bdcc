// Throughput of the pack block codecs on 64 KiB blocks, each beside the raw library call it
// wraps, so the codec layer's own cost shows. Counters: "ratio" = packed / plain bytes
// (1 when the block does not fit and a writer would store it plain).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <lzma.h>
#include <lzo/lzo1x.h>
#include <zlib.h>

#include "pak/pak_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kBlock = kPakBlockSize;

// Bytes [offset, offset + size) of a file, or nothing when it cannot be read.
Bytes ReadFilePart(const char* path, long offset, size_t size) {
    Bytes out(size);
    FILE* f = std::fopen(path, "rb");
    if (!f) return {};
    const bool ok = std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out.data(), 1, size, f) == size;
    std::fclose(f);
    return ok ? out : Bytes();
}

// Text: the system's licence texts, repeated to fill a block.
Bytes TextBlock() {
    static const char* const kFiles[] = {"/usr/share/common-licenses/GPL-3", "/usr/share/common-licenses/Apache-2.0",
                                         "/usr/share/common-licenses/LGPL-2.1"};
    Bytes text;
    for (const char* path : kFiles) {
        FILE* f = std::fopen(path, "rb");
        if (!f) continue;
        char buf[4096];
        size_t n;
        while (text.size() < kBlock && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text.insert(text.end(), buf, buf + n);
        std::fclose(f);
    }
    for (size_t i = 0; text.size() < kBlock; ++i) {
        const std::string line = "key" + std::to_string(i) + " = value of entry " + std::to_string(i * 7) + "\r\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    text.resize(kBlock);
    return text;
}

// An executable: 64 KiB from a quarter into /bin/bash (inside its code), else this program.
Bytes ExecutableBlock() {
    const char* const kPaths[] = {"/bin/bash", "/proc/self/exe"};
    for (const char* path : kPaths) {
        FILE* f = std::fopen(path, "rb");
        if (!f) continue;
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fclose(f);
        if (size < static_cast<long>(2 * kBlock)) continue;
        Bytes b = ReadFilePart(path, size / 4, kBlock);
        if (!b.empty()) return b;
    }
    return Bytes(kBlock, 0x90);
}

// Already-compressed data looks random to every coder.
Bytes CompressedBlock() {
    std::mt19937 rng(1);
    Bytes b(kBlock);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

struct DataKind {
    const char* name;
    Bytes bytes;
};

const std::vector<DataKind>& Kinds() {
    static const std::vector<DataKind> kinds = {
        {"text", TextBlock()}, {"executable", ExecutableBlock()}, {"compressed", CompressedBlock()}};
    return kinds;
}

void SetRatio(benchmark::State& state, size_t packed, size_t plain) {
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(plain);
}

// ---- our codecs -----------------------------------------------------------------------

struct CodecHolder {
    int32_t method;
    PakCodec* codec;
    explicit CodecHolder(int32_t m) : method(m), codec(CreatePakCodec(m)) {}
    ~CodecHolder() { DestroyPakCodec(codec, method); }
};

void CodecEncode(benchmark::State& state, int32_t method, const Bytes* plainIn) {
    CodecHolder h(method);
    Bytes plain = *plainIn;
    Bytes packed(kPakPackedCapacity);
    PakCodecJob job{};
    for (auto _ : state) {
        job = PakCodecJob{plain.data(), static_cast<uint32_t>(plain.size()), packed.data(), kPakPackedCapacity};
        benchmark::DoNotOptimize(h.codec->Encode(job));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
    SetRatio(state, job.packedSize < kBlock ? job.packedSize : plain.size(), plain.size());
}

void CodecDecode(benchmark::State& state, int32_t method, const Bytes* plainIn) {
    CodecHolder h(method);
    Bytes plain = *plainIn;
    Bytes packed(kPakPackedCapacity);
    PakCodecJob enc{plain.data(), static_cast<uint32_t>(plain.size()), packed.data(), kPakPackedCapacity};
    if (!h.codec->Encode(enc) || enc.packedSize >= kBlock) {
        state.SkipWithError("block does not compress: a writer stores it plain");
        return;
    }
    Bytes out(plain.size());
    for (auto _ : state) {
        PakCodecJob job{out.data(), static_cast<uint32_t>(out.size()), packed.data(), enc.packedSize};
        if (!h.codec->Decode(job)) state.SkipWithError("decode failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
    SetRatio(state, enc.packedSize, plain.size());
}

// ---- the raw library calls ------------------------------------------------------------

void ZlibCompress(benchmark::State& state, const Bytes* plain) {
    Bytes packed(compressBound(plain->size()));
    uLongf len = 0;
    for (auto _ : state) {
        len = packed.size();
        benchmark::DoNotOptimize(compress2(packed.data(), &len, plain->data(), plain->size(), Z_DEFAULT_COMPRESSION));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain->size()));
    SetRatio(state, len, plain->size());
}

void ZlibUncompress(benchmark::State& state, const Bytes* plain) {
    Bytes packed(compressBound(plain->size()));
    uLongf packedLen = packed.size();
    compress2(packed.data(), &packedLen, plain->data(), plain->size(), Z_DEFAULT_COMPRESSION);
    Bytes out(plain->size());
    for (auto _ : state) {
        uLongf len = out.size();
        benchmark::DoNotOptimize(uncompress(out.data(), &len, packed.data(), packedLen));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain->size()));
    SetRatio(state, packedLen, plain->size());
}

size_t LzoCompressOnce(const Bytes& plain, Bytes& packed, Bytes& work) {
    lzo_uint len = 0;
    lzo1x_1_compress(plain.data(), plain.size(), packed.data(), &len, work.data());
    return len;
}

void LzoCompress(benchmark::State& state, const Bytes* plain) {
    lzo_init();
    Bytes work(LZO1X_1_MEM_COMPRESS), packed(plain->size() + plain->size() / 16 + 64 + 3);
    size_t len = 0;
    for (auto _ : state) benchmark::DoNotOptimize(len = LzoCompressOnce(*plain, packed, work));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain->size()));
    SetRatio(state, len, plain->size());
}

void LzoDecompress(benchmark::State& state, const Bytes* plain) {
    lzo_init();
    Bytes work(LZO1X_1_MEM_COMPRESS), packed(plain->size() + plain->size() / 16 + 64 + 3);
    const size_t packedLen = LzoCompressOnce(*plain, packed, work);
    Bytes out(plain->size());
    for (auto _ : state) {
        lzo_uint len = out.size();
        benchmark::DoNotOptimize(lzo1x_decompress_safe(packed.data(), packedLen, out.data(), &len, nullptr));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain->size()));
    SetRatio(state, packedLen, plain->size());
}

// Raw LZMA1 (no filter, no end marker) with the packs' settings: preset 5, 64 KiB dictionary.
struct LzmaChain {
    lzma_options_lzma opt{};
    lzma_filter chain[2];
    explicit LzmaChain(uint64_t plainSize) {
        lzma_lzma_preset(&opt, 5);
        opt.dict_size = kBlock;
        lzma_set_ext_size(opt, plainSize);
        chain[0] = lzma_filter{LZMA_FILTER_LZMA1EXT, &opt};
        chain[1] = lzma_filter{LZMA_VLI_UNKNOWN, nullptr};
    }
};

void LzmaEncode(benchmark::State& state, const Bytes* plain) {
    LzmaChain c(plain->size());
    Bytes packed(plain->size() * 2 + 1024);
    size_t pos = 0;
    for (auto _ : state) {
        pos = 0;
        benchmark::DoNotOptimize(lzma_raw_buffer_encode(c.chain, nullptr, plain->data(), plain->size(), packed.data(), &pos, packed.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain->size()));
    SetRatio(state, pos, plain->size());
}

void LzmaDecode(benchmark::State& state, const Bytes* plain) {
    LzmaChain c(plain->size());
    Bytes packed(plain->size() * 2 + 1024);
    size_t packedLen = 0;
    lzma_raw_buffer_encode(c.chain, nullptr, plain->data(), plain->size(), packed.data(), &packedLen, packed.size());
    Bytes out(plain->size());
    for (auto _ : state) {
        size_t inPos = 0, outPos = 0;
        benchmark::DoNotOptimize(lzma_raw_buffer_decode(c.chain, nullptr, packed.data(), &inPos, packedLen, out.data(), &outPos, out.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain->size()));
    SetRatio(state, packedLen, plain->size());
}

using RawFn = void (*)(benchmark::State&, const Bytes*);

struct MethodRow {
    const char* name;
    int32_t method;
    RawFn rawEncode;  // nullptr: nothing to compare with
    RawFn rawDecode;
};

const MethodRow kMethods[] = {
    {"lzma", kPakMethodLzma, LzmaEncode, LzmaDecode},
    {"zlib", kPakMethodZlib, ZlibCompress, ZlibUncompress},
    {"lzo", kPakMethodLzo, LzoCompress, LzoDecompress},
    {"stored", kPakMethodStored, nullptr, nullptr},
    {"lha", kPakMethodLha, nullptr, nullptr},
};

void RegisterAll() {
    for (const MethodRow& m : kMethods) {
        CodecHolder probe(m.method);
        if (!probe.codec) continue;  // not linked into this build
        for (const DataKind& kind : Kinds()) {
            const std::string suffix = std::string("/") + m.name + "/" + kind.name;
            const Bytes* data = &kind.bytes;
            const int32_t method = m.method;
            benchmark::RegisterBenchmark(("encode" + suffix).c_str(), [=](benchmark::State& s) { CodecEncode(s, method, data); });
            if (m.rawEncode) {
                const RawFn raw = m.rawEncode;
                benchmark::RegisterBenchmark(("raw-encode" + suffix).c_str(), [=](benchmark::State& s) { raw(s, data); });
            }
            benchmark::RegisterBenchmark(("decode" + suffix).c_str(), [=](benchmark::State& s) { CodecDecode(s, method, data); });
            if (m.rawDecode) {
                const RawFn raw = m.rawDecode;
                benchmark::RegisterBenchmark(("raw-decode" + suffix).c_str(), [=](benchmark::State& s) { raw(s, data); });
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
