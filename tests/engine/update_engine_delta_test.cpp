// Update passes with a delta list beside the update list: a changed file whose installed
// content has a patch comes through the patch (its whole file need not even be on the
// server) and the run counts the patch's size; a patch for other installed content, a
// damaged patch or one giving the wrong content falls back to the whole file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/delta_list.h"
#include "engine/failure_sink.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "engine/md5.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "net/dir_transfer.h"
#include "net/pak_access.h"
#include "pak/pak_paths.h"
#include "pak/pak_update_task.h"
#include "tests/engine/delta_test_support.h"
#include "tests/engine/engine_test_support.h"

namespace {

using deltatest::MakePatch;
using deltatest::PatchEntry;
using namespace enginetest;

constexpr const char* kRemoteList = "download/update.pak";
constexpr const char* kPatchPath = "download/delta/p";

std::string Changed(std::string s) {
    s.replace(s.size() / 3, 6, "HOTFIX");
    return s;
}

const std::string kOld = Noise(200000, 1);
const std::string kNew = Changed(kOld);

ManifestRecord Record(const std::string& name, const std::string& content, bool loose) {
    ManifestRecord r;
    r.kind = loose ? "unpack" : "pack";
    r.name = name;
    r.digest = "md5 " + Md5Text(content.data(), content.size());
    r.size = std::to_string(content.size());
    r.remotePath = "download/" + name;
    return r;
}

// The server folder: the update list of `records`, the whole files of `contents` unless
// `withWholeFiles` is false, and the delta list of `deltas` when there is one.
void Publish(const std::string& server, const std::vector<ManifestRecord>& records,
             const std::vector<std::string>& contents, bool withWholeFiles) {
    for (size_t i = 0; i < records.size(); ++i) {
        if (withWholeFiles) WriteFile(server + "/" + records[i].remotePath, contents[i]);
    }
    std::string text;
    AppendManifestText(records, text);
    UpdatePkWriter writer;
    writer.Add("update.inf", Bytes(text));
    std::vector<uint8_t> pak;
    ASSERT_TRUE(writer.Build(pak));
    WriteFile(server + "/" + kRemoteList, Text(pak));
}

void PublishPatch(const std::string& server, const std::string& name, const std::string& base,
                  const std::string& patchOnServer, const std::string& listedPatch) {
    const DeltaEntry e = PatchEntry(name, base, kNew, listedPatch, kPatchPath);
    std::string list;
    ASSERT_TRUE(FormatDeltaList({e}, &list));
    WriteFile(server + "/download/" + kDeltaListName, list);
    WriteFile(server + "/" + kPatchPath, patchOnServer);
}

struct DeltaPassCase {
    const char* name;
    bool loose;
    std::string base;        // the content the patch was made against
    std::string patchTo;     // the content the patch gives
    bool damagePatch;        // the patch on the server differs from the listed one
    bool patchUsed;          // else the whole file is fetched
    bool patchCounted;       // the run counts the listed patch (it cannot know it will fail)
};

const DeltaPassCase kCases[] = {
    {"pack_member_through_its_patch", false, kOld, kNew, false, true, true},
    {"loose_file_through_its_patch", true, kOld, kNew, false, true, true},
    {"installed_member_differs_from_the_patch_base", false, Noise(200000, 9), kNew, false, false, false},
    {"patch_failing_its_md5", false, kOld, kNew, true, false, true},
    {"patch_giving_other_content", false, kOld, Changed(kNew), false, false, true},
};

// The server folder, recording the run's plan of whole files.
class PlanRecordingTransfer : public DirTransfer {
public:
    using DirTransfer::DirTransfer;
    void Plan(const std::vector<PlannedFetch>& fetches) override {
        if (fetches.empty()) return;  // the run's end: the rest of its plan is not needed
        planned.clear();
        for (const PlannedFetch& f : fetches) planned.push_back(f.remotePath);
    }
    std::vector<std::string> planned;
};

class DeltaPass : public ::testing::TestWithParam<DeltaPassCase> {
protected:
    void SetUp() override {
        SetRootPath(".");
        SetWorkPath("\\");
    }

    int32_t Sync(const std::string& server, uint32_t* total, uint32_t* failureCount) {
        ProgressSink sink(&window);
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        PlanRecordingTransfer transfer(scratch.path() + "/" + server);
        UpdateEngine* engine = UpdateEngine::Instance();
        uint32_t count = 0;
        int32_t result = engine->CheckForUpdates(&sink, store, transfer, kRemoteList, "patch.dat", total, &count);
        if (result == UPD_DONE) result = engine->DownloadAndApply(&sink, store, failures, *task, transfer);
        engine->Release();
        *failureCount = failures.count();
        planned = transfer.planned;
        return result;
    }

    std::string Installed(const std::string& name, bool loose) {
        if (loose) return ReadFile(name);
        std::vector<uint8_t> bytes;
        if (ReadPackMember("patch.dat", name, bytes) != MemberRead::kOk) return "<absent>";
        return Text(bytes);
    }

    ScratchDir scratch;
    PluginScope plugin{"win", 10000};
    RecordingNotifier window;
    std::vector<std::string> planned;  // the last run's plan
};

TEST_P(DeltaPass, InstallsTheNewContentThroughThePatchOrTheWholeFile) {
    const DeltaPassCase& c = GetParam();
    const std::string name = c.loose ? "readme.bin" : "data/big.bin";
    uint32_t total = 0;
    uint32_t failures = 0;
    {
        Publish("v1", {Record(name, kOld, c.loose)}, {kOld}, true);
        UiRecorder yes(platform::kIdYes);
        ASSERT_EQ(Sync("v1", &total, &failures), UPD_DONE);
    }
    // Where the patch must be used, v2's whole file is not on the server at all.
    Publish("v2", {Record(name, kNew, c.loose)}, {kNew}, !c.patchUsed);
    const std::string patch = MakePatch(c.base, c.patchTo);
    std::string onServer = patch;
    if (c.damagePatch) onServer[onServer.size() / 2] ^= 0x40;
    PublishPatch("v2", name, c.base, onServer, patch);

    UiRecorder ui;
    EXPECT_EQ(Sync("v2", &total, &failures), UPD_DONE);
    EXPECT_EQ(failures, 0u);
    EXPECT_TRUE(Installed(name, c.loose) == kNew);
    // The run counts what it means to fetch: the listed patch, or the whole file.
    EXPECT_EQ(total, c.patchCounted ? patch.size() : kNew.size());
    // A file a patch is meant to bring is not fetched whole ahead of the run.
    const std::vector<std::string> wholeFiles = {"download/" + name};
    EXPECT_EQ(planned, c.patchCounted ? std::vector<std::string>() : wholeFiles);
    EXPECT_TRUE(ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaPass, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DeltaPassCase>& i) { return std::string(i.param.name); });

}  // namespace
