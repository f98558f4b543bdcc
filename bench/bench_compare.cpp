// The manifest comparison over big manifests: 100,000 loose records, against a local
// manifest that lists them all (every file current) and against none (every file looked
// up in the installation, where it is missing).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/update_codes.h"
#include "engine/manifest_record.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "net/dir_transfer.h"
#include "pak/pak_paths.h"
#include "pak/pak_update_task.h"
#include "platform/platform.h"

namespace {

constexpr int64_t kRecords = 100000;

// A scratch installation with an empty patch pack, current for the program's lifetime.
class Installation {
public:
    Installation() : previous_(std::filesystem::current_path()) {
        dir_ = std::filesystem::temp_directory_path() / ("bench-compare-" + std::to_string(platform::TickCountMs()));
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        SetRootPath(".");
        SetWorkPath("\\");
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        task->OpenOrCreate("patch.dat", 1);
    }
    ~Installation() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(dir_, ec);
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

ManifestRecord LooseRecord(int64_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "data/f%06lld.bin", static_cast<long long>(i));
    char digest[40];
    std::snprintf(digest, sizeof digest, "md5 %032llx", static_cast<unsigned long long>(i * 2654435761u));
    return ManifestRecord{kKindUnpack, name, digest, "1000", std::string("download/") + name};
}

void Compare(benchmark::State& state, bool withLocalRecords) {
    static Installation installation;
    const int64_t n = state.range(0);
    RemoteRecordList remote;
    LocalRecordSet local;
    for (int64_t i = 0; i < n; ++i) {
        remote.push_back(LooseRecord(i));
        if (withLocalRecords) local[remote.back().name] = remote.back();
    }
    for (auto _ : state) {
        state.PauseTiming();
        RemoteRecordList remoteCopy = remote;
        LocalRecordSet localCopy = local;
        UpdateEngine* engine = UpdateEngine::Instance();
        engine->SetLocalPackPath("patch.dat");
        state.ResumeTiming();
        uint32_t total = 0;
        uint32_t count = 0;
        benchmark::DoNotOptimize(engine->CompareManifests(localCopy, remoteCopy, &total, &count));
        state.PauseTiming();
        engine->Release();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_CompareAllCurrent(benchmark::State& state) { Compare(state, true); }
void BM_CompareNoLocalRecords(benchmark::State& state) { Compare(state, false); }

// The whole check of an online pass: the published manifest fetched from a server folder
// and read, the local one read from the pack, and the comparison (every file new).
void BM_CheckForUpdates(benchmark::State& state) {
    static Installation installation;
    const int64_t n = state.range(0);
    std::vector<ManifestRecord> records;
    for (int64_t i = 0; i < n; ++i) records.push_back(LooseRecord(i));
    std::string text;
    AppendManifestText(records, text);
    UpdatePkWriter writer;
    writer.Add(kManifestName, std::vector<uint8_t>(text.begin(), text.end()));
    std::vector<uint8_t> pak;
    writer.Build(pak);
    std::filesystem::create_directories("server/download");
    if (FILE* f = std::fopen("server/download/update.pak", "wb")) {
        std::fwrite(pak.data(), 1, pak.size(), f);
        std::fclose(f);
    }
    DirTransfer transfer("server");
    PackManifestStore store;
    for (auto _ : state) {
        uint32_t total = 0;
        uint32_t count = 0;
        UpdateEngine* engine = UpdateEngine::Instance();
        const int32_t rc = engine->CheckForUpdates(nullptr, store, transfer, "download/update.pak", "patch.dat", &total,
                                                   &count);
        if (rc != UPD_DONE || count != n) state.SkipWithError("the check did not find every record");
        engine->Release();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_CheckForUpdates)->Arg(20000)->Arg(kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompareAllCurrent)->Arg(20000)->Arg(kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompareNoLocalRecords)->Arg(20000)->Arg(kRecords)->Unit(benchmark::kMillisecond);

}  // namespace
