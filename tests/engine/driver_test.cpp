// The update driver over scripted server selection and session, with the real engine and
// packs: the order of the stages, the result of each way a run ends, and the notifications
// the window receives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/failure_cause.h"
#include "common/run_state.h"
#include "common/update_codes.h"
#include "engine/manifest_text.h"
#include "engine/partial_downloads.h"
#include "engine/update_driver.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "pak/pak_update_task.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/driver_test_support.h"
#include "tests/engine/pe_fixture.h"

namespace {

using drivertest::Fault;
using drivertest::PublishGameFiles;
using drivertest::ScriptedCfg;
using drivertest::ScriptedServices;
using drivertest::TestWindow;
using enginetest::Posted;
using enginetest::ReadFile;
using enginetest::UiRecorder;
using enginetest::WriteFile;

constexpr const char* kVersionFile = "download/version.txt";
constexpr const char* kStatusServers = "正在获取更新服务器列表";
constexpr const char* kStatusNoServers = "获取更新服务器列表失败";
constexpr const char* kStatusTool = "正在检测更新工具版本";
constexpr const char* kStatusChecking = "正在检测是否需要更新";
constexpr const char* kStatusDownloading = "开始下载更新数据";

std::string PackMember(const std::string& name) {
    std::vector<uint8_t> bytes;
    if (ReadPackMember("patch.dat", name, bytes) != MemberRead::kOk) return "<absent>";
    return std::string(bytes.begin(), bytes.end());
}

// The posts from the first of `message` on.
std::vector<Posted> PostsFrom(const std::vector<Posted>& posts, uint32_t message) {
    for (size_t i = 0; i < posts.size(); ++i) {
        if (posts[i].message == message) return std::vector<Posted>(posts.begin() + i, posts.end());
    }
    return {};
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        StopFlag.store(0);
        FailedFileCount.store(0);
        SetInstallDir("");
        cfg.strings = {{"ftp directory", "download/"},
                       {"file version", kVersionFile},
                       {"file update", "download/update.exe"}};
        cfg.ints = {{"platfrom version", 10002}};
        WriteFile(server + "/" + kVersionFile, "223\n10002");
    }
    void TearDown() override { StopFlag.store(0); }

    // An installation brought to the published v1 by a first run.
    void InstallV1() {
        PublishGameFiles(server, {{"data/a.txt", "alpha v1"}, {"data/b.txt", "beta v1"}});
        UiRecorder rebuildYes(platform::kIdYes);
        ASSERT_EQ(UpdateThreadProc(&window, services), UPD_DONE);
        window.notes.posts.clear();
        services.sleeps.clear();
        services.log = {};
    }

    enginetest::ScratchDir scratch;
    enginetest::PluginScope plugin{"win", 10002};
    const std::string server = scratch.path() + "/server";
    ScriptedCfg cfg;
    ScriptedServices services{server};
    TestWindow window;
};

TEST_F(DriverTest, DownloadsAndAppliesInOrderOnTheChosenServer) {
    InstallV1();
    PublishGameFiles(server, {{"data/a.txt", "alpha v2"}, {"data/b.txt", "beta v1"}, {"data/c.txt", "gamma"}});
    services.chosen = 0x0300007F;
    services.candidates = {0x0200007F, 0x0300007F, 0x0400007F};

    UiRecorder ui;
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_DONE);

    // The driver's stages in order (the engine's own lines about each file follow).
    ASSERT_GE(ui.statuses.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(ui.statuses.begin(), ui.statuses.begin() + 4),
              (std::vector<std::string>{kStatusServers, kStatusTool, kStatusChecking, kStatusDownloading}));
    EXPECT_EQ(services.log.openedAddresses, std::vector<uint32_t>{0x0300007F});
    ASSERT_EQ(services.log.serverLists.size(), 1u);
    EXPECT_EQ(services.log.serverLists[0], services.candidates);
    // The version file is read before the update list, and the list before the files.
    ASSERT_GE(services.log.calls.size(), 2u);
    EXPECT_EQ(services.log.calls[0], std::string("fetch ") + kVersionFile);
    EXPECT_EQ(services.log.calls[1], "memory download/update.pak");
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v2");
    EXPECT_EQ(PackMember("data/c.txt"), "gamma");
    // The download phase announces the two files and their bytes before any of them moves.
    const std::vector<Posted> phase = PostsFrom(window.notes.posts, UM_PHASE_BEGIN);
    ASSERT_FALSE(phase.empty());
    EXPECT_EQ(phase.front(), (Posted{UM_PHASE_BEGIN, 2, 13}));
    EXPECT_EQ(window.notes.posts.back(), (Posted{UM_UPDATE_DONE, UPD_DONE, 0}));
    EXPECT_EQ(FailedFileCount.load(), 0u);
}

struct DiskCase {
    const char* name;
    int64_t freeBytes;
    int32_t result;
    const char* shortText;  // the status line of a refusal; null when the run goes on
};

// Before the first byte the volume must hold what the run will write (about 32 MiB of room
// for this small update): short of it the run changes nothing, says how much more it needs,
// and ends with the retry; a later run with room installs everything.
TEST_F(DriverTest, TooLittleDiskSpaceRefusesTheRunBeforeTheFirstByte) {
    const std::vector<DiskCase> cases = {
        {"one-MiB-free", 1024 * 1024, UPD_E_DISK_SPACE, "磁盘空间不足，还需要 31."},
        {"nothing-free", 0, UPD_E_DISK_SPACE, "磁盘空间不足，还需要 32."},
        {"free-space-unknown", -1, UPD_DONE, nullptr},
        {"plenty-free", 64 * 1024 * 1024, UPD_DONE, nullptr},
    };
    for (const DiskCase& c : cases) {
        StopFlag.store(0);
        enginetest::ScratchDir dir;
        enginetest::PluginScope scope{"win", 10002};
        const std::string root = dir.path() + "/server";
        WriteFile(root + "/" + kVersionFile, "223\n10002");
        PublishGameFiles(root, {{"data/a.txt", "alpha v1"}, {"data/b.txt", std::string(5000, 'b')}});
        ScriptedServices s{root};
        {
            UiRecorder first(platform::kIdYes);
            ASSERT_EQ(UpdateThreadProc(&window, s), UPD_DONE) << c.name;
        }
        PublishGameFiles(root, {{"data/a.txt", "alpha v2"}, {"data/b.txt", std::string(5000, 'c')}});
        s.freeBytes = c.freeBytes;
        s.log = {};
        UiRecorder ui(platform::kIdYes);
        EXPECT_EQ(UpdateThreadProc(&window, s), c.result) << c.name;
        if (c.shortText != nullptr) {
            ASSERT_FALSE(ui.statuses.empty()) << c.name;
            EXPECT_EQ(ui.statuses.back().rfind(c.shortText, 0), 0u) << c.name << ": " << ui.statuses.back();
            EXPECT_EQ(s.log.calls.size(), 2u) << c.name;  // the version file and the list only
            EXPECT_EQ(PackMember("data/a.txt"), "alpha v1") << c.name;
            s.freeBytes = INT64_MAX;
            UiRecorder again(platform::kIdYes);
            EXPECT_EQ(UpdateThreadProc(&window, s), UPD_DONE) << c.name;
        }
        EXPECT_EQ(PackMember("data/a.txt"), "alpha v2") << c.name;
    }
}

// A repair asked for by the window checks the installed files: a damaged pack member is
// fetched again although the manifest says it is current; the request lasts one run.
TEST_F(DriverTest, ARepairRunFetchesADamagedMemberAgain) {
    InstallV1();
    {
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        ASSERT_TRUE(task->OpenOrCreate("patch.dat", 0));
        const std::string damaged = "damaged";
        ASSERT_TRUE(task->AddBuffer("data/b.txt", damaged.data(), static_cast<uint32_t>(damaged.size())));
        ASSERT_TRUE(task->Rebuild(nullptr));
    }
    UiRecorder ui;
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_UP_TO_DATE);
    EXPECT_EQ(PackMember("data/b.txt"), "damaged");

    window.repair = true;
    services.log = {};
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_DONE);
    EXPECT_EQ(PackMember("data/b.txt"), "beta v1");
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v1");
    EXPECT_TRUE(services.log.HasCall("continue download/data/b.txt"));
    EXPECT_FALSE(services.log.HasCall("continue download/data/a.txt"));
    EXPECT_FALSE(window.repair);
}

TEST_F(DriverTest, UpToDatePlaysTheAnimationThenReports) {
    InstallV1();
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_UP_TO_DATE);

    std::vector<Posted> expected = {{UM_PHASE_BEGIN, 0, 50}};
    for (uint32_t i = 0; i < 50; ++i) expected.push_back({UM_FILE_PROGRESS, i, 0});
    expected.push_back({UM_STEP_BEGIN, 50, 0});
    for (uint32_t i = 0; i < 50; ++i) expected.push_back({UM_STEP, i, 0});
    expected.push_back({UM_STEP_END, 50, 0});
    expected.push_back({UM_UPDATE_DONE, UPD_UP_TO_DATE, 0});
    EXPECT_EQ(PostsFrom(window.notes.posts, UM_PHASE_BEGIN), expected);
    EXPECT_EQ(services.sleeps, std::vector<uint32_t>(100, 25)) << "about 2.5 s in all";
}

TEST_F(DriverTest, StopDuringTheAnimationHurriesItAndEndsInterrupted) {
    InstallV1();
    services.stopAfterSleeps = 10;
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_INTERRUPTED);

    std::vector<uint32_t> expected(10, 25);
    expected.resize(100, 1);
    EXPECT_EQ(services.sleeps, expected);
    EXPECT_EQ(window.notes.posts.back(), (Posted{UM_UPDATE_DONE, static_cast<uint32_t>(UPD_INTERRUPTED), 0}));
}

struct NoServerCase {
    const char* name;
    int32_t stopFlag;
    int32_t result;
};

TEST_F(DriverTest, NoServerEndsTheRunBeforeAnySession) {
    const std::vector<NoServerCase> cases = {
        {"nobody-chosen", 0, -1},
        {"player-interrupted-keep", 1, UPD_INTERRUPTED},
        {"player-interrupted-discard", -1, UPD_INTERRUPTED},
    };
    for (const NoServerCase& c : cases) {
        StopFlag.store(0);
        services.chosen = 0;
        services.stopOnSelect = c.stopFlag;
        services.log = {};
        TestWindow w;
        UiRecorder ui;
        EXPECT_EQ(UpdateThreadProc(&w, services), c.result) << c.name;
        EXPECT_EQ(ui.statuses, (std::vector<std::string>{kStatusServers, kStatusNoServers})) << c.name;
        EXPECT_TRUE(services.log.openedAddresses.empty()) << c.name;
        EXPECT_EQ(w.notes.posts, (std::vector<Posted>{{UM_UPDATE_DONE, static_cast<uint32_t>(c.result), 0}}))
            << c.name;
    }
}

struct ThrowCase {
    const char* name;
    ScriptedServices::Throw thrown;
    const char* status;
};

// Nothing thrown inside a run leaves the worker thread (which would end the process): the run
// ends as failed with a line saying why, and the next run works normally.
TEST_F(DriverTest, AThrowInsideTheRunEndsItAsAFailureAndTheNextRunWorks) {
    const std::vector<ThrowCase> cases = {
        {"out-of-memory", ScriptedServices::Throw::kBadAlloc, "内存不足，更新已停止"},
        {"anything-else", ScriptedServices::Throw::kOther, "更新过程中出现意外错误，更新已停止"},
    };
    PublishGameFiles(server, {{"data/a.txt", "alpha v1"}});
    for (const ThrowCase& c : cases) {
        services.throwOnSelect = c.thrown;
        TestWindow w;
        UiRecorder ui;
        int32_t result = 0;
        EXPECT_NO_THROW(result = UpdateThreadProc(&w, services)) << c.name;
        EXPECT_EQ(result, -1) << c.name;
        EXPECT_EQ(ui.statuses, (std::vector<std::string>{kStatusServers, c.status})) << c.name;
        EXPECT_EQ(w.notes.posts, (std::vector<Posted>{{UM_UPDATE_DONE, static_cast<uint32_t>(-1), 0}})) << c.name;
    }
    services.throwOnSelect = ScriptedServices::Throw::kNothing;
    UiRecorder rebuildYes(platform::kIdYes);
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_DONE);
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v1");
}

TEST_F(DriverTest, AnEngineAlreadyStoppingEndsTheRunBeforeTheVersionCheck) {
    UpdateEngine* engine = UpdateEngine::Instance();
    engine->Stop(true);
    UiRecorder ui;
    EXPECT_EQ(RunUpdate(*engine, &window, services), UPD_INTERRUPTED);
    engine->Release();
    EXPECT_EQ(services.log.openedAddresses.size(), 1u) << "the session was opened";
    EXPECT_TRUE(services.log.calls.empty()) << "but nothing was fetched";
    EXPECT_FALSE(ui.HasStatus(kStatusTool));
}

struct EndedBySelfUpdateCase {
    const char* name;
    const char* versionFile;
    Fault fault;
    size_t restarts;
    int32_t result;
};

TEST_F(DriverTest, SelfUpdateThatDoesNotLetTheRunGoOnEndsIt) {
    WriteFile(server + "/download/update.exe", petest::FakeTool("tool v2.24"));
    const int32_t ended = -1;
    const std::vector<EndedBySelfUpdateCase> cases = {
        {"new-tool-fetched", "224\n10002", Fault::kNone, 1, ended},
        {"new-tool-failed", "224\n10002", Fault::kStall, 0, ended},
        {"unusable-version-file", "x\n10002", Fault::kNone, 0, ended},
        // The player's stop is reported as such, so the window can close or say so.
        {"player-stopped-the-new-tool", "224\n10002", Fault::kPlayerStops, 0, UPD_INTERRUPTED},
    };
    for (const EndedBySelfUpdateCase& c : cases) {
        StopFlag.store(0);
        WriteFile("update.exe", "tool v2.23");
        WriteFile(server + "/" + kVersionFile, c.versionFile);
        services.faults = {{"download/update.exe", c.fault}};
        services.log = {};
        TestWindow w;
        UiRecorder ui;
        EXPECT_EQ(UpdateThreadProc(&w, services), c.result) << c.name;
        EXPECT_EQ(w.notes.restarts.size(), c.restarts) << c.name;
        EXPECT_FALSE(services.log.HasCall("memory download/update.pak")) << c.name << ": the list is never fetched";
        EXPECT_EQ(w.notes.posts.back(), (Posted{UM_UPDATE_DONE, static_cast<uint32_t>(c.result), 0})) << c.name;
    }
}

TEST_F(DriverTest, OfflinePackageRunSkipsTheNetworkAndEmptiesThePath) {
    window.offlinePackage = "missing.olp";
    UiRecorder ui;
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_E_DATA);
    EXPECT_EQ(services.selections, 0u);
    EXPECT_TRUE(services.log.openedAddresses.empty());
    EXPECT_EQ(window.offlinePackage, "");
    EXPECT_FALSE(ui.HasStatus(kStatusServers));
}

// An offline package at `path` carrying `files` (name -> content) and their manifest.
void WriteOfflinePackage(const std::string& path, const std::map<std::string, std::string>& files) {
    std::vector<ManifestRecord> records;
    UpdatePkWriter writer;
    for (const auto& [name, content] : files) {
        records.push_back(drivertest::PackedFileRecord(name, content));
        writer.Add(name, enginetest::Bytes(content));
    }
    std::string text;
    AppendManifestText(records, text);
    writer.Add("update.inf", enginetest::Bytes(text));
    std::vector<uint8_t> pak;
    ASSERT_TRUE(writer.Build(pak));
    WriteFile(path, enginetest::Text(pak));
}

enum class Installed { kNothing, kWithoutGame, kWithGame };
enum class Ending { kNoServer, kNoVersionFile, kPackageApplied };

struct OfferCase {
    const char* name;
    Installed installed;
    bool partialPending;  // a download of the last run waits to be continued
    Ending ending;
    int32_t result;
    bool gameStartable;
};

// A run that cannot update tells the window whether the game may start all the same: when the
// check reached no server or an offline package was applied, on an installation whose pack
// holds its manifest and the game and with no download left half-done.
TEST(DriverOfferTest, ARunThatCannotUpdateAWholeInstallationLetsTheGameStart) {
    const std::map<std::string, std::string> v1 = {{"data/a.txt", "alpha v1"}, {"mainclient.exe", "MZ game v1"}};
    const std::vector<OfferCase> cases = {
        {"no-server-whole", Installed::kWithGame, false, Ending::kNoServer, -1, true},
        {"version-file-missing-whole", Installed::kWithGame, false, Ending::kNoVersionFile, -1, true},
        {"package-applied-whole", Installed::kWithGame, false, Ending::kPackageApplied, UPD_PACKAGE_APPLIED, true},
        {"no-server-partial-pending", Installed::kWithGame, true, Ending::kNoServer, -1, false},
        {"package-applied-partial-pending", Installed::kWithGame, true, Ending::kPackageApplied, UPD_PACKAGE_APPLIED,
         false},
        {"no-server-without-the-game", Installed::kWithoutGame, false, Ending::kNoServer, -1, false},
        {"no-server-nothing-installed", Installed::kNothing, false, Ending::kNoServer, -1, false},
    };
    for (const OfferCase& c : cases) {
        StopFlag.store(0);
        FailedFileCount.store(0);
        SetInstallDir("");
        enginetest::ScratchDir dir;
        enginetest::PluginScope scope{"win", 10002};
        ScriptedCfg cfg;
        cfg.strings = {{"ftp directory", "download/"}, {"file version", kVersionFile}};
        cfg.ints = {{"platfrom version", 10002}};
        const std::string root = dir.path() + "/server";
        WriteFile(root + "/" + kVersionFile, "223\n10002");
        ScriptedServices s{root};
        TestWindow w;
        if (c.installed != Installed::kNothing) {
            std::map<std::string, std::string> files = v1;
            if (c.installed == Installed::kWithoutGame) files.erase("mainclient.exe");
            PublishGameFiles(root, files);
            UiRecorder first(platform::kIdYes);
            ASSERT_EQ(UpdateThreadProc(&w, s), UPD_DONE) << c.name;
        }
        if (c.partialPending) {
            const ManifestRecord record = drivertest::PackedFileRecord("data/b.txt", "beta");
            const std::string partial = CreateTempFileBeside("data/b.txt");
            WriteFile(partial, "be");
            PartialDownloads journal;
            ASSERT_TRUE(journal.Start(record, partial)) << c.name;
        }
        switch (c.ending) {
            case Ending::kNoServer: s.chosen = 0; break;
            case Ending::kNoVersionFile: s.faults = {{kVersionFile, Fault::kMissing}}; break;
            case Ending::kPackageApplied:
                WriteOfflinePackage("p.olp", {{"data/a.txt", "alpha v2"}, {"mainclient.exe", "MZ game v1"}});
                w.offlinePackage = "p.olp";
                break;
        }
        w.notes.posts.clear();
        UiRecorder ui(platform::kIdYes);
        EXPECT_EQ(UpdateThreadProc(&w, s), c.result) << c.name;
        ASSERT_FALSE(w.notes.posts.empty()) << c.name;
        const Posted done = w.notes.posts.back();
        EXPECT_EQ(done.message, UM_UPDATE_DONE) << c.name;
        EXPECT_EQ(UnpackRunEndInfo(done.lParam).gameStartable, c.gameStartable) << c.name;
    }
}

// A write that meets a full disk (here a download's, then the rebuild's) is named by its
// own line and carried to the window as the run's cause; the pack is left as it was, and
// the next run with room completes.
TEST_F(DriverTest, AWriteThatMeetsAFullDiskIsNamedAndTheNextRunCompletes) {
    InstallV1();
    PublishGameFiles(server, {{"data/a.txt", "alpha v2"}, {"data/b.txt", "beta v1"}});
    {
        UiRecorder ui(platform::kIdYes);
        platform::SetFileFaultHook([](platform::FileOp op, const char*) { return op != platform::FileOp::Write; });
        const int32_t result = UpdateThreadProc(&window, services);
        platform::SetFileFaultHook(nullptr);
        EXPECT_NE(result, UPD_DONE);
        EXPECT_TRUE(ui.HasStatus(kTextDiskFull));
        ASSERT_FALSE(window.notes.posts.empty());
        EXPECT_EQ(UnpackRunEndInfo(window.notes.posts.back().lParam).cause, FailureCause::kDiskFull);
        EXPECT_EQ(PackMember("data/a.txt"), "alpha v1");
    }
    StopFlag.store(0);
    FailedFileCount.store(0);
    window.notes.posts.clear();
    UiRecorder ui(platform::kIdYes);
    EXPECT_EQ(UpdateThreadProc(&window, services), UPD_DONE);
    EXPECT_FALSE(ui.HasStatus(kTextDiskFull));
    EXPECT_EQ(window.notes.posts.back(), (Posted{UM_UPDATE_DONE, UPD_DONE, 0}));
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v2");
}

TEST_F(DriverTest, WithoutAWindowNothingIsPostedAndTheRunStillWorks) {
    PublishGameFiles(server, {{"data/a.txt", "alpha"}});
    UiRecorder rebuildYes(platform::kIdYes);
    EXPECT_EQ(UpdateThreadProc(nullptr, services), UPD_DONE);
    EXPECT_EQ(PackMember("data/a.txt"), "alpha");
}

}  // namespace
