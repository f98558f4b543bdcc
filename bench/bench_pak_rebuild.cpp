// Pack rebuilds.
//  - A pack of a few hundred MB in thousands of members of mixed sizes, rebuilt with a few
//    replacements, beside copying the same file: kept entries are copied raw, so the rebuild
//    should run near copy speed.
//  - 64 MiB of new content rebuilt into a pack of every method, with one coding thread and
//    with one per core (at most 8): the new content is coded block by block, in parallel.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_pak_common.h"
#include "pak/pak_codec.h"
#include "pak/pak_coding_threads.h"
#include "pak/pak_make.h"
#include "pak/pak_paths.h"
#include "pak/pak_updater.h"

namespace {

constexpr int kMembers = 3000;
constexpr uint32_t kMemberSizeMin = 1024;
constexpr uint32_t kMemberSizeSpread = 220 * 1024;  // sizes 1 KiB .. 221 KiB, ~330 MB in all
constexpr size_t kReplacementSize = 1024 * 1024;
constexpr int kReplacements = 3;
constexpr int kReplacementStride = 997;  // members replaced: 0, 997, 1994
constexpr uint32_t kCopyPiece = 1024 * 1024;

constexpr size_t kNewContent = 64u * 1024 * 1024;
constexpr size_t kNewFileSize = 1024 * 1024;  // the new content comes as 64 files of 1 MiB
constexpr int kAllThreads = 0;                // benchmark argument: one thread per core

std::string MemberName(int i) { return "data\\member" + std::to_string(i) + ".bin"; }

uint32_t MemberSize(int i) {
    uint32_t state = static_cast<uint32_t>(i) * 2654435761u + 7;
    state = state * 1103515245u + 12345u;
    return kMemberSizeMin + (state >> 8) % kMemberSizeSpread;
}

// The packer names every file it packs on stdout: thousands of lines, kept out of the report.
class QuietStdout {
public:
    QuietStdout() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        if (std::FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), STDOUT_FILENO);
            std::fclose(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

// Packs the listed files into `pack` with `method`. The files stay until the scratch
// directory goes: thousands of files just deleted would make every file created in the next
// seconds slow (the file system passes over recently freed inodes), which is not the
// rebuild's cost.
bool MakePack(const std::vector<std::string>& names, const char* pack, int32_t method) {
    std::string list = ".\r\n";
    for (const std::string& name : names) list += name + "\r\n";
    if (!BenchWriteFile("list.txt", std::vector<uint8_t>(list.begin(), list.end()))) return false;
    bool made = false;
    {
        QuietStdout quiet;
        PakMake make;
        made = make.Make("list.txt", pack, method) == 1;
    }
    SetWorkPath("\\");
    return made;
}

// The big pack, stored (method 0) so that it is made quickly; kept entries are copied raw
// whatever the method.
bool MakeBigPack() {
    platform::MakeDirectory("data");
    std::vector<std::string> names;
    for (int i = 0; i < kMembers; ++i) {
        names.push_back(MemberName(i));
        if (!BenchWriteFile("data/member" + std::to_string(i) + ".bin", BenchGameData(MemberSize(i), static_cast<uint32_t>(i)))) {
            return false;
        }
    }
    return MakePack(names, "big.pak", kPakMethodStored);
}

bool RebuildWithReplacements(const std::vector<uint8_t>& replacement) {
    PakUpdater updater;
    updater.OpenOrCreate("big.pak", 0);
    for (int r = 0; r < kReplacements; ++r) {
        updater.AddBuffer(MemberName(r * kReplacementStride).c_str(), replacement.data(),
                          static_cast<uint32_t>(replacement.size()));
    }
    return updater.Rebuild() == 1;
}

// Copies the file in 1 MiB pieces over the last round's copy and flushes it, as the rebuild
// writes its new pack, flushes it and puts it over the old one.
void CopyFile(std::vector<uint8_t>& piece) {
    platform::FileHandle in = platform::OpenFileForRead("big.pak");
    platform::FileHandle out = platform::OpenFileForWrite("copy.pak");
    uint32_t got = 0;
    while ((got = platform::ReadFromFile(in, piece.data(), kCopyPiece)) != 0) platform::WriteToFile(out, piece.data(), got);
    platform::FlushFile(out);
    platform::CloseFile(out);
    platform::CloseFile(in);
}

// Both benchmarks run one round untimed first: on a virtual machine the first writes of a
// few hundred MB wait for the host to hand over fresh memory for the file cache, a cost of
// the machine rather than of the code, and whichever ran first would pay it.
void BM_RebuildWithReplacements(benchmark::State& state) {
    BenchScratchDir dir("rebuild");
    const std::vector<uint8_t> replacement = BenchGameData(kReplacementSize, 99);
    if (!MakeBigPack() || !RebuildWithReplacements(replacement)) {
        state.SkipWithError("pack not made");
        return;
    }
    for (auto _ : state) {
        if (!RebuildWithReplacements(replacement)) {
            state.SkipWithError("rebuild failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * BenchFileSize("big.pak"));
}

void BM_CopyFile(benchmark::State& state) {
    BenchScratchDir dir("copy");
    if (!MakeBigPack()) {
        state.SkipWithError("pack not made");
        return;
    }
    std::vector<uint8_t> piece(kCopyPiece);
    CopyFile(piece);
    for (auto _ : state) CopyFile(piece);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * BenchFileSize("big.pak"));
}

// Arguments: the pack's method, and the coding threads (0: one per core).
void BM_RebuildNewContent(benchmark::State& state) {
    const int32_t method = static_cast<int32_t>(state.range(0));
    BenchScratchDir dir("newcontent");
    if (!BenchWriteFile("seed.txt", BenchGameData(1000, 1)) || !MakePack({"seed.txt"}, "base.pak", method)) {
        state.SkipWithError("pack not made");
        return;
    }
    SetPakCodingThreads(static_cast<unsigned>(state.range(1)));
    state.counters["threads"] = PakCodingThreads();
    std::vector<std::vector<uint8_t>> files;
    for (size_t i = 0; i < kNewContent / kNewFileSize; ++i) files.push_back(BenchGameData(kNewFileSize, static_cast<uint32_t>(i + 1)));
    for (auto _ : state) {
        state.PauseTiming();
        platform::CopyFileTo("base.pak", "work.pak", false /* over the last round's pack */);
        PakUpdater updater;
        updater.OpenOrCreate("work.pak", 0);
        for (size_t i = 0; i < files.size(); ++i) {
            updater.AddBuffer(("new" + std::to_string(i) + ".bin").c_str(), files[i].data(), static_cast<uint32_t>(files[i].size()));
        }
        state.ResumeTiming();
        if (updater.Rebuild() != 1) {
            state.SkipWithError("rebuild failed");
            break;
        }
    }
    SetPakCodingThreads(0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kNewContent));
}

BENCHMARK(BM_RebuildWithReplacements)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RebuildNewContent)
    ->ArgNames({"method", "threads"})
    ->ArgsProduct({{kPakMethodLzma, kPakMethodZlib, kPakMethodStored, kPakMethodLha, kPakMethodLzo}, {1, kAllThreads}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
