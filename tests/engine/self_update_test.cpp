// The self-update check over a scripted session: which versions lead to which downloads,
// and that a failed or stalled download never damages the installed tool or plug-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/self_update.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/driver_test_support.h"

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

constexpr const char* kOldTool = "tool 2.23";
constexpr const char* kNewTool = "tool 2.24 complete";
constexpr const char* kOldPlugin = "plugin 1.02";

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
        WriteFile(server + "/download/10003_updatecfg.dll", "plugin 1.03");
        WriteFile(server + "/download/20000_updatecfg.dll", "plugin 2.00");
        WriteFile(server + "/download/0_updatecfg.dll", "plugin 0.00");
        WriteFile(server + "/download/10004_updatecfg.dll", "");
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
        {"newer-plugin-minor", "223\n10003", 10002, {}, kSelfUpdateStop, kOldTool, "plugin 1.03", 1,
         "最新的平台配置文件版本为1.03！开始下载！"},
        {"plugin-major-differs-downwards", "223\n10003", 20000, {}, kSelfUpdateStop, kOldTool, "plugin 1.03", 1, ""},
        {"tool-and-plugin", "224\n20000", 10002, {}, kSelfUpdateStop, kNewTool, "plugin 2.00", 1, ""},
        {"no-second-line-means-plugin-0", "223", 10002, {}, kSelfUpdateStop, kOldTool, "plugin 0.00", 1, ""},
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
    EXPECT_EQ(ReadFile("updatecfg.dll"), "plugin 1.03");
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
