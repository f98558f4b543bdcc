// Delta updates on a sample game of four members of about 20 MB (text, structured binary,
// an executable-like image, compressed media), three of which a hotfix changes by at most
// 5 %: the bytes a player downloads through patches against the whole members, and the time
// to install the change through the patches (apply, check the MD5, rebuild the pack) against
// today's install of the whole members (check the MD5, rebuild the pack).
// `bench_delta --write-sample DIR` writes the sample's two versions as game folders instead.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_pak_common.h"
#include "engine/delta_patch.h"
#include "engine/md5.h"
#include "pak/pak_updater.h"

namespace {

constexpr size_t kMemberSize = 20u << 20;

uint32_t Next(uint32_t& x) {
    x = x * 1103515245u + 12345u;
    return x >> 8;
}

// Dialogue and table text: lines of words and numbers.
std::string TextMember(uint32_t seed) {
    static const char* const kWords[] = {"sword", "guild", "quest", "dragon", "potion", "castle", "merchant",
                                         "level", "shield", "arrow", "forest", "river"};
    std::string s;
    while (s.size() < kMemberSize) {
        s += std::to_string(Next(seed) % 100000) + "\t";
        for (int w = 0; w < 8; ++w) s += std::string(kWords[Next(seed) % 12]) + " ";
        s += "\r\n";
    }
    s.resize(kMemberSize);
    return s;
}

// Records of small numbers and ids, like a map or an item table.
std::string BinaryMember(uint32_t seed) {
    std::string s(kMemberSize, '\0');
    for (size_t i = 0; i + 16 <= s.size(); i += 16) {
        for (size_t j = 0; j < 16; ++j) s[i + j] = static_cast<char>(j < 4 ? (i >> (8 * j)) : Next(seed) % 16);
    }
    return s;
}

// Machine code: short instruction-like sequences from a small vocabulary with addresses.
std::string ExecutableMember(uint32_t seed) {
    static const char kOps[][4] = {"\x55\x8b\xec", "\x8b\x45\x08", "\xe8\x00\x00", "\x83\xc4\x04", "\x5d\xc3\x90"};
    std::string s;
    while (s.size() < kMemberSize) {
        s.append(kOps[Next(seed) % 5], 3);
        const uint32_t address = Next(seed) % 65536;
        s.append(reinterpret_cast<const char*>(&address), 2);
    }
    s.resize(kMemberSize);
    return s;
}

// Compressed media: bytes no coder can shrink.
std::string MediaMember(uint32_t seed) {
    std::string s(kMemberSize, '\0');
    for (char& c : s) c = static_cast<char>(Next(seed));
    return s;
}

// The hotfix: text lines edited here and there (1 %), code with a 64 KiB function inserted
// and addresses shifted in 0.5 % of places, 400 KiB of media re-encoded (2 %).
std::string FixText(std::string s) {
    uint32_t seed = 11;
    for (size_t n = 0; n < kMemberSize / 100 / 16; ++n) s.replace(Next(seed) % (kMemberSize - 16), 16, "patched entry 1!");
    return s;
}
std::string FixExecutable(std::string s) {
    uint32_t seed = 12;
    s.insert(kMemberSize / 3, ExecutableMember(99).substr(0, 64 * 1024));
    for (size_t n = 0; n < kMemberSize / 200 / 2; ++n) s[Next(seed) % s.size()] ^= 0x10;
    return s;
}
std::string FixMedia(std::string s) {
    const std::string fresh = MediaMember(77).substr(0, 400 * 1024);
    s.replace(kMemberSize / 2, fresh.size(), fresh);
    return s;
}

struct Member {
    std::string name;
    std::string v1;
    std::string v2;
    std::string patch;
};

// The sample's members in both versions, without patches.
std::vector<Member> Sample() {
    std::vector<Member> game;
    game.push_back({"data/dialogue.txt", TextMember(1), "", ""});
    game.back().v2 = FixText(game.back().v1);
    game.push_back({"bin/client.exe", ExecutableMember(2), "", ""});
    game.back().v2 = FixExecutable(game.back().v1);
    game.push_back({"media/intro.ogv", MediaMember(3), "", ""});
    game.back().v2 = FixMedia(game.back().v1);
    game.push_back({"data/items.bin", BinaryMember(4), "", ""});  // unchanged by the hotfix
    game.back().v2 = game.back().v1;
    return game;
}

std::vector<Member>& Game() {
    static std::vector<Member> game;
    if (!game.empty()) return game;
    game = Sample();
    for (Member& m : game) {
        if (m.v1 != m.v2) MakeDeltaPatch(m.v1.data(), m.v1.size(), m.v2.data(), m.v2.size(), &m.patch);
    }
    return game;
}

// The v1 pack of the game, made afresh so every round rebuilds the same pack.
bool MakeV1Pack() {
    std::remove("game.pak");
    PakUpdater updater;
    if (updater.OpenOrCreate("game.pak", 1) != 1) return false;
    for (const Member& m : Game()) updater.AddBuffer(m.name.c_str(), m.v1.data(), static_cast<uint32_t>(m.v1.size()));
    return updater.Rebuild() == 1;
}

bool Rebuild(const std::vector<std::pair<std::string, const std::string*>>& changed) {
    PakUpdater updater;
    if (updater.OpenOrCreate("game.pak", 0) != 1) return false;
    for (const auto& c : changed) {
        updater.AddBuffer(c.first.c_str(), c.second->data(), static_cast<uint32_t>(c.second->size()));
    }
    return updater.Rebuild() == 1;
}

void BM_DownloadBytes(benchmark::State& state) {
    double whole = 0;
    double patches = 0;
    for (auto _ : state) {
        whole = 0;
        patches = 0;
        for (const Member& m : Game()) {
            if (m.v1 == m.v2) continue;
            whole += static_cast<double>(m.v2.size());
            patches += static_cast<double>(m.patch.size());
        }
    }
    state.counters["whole_bytes"] = whole;
    state.counters["patch_bytes"] = patches;
    state.counters["patch_percent"] = 100.0 * patches / whole;
}

// Today: the three whole members arrive, are checked by MD5 and rebuilt into the pack.
void BM_InstallWholeMembers(benchmark::State& state) {
    BenchScratchDir dir("delta-whole");
    for (auto _ : state) {
        state.PauseTiming();
        if (!MakeV1Pack()) state.SkipWithError("cannot make the v1 pack");
        state.ResumeTiming();
        std::vector<std::pair<std::string, const std::string*>> changed;
        for (const Member& m : Game()) {
            if (m.v1 == m.v2) continue;
            benchmark::DoNotOptimize(Md5Text(m.v2.data(), m.v2.size()));
            changed.push_back({m.name, &m.v2});
        }
        if (!Rebuild(changed)) state.SkipWithError("rebuild failed");
    }
}

// With deltas: each member is read from the pack, patched and checked by MD5, then rebuilt.
void BM_InstallThroughPatches(benchmark::State& state) {
    BenchScratchDir dir("delta-patch");
    std::vector<std::string> results(Game().size());
    for (auto _ : state) {
        state.PauseTiming();
        if (!MakeV1Pack()) state.SkipWithError("cannot make the v1 pack");
        state.ResumeTiming();
        std::vector<std::pair<std::string, const std::string*>> changed;
        for (size_t i = 0; i < Game().size(); ++i) {
            const Member& m = Game()[i];
            if (m.v1 == m.v2) continue;
            if (ApplyDeltaPatch(m.v1.data(), m.v1.size(), m.patch.data(), m.patch.size(), m.v2.size(),
                                &results[i]) != DeltaApplyResult::kOk ||
                Md5Text(results[i].data(), results[i].size()) != Md5Text(m.v2.data(), m.v2.size()))
                state.SkipWithError("patch did not give v2");
            changed.push_back({m.name, &results[i]});
        }
        if (!Rebuild(changed)) state.SkipWithError("rebuild failed");
    }
}

// The patches alone: apply and check, no rebuild.
void BM_ApplyPatchesOnly(benchmark::State& state) {
    std::string result;
    for (auto _ : state) {
        for (const Member& m : Game()) {
            if (m.v1 == m.v2) continue;
            ApplyDeltaPatch(m.v1.data(), m.v1.size(), m.patch.data(), m.patch.size(), m.v2.size(), &result);
            benchmark::DoNotOptimize(Md5Text(result.data(), result.size()));
        }
    }
}

// Resident memory figures of this process from /proc (Linux), in KiB; 0 when unknown.
uint64_t StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, std::strlen(field), field) == 0) return std::strtoull(line.c_str() + std::strlen(field), nullptr, 10);
    }
    return 0;
}

// Starts the peak (VmHWM) anew from what is resident now.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Memory while a patch is applied to a member at the size limit: the installed content
// (held by the caller, as the engine holds it) plus what the apply itself takes at its peak,
// against the bound of twice the member plus 16 MiB.
void BM_ApplyMemoryAtTheLimit(benchmark::State& state) {
    constexpr size_t kLimitMember = (size_t{64} << 20) - 1;
    constexpr double kMiB = 1 << 20;
    constexpr int kQuickLevel = 3;  // how the patch was made does not change what applying it holds
    uint32_t seed = 77;
    std::string v1(kLimitMember, '\0');
    for (size_t i = 0; i < v1.size(); ++i) v1[i] = static_cast<char>(i % 64 < 8 ? i >> 6 : Next(seed) % 32);
    std::string v2 = v1;
    for (size_t i = 0; i < v2.size(); i += 4093) v2[i] = static_cast<char>(Next(seed));
    std::string patch;
    if (!MakeDeltaPatch(v1.data(), v1.size(), v2.data(), v2.size(), &patch, kQuickLevel)) {
        state.SkipWithError("no patch");
        return;
    }
    for (auto _ : state) {
        std::string result;
        ResetPeakMemory();
        const uint64_t before = StatusKb("VmRSS:");
        const bool applied = ApplyDeltaPatch(v1.data(), v1.size(), patch.data(), patch.size(), v2.size(), &result) ==
                             DeltaApplyResult::kOk;
        const uint64_t peak = StatusKb("VmHWM:");
        if (!applied || result != v2) state.SkipWithError("the patch did not apply");
        if (before == 0 || peak < before) state.SkipWithError("no memory figures here");
        state.counters["apply_MiB"] = (static_cast<double>(v1.size()) + (peak - before) * 1024.0) / kMiB;
        state.counters["bound_MiB"] = 2.0 * kLimitMember / kMiB + 16;
    }
}

BENCHMARK(BM_DownloadBytes)->Iterations(1);
BENCHMARK(BM_InstallWholeMembers)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_InstallThroughPatches)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ApplyPatchesOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ApplyMemoryAtTheLimit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Writes the sample's two versions as game folders DIR/game-v1 and DIR/game-v2, for
// measuring what paktool makes of them (publications, offline packages).
bool WriteSample(const std::string& dir) {
    for (const Member& m : Sample()) {
        for (const auto& version : {std::make_pair("/game-v1/", &m.v1), std::make_pair("/game-v2/", &m.v2)}) {
            const std::filesystem::path path = dir + version.first + m.name;
            std::error_code error;
            std::filesystem::create_directories(path.parent_path(), error);
            std::ofstream out(path, std::ios::binary);
            out.write(version.second->data(), static_cast<std::streamsize>(version.second->size()));
            if (!out.good()) {
                std::fprintf(stderr, "bench_delta: cannot write %s\n", path.string().c_str());
                return false;
            }
        }
    }
    return true;
}

}  // namespace

// bench_delta --write-sample DIR writes the sample game instead of measuring.
int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-sample") == 0) return WriteSample(argv[2]) ? 0 : 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
