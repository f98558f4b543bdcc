// Rebuilding a pack of several hundred MB with a few replacements, beside copying the same
// file. Kept entries are copied raw, so the rebuild should run near copy speed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_pak_common.h"
#include "pak/pak_codec.h"
#include "pak/pak_make.h"
#include "pak/pak_paths.h"
#include "pak/pak_updater.h"

namespace {

constexpr int kMembers = 64;
constexpr size_t kMemberSize = 5 * 1024 * 1024;  // 64 x 5 MiB = 320 MiB of members
constexpr size_t kReplacementSize = 1024 * 1024;
constexpr int kReplacements = 3;
constexpr uint32_t kCopyPiece = 1024 * 1024;

// The big pack, stored (method 0) so that it stays several hundred MB and is made quickly;
// kept entries are copied raw whatever the method.
bool MakeBigPack() {
    std::string list = ".\r\n";
    for (int i = 0; i < kMembers; ++i) {
        const std::string name = "member" + std::to_string(i) + ".bin";
        if (!BenchWriteFile(name, BenchGameData(kMemberSize, static_cast<uint32_t>(i)))) return false;
        list += name + "\r\n";
    }
    if (!BenchWriteFile("list.txt", std::vector<uint8_t>(list.begin(), list.end()))) return false;
    PakMake make;
    const bool made = make.Make("list.txt", "big.pak", kPakMethodStored) == 1;
    SetWorkPath("\\");
    for (int i = 0; i < kMembers; ++i) platform::RemoveFile(("member" + std::to_string(i) + ".bin").c_str());
    return made;
}

void BM_RebuildWithReplacements(benchmark::State& state) {
    BenchScratchDir dir("rebuild");
    if (!MakeBigPack()) {
        state.SkipWithError("pack not made");
        return;
    }
    const std::vector<uint8_t> replacement = BenchGameData(kReplacementSize, 99);
    for (auto _ : state) {
        PakUpdater updater;
        updater.OpenOrCreate("big.pak", 0);
        for (int r = 0; r < kReplacements; ++r) {
            const std::string name = "member" + std::to_string(r * 10) + ".bin";
            updater.AddBuffer(name.c_str(), replacement.data(), static_cast<uint32_t>(replacement.size()));
        }
        if (updater.Rebuild() != 1) {
            state.SkipWithError("rebuild failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * BenchFileSize("big.pak"));
}

// Copies the file in 1 MiB pieces and flushes the copy, as the rebuild flushes its output.
void BM_CopyFile(benchmark::State& state) {
    BenchScratchDir dir("copy");
    if (!MakeBigPack()) {
        state.SkipWithError("pack not made");
        return;
    }
    std::vector<uint8_t> piece(kCopyPiece);
    for (auto _ : state) {
        platform::FileHandle in = platform::OpenFileForRead("big.pak");
        platform::FileHandle out = platform::OpenFileForWrite("copy.pak");
        uint32_t got = 0;
        while ((got = platform::ReadFromFile(in, piece.data(), kCopyPiece)) != 0) platform::WriteToFile(out, piece.data(), got);
        platform::FlushFile(out);
        platform::CloseFile(out);
        platform::CloseFile(in);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * BenchFileSize("big.pak"));
}

BENCHMARK(BM_RebuildWithReplacements)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
