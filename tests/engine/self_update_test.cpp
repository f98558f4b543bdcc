// The self-update check over a scripted session: which versions lead to which downloads,
// and that a failed or stalled download never damages the installed tool or plug-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <utility>
#include <set>
#include <string>
#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/self_update.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/driver_test_support.h"
#include "tests/engine/pe_fixture.h"

namespace {

// The files directly in the current (installation) directory.
std::set<std::string> TopLevelFiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        if (entry.is_regular_file()) names.insert(entry.path().filename().string());
    }
    return names;
}

using drivertest::Fault;
using drivertest::ScriptedCfg;
using drivertest::ScriptedSession;
using drivertest::SessionLog;
using enginetest::Exists;
using enginetest::Posted;
using enginetest::ReadFile;
using enginetest::RecordingNotifier;
using enginetest::UiRecorder;
using enginetest::WriteFile;

using petest::FakePlugin;
using petest::FakeTool;

// The installed files need not be programs; the downloaded ones must be (they are looked at
// before they replace the installed ones).
const std::string kOldTool = "tool 2.23";
const std::string kNewTool = FakeTool("tool 2.24 complete");
const std::string kOldPlugin = "plugin 1.02";
const std::string kPlugin103 = FakePlugin("plugin 1.03");
const std::string kPlugin200 = FakePlugin("plugin 2.00");
const std::string kPlugin000 = FakePlugin("plugin 0.00");

std::string RandomBytes(size_t count) {
    std::mt19937 random(11);
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

struct SelfUpdateCase {
    const char* name;
    const char* versionFile;  // nullptr: the server has none
    int installedPlugin;
    std::map<std::string, Fault> faults;
    int32_t result;
    std::string tool;          // update.exe afterwards
    std::string plugin;        // updatecfg.dll afterwards
    size_t restarts;
    const char* status;        // a status line the case must show ("" for none in particular)
};

class SelfUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        cfg.strings = {{"ftp directory", "download/"},
                       {"file version", "download/version.txt"},
                       {"file update", "download/update.exe"}};
        WriteFile(server + "/download/update.exe", kNewTool);
        WriteFile(server + "/download/10003_updatecfg.dll", kPlugin103);
        WriteFile(server + "/download/20000_updatecfg.dll", kPlugin200);
        WriteFile(server + "/download/0_updatecfg.dll", kPlugin000);
        WriteFile(server + "/download/10004_updatecfg.dll", "");
        WriteFile(server + "/download/10005_updatecfg.dll", RandomBytes(2000000));
        WriteFile(server + "/download/10006_updatecfg.dll", petest::MakePe({kOwnPeMachine, PeKind::kLibrary, {"DllMain"}}));
        WriteFile(server + "/download/10007_updatecfg.dll", FakeTool("a program, not a plug-in"));
    }

    enginetest::ScratchDir scratch;
    const std::string server = scratch.path() + "/server";
    ScriptedCfg cfg;
};

TEST_F(SelfUpdateTest, VersionsDecideWhatIsReplacedAndFailuresKeepTheInstalledFiles) {
    const std::vector<SelfUpdateCase> cases = {
        {"all-current", "223\n10002", 10002, {}, kSelfUpdateGoOn, kOldTool, kOldPlugin, 0, ""},
        {"installed-plugin-newer-minor", "223\r\n10003", 10005, {}, kSelfUpdateGoOn, kOldTool, kOldPlugin, 0, ""},
        {"newer-tool", "224\n10002", 10002, {}, kSelfUpdateStop, kNewTool, kOldPlugin, 1, "最新的更新工具版本为2.24！开始下载！"},
        {"newer-plugin-minor", "223\n10003", 10002, {}, kSelfUpdateStop, kOldTool, kPlugin103, 1,
         "最新的平台配置文件版本为1.03！开始下载！"},
        {"plugin-major-differs-downwards", "223\n10003", 20000, {}, kSelfUpdateStop, kOldTool, kPlugin103, 1, ""},
        {"tool-and-plugin", "224\n20000", 10002, {}, kSelfUpdateStop, kNewTool, kPlugin200, 1, ""},
        {"no-second-line-means-plugin-0", "223", 10002, {}, kSelfUpdateStop, kOldTool, kPlugin000, 1, ""},
        {"version-file-missing", nullptr, 10002, {}, kSelfUpdateStop, kOldTool, kOldPlugin, 0, "获取更新工具版本信息失败"},
        {"first-line-zero", "0\n10002", 10002, {}, kSelfUpdateStop, kOldTool, kOldPlugin, 0,
         "从服务器获取的更新工具版本信息异常"},
        {"first-line-not-a-number", "v224\n10002", 10002, {}, kSelfUpdateStop, kOldTool, kOldPlugin, 0,
         "从服务器获取的更新工具版本信息异常"},
        {"tool-size-query-fails", "224\n10002", 10002, {{"download/update.exe", Fault::kSizeFails}}, kSelfUpdateStop,
         kOldTool, kOldPlugin, 0, ""},
        {"tool-download-stalls-half-way", "224\n10002", 10002, {{"download/update.exe", Fault::kStall}}, UPD_E_FETCH,
         kOldTool, kOldPlugin, 0, "下载新版更新工具失败！"},
        {"tool-download-fails", "224\n10002", 10002, {{"download/update.exe", Fault::kDownloadFails}}, UPD_E_FETCH, kOldTool,
         kOldPlugin, 0, "下载新版更新工具失败！"},
        {"plugin-download-stalls", "223\n10003", 10002, {{"download/10003_updatecfg.dll", Fault::kStall}}, UPD_E_FETCH,
         kOldTool, kOldPlugin, 0, "下载新版平台配置文件失败！"},
        {"plugin-on-server-empty", "223\n10004", 10002, {}, UPD_E_FETCH, kOldTool, kOldPlugin, 0,
         "下载新版平台配置文件失败！"},
        {"new-tool-kept-when-plugin-fails", "224\n10003", 10002, {{"download/10003_updatecfg.dll", Fault::kStall}},
         UPD_E_FETCH, kNewTool, kOldPlugin, 0, "下载新版平台配置文件失败！"},
        // What would leave an installation that cannot start is no plug-in at all.
        {"bad-plugin-random-bytes", "223\n10005", 10002, {}, UPD_E_FETCH, kOldTool, kOldPlugin, 0,
         "下载的文件不是本机可用的程序，已拒绝：download/10005_updatecfg.dll"},
        {"bad-plugin-without-factory", "223\n10006", 10002, {}, UPD_E_FETCH, kOldTool, kOldPlugin, 0,
         "下载的文件不是本机可用的程序，已拒绝：download/10006_updatecfg.dll"},
        {"bad-plugin-that-is-a-program", "223\n10007", 10002, {}, UPD_E_FETCH, kOldTool, kOldPlugin, 0,
         "下载的文件不是本机可用的程序，已拒绝：download/10007_updatecfg.dll"},
    };
    for (const SelfUpdateCase& c : cases) {
        WriteFile("update.exe", kOldTool);
        WriteFile("updatecfg.dll", kOldPlugin);
        platform::RemoveFile((server + "/download/version.txt").c_str());
        if (c.versionFile != nullptr) WriteFile(server + "/download/version.txt", c.versionFile);
        cfg.ints = {{"platfrom version", c.installedPlugin}};
        SessionLog log;
        ScriptedSession session(server, c.faults, log);
        RecordingNotifier window;
        ProgressSink sink(&window);
        UiRecorder ui;

        const std::set<std::string> filesBefore = TopLevelFiles();
        EXPECT_EQ(CheckSelfUpdate(session, &sink), c.result) << c.name;
        EXPECT_EQ(ReadFile("update.exe"), c.tool) << c.name;
        EXPECT_EQ(ReadFile("updatecfg.dll"), c.plugin) << c.name;
        EXPECT_EQ(window.restarts, std::vector<std::string>(c.restarts, "<self>")) << c.name;
        EXPECT_EQ(TopLevelFiles(), filesBefore) << c.name << ": a temporary file was left behind";
        if (*c.status != '\0') {
            EXPECT_TRUE(ui.HasStatus(c.status)) << c.name;
        }
        if (c.result == kSelfUpdateGoOn) {
            EXPECT_FALSE(log.HasCall("download")) << c.name;
        }
    }
}

// A tool that is no program of this machine (random bytes, a DLL, another machine's build)
// never replaces the installed one.
TEST_F(SelfUpdateTest, ANewToolThatCannotRunHereIsRefused) {
    petest::PeShape otherMachine;
    otherMachine.machine = kOwnPeMachine == kPeMachineI386 ? kPeMachineAmd64 : kPeMachineI386;
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"bad-random-bytes", RandomBytes(2000000)},
        {"bad-a-plug-in", FakePlugin("not a tool")},
        {"bad-another-machine", petest::MakePe(otherMachine, "tool 2.24")},
    };
    cfg.ints = {{"platfrom version", 10002}};
    for (const auto& c : cases) {
        WriteFile("update.exe", kOldTool);
        WriteFile(server + "/download/version.txt", "224\n10002");
        WriteFile(server + "/download/update.exe", c.second);
        SessionLog log;
        ScriptedSession session(server, {}, log);
        RecordingNotifier window;
        ProgressSink sink(&window);
        UiRecorder ui;
        const std::set<std::string> filesBefore = TopLevelFiles();
        EXPECT_EQ(CheckSelfUpdate(session, &sink), UPD_E_FETCH) << c.first;
        EXPECT_EQ(ReadFile("update.exe"), kOldTool) << c.first;
        EXPECT_TRUE(window.restarts.empty()) << c.first;
        EXPECT_TRUE(ui.HasStatus("下载的文件不是本机可用的程序，已拒绝：download/update.exe")) << c.first;
        EXPECT_EQ(TopLevelFiles(), filesBefore) << c.first;
    }
}

TEST_F(SelfUpdateTest, EachDownloadIsAnnouncedWithItsSizeAndGoesToATemporaryFileFirst) {
    WriteFile("update.exe", kOldTool);
    WriteFile(server + "/download/version.txt", "224\n10002");
    cfg.ints = {{"platfrom version", 10002}};
    SessionLog log;
    ScriptedSession session(server, {}, log);
    RecordingNotifier window;
    ProgressSink sink(&window);
    UiRecorder ui;
    ASSERT_EQ(CheckSelfUpdate(session, &sink), kSelfUpdateStop);
    const uint32_t size = static_cast<uint32_t>(std::string(kNewTool).size());
    ASSERT_FALSE(window.posts.empty());
    EXPECT_EQ(window.posts.front(), (Posted{UM_PHASE_BEGIN, 0, size}));
    ASSERT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(log.calls[0], "fetch download/version.txt");
    EXPECT_EQ(log.calls[1], "size download/update.exe");
    const std::string downloadTo = "download download/update.exe -> ";
    ASSERT_EQ(log.calls[2].compare(0, downloadTo.size(), downloadTo), 0) << log.calls[2];
    const std::string temp = log.calls[2].substr(downloadTo.size());
    EXPECT_NE(std::filesystem::path(temp).filename().string(), "update.exe") << "downloaded over the installed tool";
    EXPECT_EQ(std::filesystem::path(temp).parent_path().lexically_normal(), std::filesystem::path("."))
        << "the temporary file is made beside the tool, so the replace is one step";
    EXPECT_FALSE(Exists(temp)) << "the temporary file was moved into place";
    EXPECT_EQ(ReadFile("update.exe"), kNewTool);
}

bool FailReplace(platform::FileOp op, const char*) { return op != platform::FileOp::Replace; }

TEST_F(SelfUpdateTest, APluginThatCannotBeReplacedInPlaceIsMovedAsideAndTheLeftOverRemovedNextTime) {
    WriteFile("update.exe", kOldTool);
    WriteFile("updatecfg.dll", kOldPlugin);
    WriteFile(server + "/download/version.txt", "223\n10003");
    cfg.ints = {{"platfrom version", 10002}};
    SessionLog log;
    ScriptedSession session(server, {}, log);
    RecordingNotifier window;
    ProgressSink sink(&window);
    UiRecorder ui;
    platform::SetFileFaultHook(&FailReplace);
    const int32_t result = CheckSelfUpdate(session, &sink);
    platform::SetFileFaultHook(nullptr);
    EXPECT_EQ(result, kSelfUpdateStop);
    EXPECT_EQ(ReadFile("updatecfg.dll"), kPlugin103);
    EXPECT_EQ(ReadFile(std::string("updatecfg.dll") + kSelfUpdateAsideSuffix), kOldPlugin);
    EXPECT_EQ(window.restarts.size(), 1u);

    cfg.ints = {{"platfrom version", 10003}};
    EXPECT_EQ(CheckSelfUpdate(session, &sink), kSelfUpdateGoOn);
    EXPECT_FALSE(Exists(std::string("updatecfg.dll") + kSelfUpdateAsideSuffix));
}

TEST_F(SelfUpdateTest, AFailedDownloadDirectoryWordIsDroppedForTheRestOfTheRun) {
    WriteFile(server + "/download/version.txt", "223\n10002");
    cfg.ints = {{"platfrom version", 10002}};
    SetDownloadDirOverride("v2");
    SessionLog log;
    ScriptedSession session(server, {}, log);
    session.overrideFailed = true;
    UiRecorder ui;
    EXPECT_EQ(CheckSelfUpdate(session, nullptr), kSelfUpdateGoOn);
    EXPECT_EQ(GetDownloadDirOverride(), "");
    EXPECT_TRUE(ui.HasStatus("由于指定版本下载失败，现强制换回原始download目录！"));
}

// Marks the process as the restart after a replacement while alive.
class RestartedScope {
public:
    explicit RestartedScope(bool restarted) { SetStartedByRestart(restarted); }
    ~RestartedScope() { SetStartedByRestart(false); }
    RestartedScope(const RestartedScope&) = delete;
    RestartedScope& operator=(const RestartedScope&) = delete;
};

struct RestartCase {
    const char* name;
    bool restarted;
    const char* versionFile;
    int32_t result;
    std::string tool;    // update.exe afterwards
    std::string plugin;  // updatecfg.dll afterwards
    const char* status;  // a status line the case must show ("" for none in particular)
};

// A version file announcing a newer tool (or plug-in) than the published one reports itself
// would otherwise have every start fetch it, replace it and restart, again and again.
TEST_F(SelfUpdateTest, AfterARestartNothingStillOlderThanAnnouncedIsFetchedAgain) {
    const std::vector<RestartCase> cases = {
        {"first-start-fetches-the-tool", false, "225\n10002", kSelfUpdateStop, kNewTool, kOldPlugin,
         "最新的更新工具版本为2.25！开始下载！"},
        {"restarted-tool-still-older", true, "225\n10002", kSelfUpdateGoOn, kOldTool, kOldPlugin,
         "更新工具重新启动后仍低于服务器公布的版本2.25，本次不再下载，继续更新"},
        {"restarted-tool-current", true, "223\n10002", kSelfUpdateGoOn, kOldTool, kOldPlugin, ""},
        // The same slip with the plug-in: the restarted tool loaded a plug-in that still is not
        // the announced version, so it is not fetched again in this start either.
        {"restarted-plugin-still-older", true, "223\n10003", kSelfUpdateGoOn, kOldTool, kOldPlugin,
         "平台配置文件重新启动后仍不是服务器公布的版本1.03，本次不再下载，继续更新"},
        {"first-start-fetches-the-plugin", false, "223\n10003", kSelfUpdateStop, kOldTool, kPlugin103,
         "最新的平台配置文件版本为1.03！开始下载！"},
    };
    cfg.ints = {{"platfrom version", 10002}};
    for (const RestartCase& c : cases) {
        WriteFile("update.exe", kOldTool);
        WriteFile("updatecfg.dll", kOldPlugin);
        WriteFile(server + "/download/version.txt", c.versionFile);
        RestartedScope restarted(c.restarted);
        SessionLog log;
        ScriptedSession session(server, {}, log);
        RecordingNotifier window;
        ProgressSink sink(&window);
        UiRecorder ui;
        EXPECT_EQ(CheckSelfUpdate(session, &sink), c.result) << c.name;
        EXPECT_EQ(ReadFile("update.exe"), c.tool) << c.name;
        EXPECT_EQ(ReadFile("updatecfg.dll"), c.plugin) << c.name;
        EXPECT_EQ(log.HasCall("download download/update.exe"), !c.restarted && c.tool != kOldTool) << c.name;
        if (*c.status != '\0') {
            EXPECT_TRUE(ui.HasStatus(c.status)) << c.name;
        }
    }
}

struct PluginVersionCase {
    const char* name;
    int32_t installed;
    int32_t server;
    bool update;
};

TEST(PluginVersion, MajorMustMatchAndMinorMustNotBeBehind) {
    const std::vector<PluginVersionCase> cases = {
        {"same", 10002, 10002, false},
        {"installed-minor-ahead", 10005, 10002, false},
        {"installed-minor-behind", 10002, 10003, true},
        {"server-major-higher", 10002, 20000, true},
        {"server-major-lower", 20000, 19999, true},
        {"server-gave-nothing", 10002, 0, true},
        {"both-major-zero", 3, 0, false},
    };
    for (const PluginVersionCase& c : cases) EXPECT_EQ(PluginNeedsUpdate(c.installed, c.server), c.update) << c.name;
}

}  // namespace
