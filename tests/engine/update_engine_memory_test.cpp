// What an update pass holds in memory while it installs changed pack members: a publication
// whose changed members together exceed what the process may hold still installs, because
// every verified member waits for the rebuild in its file on disk, and the session's block
// of a patch is given back once the patch is applied. The downloads stay journaled until
// the rebuilt pack holds them, so a rebuild that fails costs none of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/delta_list.h"
#include "engine/failure_sink.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "engine/md5.h"
#include "engine/partial_downloads.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "net/dir_transfer.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "pak/pak_paths.h"
#include "pak/pak_update_task.h"
#include "tests/engine/delta_test_support.h"
#include "tests/engine/engine_test_support.h"

namespace {

using namespace enginetest;

constexpr const char* kRemoteList = "download/update.pak";
constexpr size_t kMemberSize = 96 * 1024;
constexpr int kChangedMembers = 4;
// Room for more than one member: the changed members of the publication take twice that.
constexpr uint64_t kMemoryCap = 160 * 1024;

std::string MemberName(int i) { return "data/m" + std::to_string(i) + ".bin"; }
std::string RemotePath(int i) { return "download/" + MemberName(i); }

// The content of member `i` at v1, and at v2: another content of the same size, or v1's with
// a stretch of new bytes inserted (what a patch brings at about that stretch's size).
std::string V1(int i) { return Noise(kMemberSize, 100 + i); }
std::string V2(int i, bool patched) {
    if (!patched) return Noise(kMemberSize, 200 + i);
    std::string s = V1(i);
    s.insert(s.size() / 2, Noise(40 * 1024, 300 + i));
    return s;
}

ManifestRecord Record(int i, const std::string& content) {
    ManifestRecord r;
    r.kind = "pack";
    r.name = MemberName(i);
    r.digest = "md5 " + Md5Text(content.data(), content.size());
    r.size = std::to_string(content.size());
    r.remotePath = RemotePath(i);
    return r;
}

std::string Container(const std::string& memberName, const std::string& content) {
    UpdatePkWriter writer;
    writer.Add(memberName, Bytes(content));
    std::vector<uint8_t> pak;
    EXPECT_TRUE(writer.Build(pak));
    return Text(pak);
}

enum class Served { kWhole, kWrapped, kThroughPatches };

// The server folder `server` with the members of `contents`: whole files, files packed in a
// one-member container, or only patches from v1 (listed beside the update list).
void Publish(const std::string& server, const std::vector<std::string>& contents, Served served) {
    std::vector<ManifestRecord> records;
    std::vector<DeltaEntry> patches;
    for (int i = 0; i < static_cast<int>(contents.size()); ++i) {
        records.push_back(Record(i, contents[i]));
        const std::string file = server + "/" + RemotePath(i);
        if (served == Served::kWhole) WriteFile(file, contents[i]);
        if (served == Served::kWrapped) WriteFile(file, Container("m" + std::to_string(i) + ".bin", contents[i]));
        if (served == Served::kThroughPatches) {
            const std::string patch = deltatest::MakePatch(V1(i), contents[i]);
            const std::string patchPath = "download/delta/p" + std::to_string(i);
            patches.push_back(deltatest::PatchEntry(MemberName(i), V1(i), contents[i], patch, patchPath));
            WriteFile(server + "/" + patchPath, patch);
        }
    }
    if (!patches.empty()) {
        std::string list;
        ASSERT_TRUE(FormatDeltaList(patches, &list));
        WriteFile(server + "/download/" + kDeltaListName, list);
    }
    std::string text;
    AppendManifestText(records, text);
    WriteFile(server + "/" + kRemoteList, Container("update.inf", text));
}

// What the pass holds in memory for the rebuild: member content queued as bytes (until the
// rebuild takes it) and the transfer's block of its last memory request (until it is given
// back or replaced).
struct Ledger {
    uint64_t queued = 0;
    uint64_t block = 0;
    uint64_t peak = 0;
    uint64_t atRebuild = 0;
    void Note() { peak = std::max(peak, queued + block); }
};

// The pack task of the pass, with its bytes counted: queuing bytes beyond the cap fails as
// an allocation fails in a process out of address space.
class MeasuredTask : public PakUpdateTask {
public:
    explicit MeasuredTask(Ledger& ledger) : ledger_(ledger), inner_(CreatePakUpdateTask()) {}
    bool OpenOrCreate(const char* path, int create) override { return inner_->OpenOrCreate(path, create); }
    bool AddFile(const char* name, const char* path) override { return inner_->AddFile(name, path); }
    bool AddDiskFile(const char* name, const char* path, bool handOver) override {
        return inner_->AddDiskFile(name, path, handOver);
    }
    bool Delete(const char* name) override { return inner_->Delete(name); }
    bool AddBuffer(const char* name, const void* data, uint32_t size) override {
        if (ledger_.queued + ledger_.block + size > kMemoryCap) return false;
        if (!inner_->AddBuffer(name, data, size)) return false;
        ledger_.queued += size;
        ledger_.Note();
        return true;
    }
    bool Rebuild(void* unused) override {
        ledger_.atRebuild = ledger_.queued + ledger_.block;
        ledger_.queued = 0;
        return inner_->Rebuild(unused);
    }

private:
    Ledger& ledger_;
    std::unique_ptr<PakUpdateTask> inner_;
};

// The server folder, keeping the ledger of its memory block and counting the bytes of the
// files it sends.
class MeasuredTransfer : public DirTransfer {
public:
    MeasuredTransfer(const std::string& root, Ledger& ledger) : DirTransfer(root), ledger_(ledger) {}
    int32_t DownloadToMemory(const char* remote, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes) override {
        const int32_t rc = DirTransfer::DownloadToMemory(remote, bytes, size, sink, maxBytes);
        ledger_.block = rc == 0 ? *size : 0;
        ledger_.Note();
        return rc;
    }
    int32_t FetchOptional(const char* remote, const uint8_t** bytes, uint32_t* size, uint64_t maxBytes) override {
        const int32_t rc = DirTransfer::FetchOptional(remote, bytes, size, maxBytes);
        if (rc != 0) ledger_.block = 0;
        return rc;
    }
    void ReleaseBlock() override {
        DirTransfer::ReleaseBlock();
        ledger_.block = 0;
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        const uint64_t before = LocalFileLength(local);
        const int32_t rc = DirTransfer::ContinueFile(remote, local, sink, maxBytes);
        const uint64_t after = LocalFileLength(local);
        served += after > before ? after - before : 0;
        return rc;
    }
    uint64_t served = 0;

private:
    Ledger& ledger_;
};

class InstallMemory : public ::testing::Test {
protected:
    void SetUp() override {
        SetRootPath(".");
        SetWorkPath("\\");
        std::vector<std::string> v1;
        for (int i = 0; i < kChangedMembers; ++i) v1.push_back(V1(i));
        Publish("v1", v1, Served::kWhole);
        UiRecorder yes(platform::kIdYes);
        Ledger unbounded;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        ASSERT_EQ(Sync("v1", *task, unbounded), UPD_DONE);
    }

    int32_t Sync(const std::string& server, PakUpdateTask& task, Ledger& ledger) {
        ProgressSink sink(&window);
        PackManifestStore store;
        CountingFailureSink counting;
        MeasuredTransfer transfer(scratch.path() + "/" + server, ledger);
        UpdateEngine* engine = UpdateEngine::Instance();
        uint32_t total = 0;
        uint32_t count = 0;
        int32_t result = engine->CheckForUpdates(&sink, store, transfer, kRemoteList, "patch.dat", &total, &count);
        if (result == UPD_DONE) result = engine->DownloadAndApply(&sink, store, counting, task, transfer);
        engine->Release();
        failures = counting.count();
        served = transfer.served;
        return result;
    }

    std::string Installed(int i) {
        std::vector<uint8_t> bytes;
        if (ReadPackMember("patch.dat", MemberName(i), bytes) != MemberRead::kOk) return "<absent>";
        return Text(bytes);
    }

    // The files in the installation folder: the pack alone once a pass is done.
    std::set<std::string> InstallationFiles() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
            if (entry.is_regular_file()) names.insert(entry.path().filename().string());
        }
        return names;
    }

    ScratchDir scratch;
    PluginScope plugin{"win", 10000};
    RecordingNotifier window;
    uint32_t failures = 0;
    uint64_t served = 0;
};

struct MemoryCase {
    const char* name;
    Served served;
};

TEST_F(InstallMemory, ChangedMembersBeyondTheMemoryCapInstall) {
    const MemoryCase cases[] = {
        {"whole_members", Served::kWhole},
        {"members_packed_in_containers", Served::kWrapped},
        {"members_through_patches", Served::kThroughPatches},
    };
    for (const MemoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool patched = c.served == Served::kThroughPatches;
        std::vector<std::string> v2;
        for (int i = 0; i < kChangedMembers; ++i) v2.push_back(V2(i, patched) + c.name);
        ASSERT_GT(v2.size() * v2[0].size(), 2 * kMemoryCap);
        const std::string server = std::string("v2-") + c.name;
        Publish(server, v2, c.served);

        Ledger ledger;
        MeasuredTask task(ledger);
        UiRecorder ui;
        EXPECT_EQ(Sync(server, task, ledger), UPD_DONE);
        EXPECT_EQ(failures, 0u);
        for (int i = 0; i < kChangedMembers; ++i) EXPECT_TRUE(Installed(i) == v2[i]) << MemberName(i);
        EXPECT_LE(ledger.peak, kMemoryCap);
        // No member's content and no patch is held in memory while the pack is rebuilt.
        EXPECT_EQ(ledger.atRebuild, 0u);
        EXPECT_EQ(InstallationFiles(), std::set<std::string>{"patch.dat"});

        // Back to v1 for the next case.
        Ledger unbounded;
        std::unique_ptr<PakUpdateTask> plain = CreatePakUpdateTask();
        ASSERT_EQ(Sync("v1", *plain, unbounded), UPD_DONE);
    }
}

// A rebuild that fails (here: its temporary file cannot be made) leaves the verified
// downloads journaled where they were; the next pass installs them without fetching again.
TEST_F(InstallMemory, AFailedRebuildKeepsTheVerifiedDownloadsForTheNextPass) {
    const MemoryCase cases[] = {
        {"whole_members", Served::kWhole},
        {"members_packed_in_containers", Served::kWrapped},
    };
    for (const MemoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> v2;
        for (int i = 0; i < kChangedMembers; ++i) v2.push_back(V2(i, false) + c.name);
        const std::string server = std::string("v2-") + c.name;
        Publish(server, v2, c.served);
        {
            ASSERT_TRUE(platform::MakeDirectory("patch.dattmp"));
            Ledger ledger;
            std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
            UiRecorder ui;
            EXPECT_EQ(Sync(server, *task, ledger), UPD_E_REBUILD_PACK);
            platform::RemoveEmptyDirectory("patch.dattmp");
            EXPECT_TRUE(Exists(kPartialJournalName));
        }
        Ledger ledger;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        UiRecorder ui;
        EXPECT_EQ(Sync(server, *task, ledger), UPD_DONE);
        EXPECT_EQ(failures, 0u);
        EXPECT_EQ(served, 0u);
        for (int i = 0; i < kChangedMembers; ++i) EXPECT_TRUE(Installed(i) == v2[i]) << MemberName(i);
        EXPECT_EQ(InstallationFiles(), std::set<std::string>{"patch.dat"});

        Ledger unbounded;
        std::unique_ptr<PakUpdateTask> plain = CreatePakUpdateTask();
        ASSERT_EQ(Sync("v1", *plain, unbounded), UPD_DONE);
    }
}

}  // namespace
