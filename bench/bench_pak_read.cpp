// Reading a pack member sequentially through PakFile, per method, beside decoding the same
// blocks straight through the codec (the reader's own cost is the difference).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/bench_pak_common.h"
#include "pak/pak_codec.h"
#include "pak/pak_file.h"
#include "pak/pak_format.h"
#include "pak/pak_list.h"
#include "pak/pak_make.h"
#include "pak/pak_paths.h"

namespace {

constexpr size_t kMemberSize = 16 * 1024 * 1024;
constexpr uint32_t kReadPiece = 1024 * 1024;

// A pack of one 16 MiB member, made with `method`.
bool MakeBenchPack(int32_t method) {
    const char list[] = ".\r\nmember.bin\r\n";
    if (!BenchWriteFile("member.bin", BenchGameData(kMemberSize, 1)) ||
        !BenchWriteFile("list.txt", std::vector<uint8_t>(list, list + sizeof list - 1))) {
        return false;
    }
    PakMake make;
    const bool made = make.Make("list.txt", "bench.pak", method) == 1;
    SetWorkPath("\\");
    platform::RemoveFile("member.bin");  // the reader must find it in the pack, not on disk
    return made;
}

void BM_PakFileRead(benchmark::State& state) {
    const int32_t method = static_cast<int32_t>(state.range(0));
    BenchScratchDir dir("read");
    if (!MakeBenchPack(method)) {
        state.SkipWithError("method not available or pack not made");
        return;
    }
    PakList list;
    list.Open("bench.pak", 0);
    std::vector<uint8_t> buffer(kReadPiece);
    for (auto _ : state) {
        PakFile file;
        if (file.Open("member.bin") != 1) {
            state.SkipWithError("open failed");
            break;
        }
        uint32_t got = 0;
        while ((got = file.Read(buffer.data(), kReadPiece)) != 0) benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMemberSize);
}

// The coded blocks of the member, read straight from the pack file.
struct CodedBlocks {
    std::vector<std::vector<uint8_t>> packed;  // empty for a block stored plain
};

bool LoadBlocks(CodedBlocks& blocks) {
    std::vector<uint8_t> pack(static_cast<size_t>(BenchFileSize("bench.pak")));
    platform::FileHandle h = platform::OpenFileForRead("bench.pak");
    const bool read = platform::ReadFromFile(h, pack.data(), static_cast<uint32_t>(pack.size())) == pack.size();
    platform::CloseFile(h);
    if (!read) return false;
    const PakIndexEntry entry = PakLoadIndexEntry(pack.data() + kPakHeaderSize);
    const uint32_t count = PakBlockCount(entry.size);
    size_t at = entry.offset + count * kPakBlockTableValueSize;
    for (uint32_t b = 0; b < count; ++b) {
        const uint16_t value = PakLoad16(pack.data() + entry.offset + b * kPakBlockTableValueSize);
        if (value == kPakStoredBlock) {
            blocks.packed.emplace_back();
            at += kPakBlockSize;
        } else {
            blocks.packed.emplace_back(pack.begin() + at, pack.begin() + at + value);
            at += value;
        }
    }
    return true;
}

void BM_CodecDecodeSameBlocks(benchmark::State& state) {
    const int32_t method = static_cast<int32_t>(state.range(0));
    BenchScratchDir dir("decode");
    CodedBlocks blocks;
    PakCodec* codec = CreatePakCodec(method);
    if (codec == nullptr || !MakeBenchPack(method) || !LoadBlocks(blocks)) {
        if (codec != nullptr) DestroyPakCodec(codec, method);
        state.SkipWithError("method not available or pack not made");
        return;
    }
    std::vector<uint8_t> plain(kPakBlockSize);
    for (auto _ : state) {
        for (std::vector<uint8_t>& packed : blocks.packed) {
            if (packed.empty()) continue;  // a plain block costs the reader a copy only
            PakCodecJob job{plain.data(), kPakBlockSize, packed.data(), static_cast<uint32_t>(packed.size())};
            codec->Decode(job);
            benchmark::DoNotOptimize(plain.data());
        }
    }
    DestroyPakCodec(codec, method);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMemberSize);
}

void AllMethods(benchmark::internal::Benchmark* b) {
    for (int64_t method : {kPakMethodLzma, kPakMethodZlib, kPakMethodStored, kPakMethodLha, kPakMethodLzo}) b->Arg(method);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_PakFileRead)->Apply(AllMethods);
BENCHMARK(BM_CodecDecodeSameBlocks)->Apply(AllMethods);

}  // namespace
