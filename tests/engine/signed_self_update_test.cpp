// The self-update with a publisher key in the build: the version file, a new tool and a new
// plug-in are used only with a valid signature under the name they were requested as; a
// refused one replaces nothing and leaves no temporary file.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/self_update.h"
#include "pak/pak_update_task.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/driver_test_support.h"
#include "tests/engine/pe_fixture.h"
#include "tests/engine/signed_test_support.h"

namespace {

using drivertest::ScriptedCfg;
using drivertest::ScriptedSession;
using drivertest::SessionLog;
using enginetest::ReadFile;
using enginetest::RecordingNotifier;
using enginetest::UiRecorder;
using enginetest::WriteFile;
using signedtest::FolderContents;
using signedtest::KeyPair;
using signedtest::KeyScope;
using signedtest::SignFileAt;

const std::string kOldTool = "tool 2.23";
const std::string kNewTool = petest::FakeTool("tool 2.24 complete");
const std::string kOldPlugin = "plugin 1.02";
const std::string kNewPlugin = petest::FakePlugin("plugin 1.03");
constexpr const char* kVersion = "download/version.txt";
constexpr const char* kTool = "download/update.exe";
constexpr const char* kPlugin = "download/10003_updatecfg.dll";
constexpr uint64_t kNumber = 4;

// What the server holds for a case, given where it lives and the two key pairs.
using Serve = std::function<void(const std::string& server, const KeyPair& publisher, const KeyPair& stranger)>;

struct SignedSelfUpdateCase {
    const char* name;
    const char* versionFile;
    Serve serve;        // signs (or mis-signs) the server's files
    int32_t result;
    std::string tool;   // update.exe afterwards
    std::string plugin; // updatecfg.dll afterwards
    const char* status; // the refusal line ("" for none)
    uint64_t installedPublication = 0;  // recorded in patch.dat beforehand; 0: no pack
};

// An installation pack that records publication `number`.
void RecordPublication(uint64_t number) {
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    const std::string text = std::to_string(number);
    ASSERT_TRUE(task->OpenOrCreate("patch.dat", 1));
    ASSERT_TRUE(task->AddBuffer("publication.num", text.data(), static_cast<uint32_t>(text.size())));
    ASSERT_TRUE(task->Rebuild(nullptr));
}

// Signs each of `names` under its own remote path.
Serve SignedAsRequested(std::vector<const char*> names) {
    return [names](const std::string& server, const KeyPair& keys, const KeyPair&) {
        for (const char* name : names) SignFileAt(keys, server + "/" + name, name, kNumber);
    };
}

// Signs the version file properly, then runs `more`.
Serve WithSignedVersion(Serve more) {
    return [more](const std::string& server, const KeyPair& keys, const KeyPair& other) {
        SignFileAt(keys, server + "/" + kVersion, kVersion, kNumber);
        more(server, keys, other);
    };
}

TEST(SignedSelfUpdate, OnlySignedVersionFilesToolsAndPluginsAreUsed) {
    const Serve nothing = [](const std::string&, const KeyPair&, const KeyPair&) {};
    // Long enough that the signature covers more than the part of the file that is read.
    const std::string longVersion = "224\n10002\n" + std::string(300, '#');
    const std::vector<SignedSelfUpdateCase> cases = {
        {"all-current", "223\n10002", SignedAsRequested({kVersion}), kSelfUpdateGoOn, kOldTool, kOldPlugin, ""},
        {"signed-new-tool", "224\n10002", SignedAsRequested({kVersion, kTool}), kSelfUpdateStop, kNewTool, kOldPlugin,
         ""},
        {"signed-long-version-file", longVersion.c_str(), SignedAsRequested({kVersion, kTool}), kSelfUpdateStop,
         kNewTool, kOldPlugin, ""},
        {"signed-new-plugin", "223\n10003", SignedAsRequested({kVersion, kPlugin}), kSelfUpdateStop, kOldTool,
         kNewPlugin, ""},
        {"version-file-unsigned", "224\n10002", nothing, kSelfUpdateStop, kOldTool, kOldPlugin,
         "更新工具版本信息签名无效：download/version.txt（缺少发布者签名）"},
        {"version-file-changed-after-signing", "224\n10002",
         [](const std::string& server, const KeyPair& keys, const KeyPair&) {
             SignFileAt(keys, server + "/" + kVersion, kVersion, kNumber);
             WriteFile(server + "/" + kVersion, "225\n10002");
         },
         kSelfUpdateStop, kOldTool, kOldPlugin, "更新工具版本信息签名无效：download/version.txt（文件内容与签名不符）"},
        {"new-tool-unsigned", "224\n10002", SignedAsRequested({kVersion}), UPD_E_FETCH, kOldTool, kOldPlugin,
         "新版更新工具签名无效：download/update.exe（缺少发布者签名）"},
        {"new-tool-signed-by-another-key", "224\n10002",
         WithSignedVersion([](const std::string& server, const KeyPair&, const KeyPair& other) {
             SignFileAt(other, server + "/" + kTool, kTool, kNumber);
         }),
         UPD_E_FETCH, kOldTool, kOldPlugin, "新版更新工具签名无效：download/update.exe（签名不是发布者的）"},
        {"new-tool-changed-after-signing", "224\n10002",
         WithSignedVersion([](const std::string& server, const KeyPair& keys, const KeyPair&) {
             SignFileAt(keys, server + "/" + kTool, kTool, kNumber);
             WriteFile(server + "/" + kTool, petest::FakeTool("tool 2.24 with a surprise"));
         }),
         UPD_E_FETCH, kOldTool, kOldPlugin, "新版更新工具签名无效：download/update.exe（文件内容与签名不符）"},
        {"plugin-signed-as-the-tool", "223\n10003",
         WithSignedVersion([](const std::string& server, const KeyPair& keys, const KeyPair&) {
             SignFileAt(keys, server + "/" + kPlugin, kTool, kNumber);
         }),
         UPD_E_FETCH, kOldTool, kOldPlugin,
         "新版平台配置文件签名无效：download/10003_updatecfg.dll（签名属于另一个文件）"},
        {"unsigned-plugin-after-signed-tool", "224\n10003", SignedAsRequested({kVersion, kTool}), UPD_E_FETCH,
         kNewTool, kOldPlugin, "新版平台配置文件签名无效：download/10003_updatecfg.dll（缺少发布者签名）"},
        // An older publication served again could take the tool or plug-in back.
        {"version-file-of-an-older-publication", "224\n10003", SignedAsRequested({kVersion, kTool, kPlugin}),
         kSelfUpdateStop, kOldTool, kOldPlugin, "更新数据的发布编号低于本机已安装的更新，已拒绝：download/version.txt",
         kNumber + 1},
        {"version-file-of-the-installed-publication", "223\n10002", SignedAsRequested({kVersion}), kSelfUpdateGoOn,
         kOldTool, kOldPlugin, "", kNumber},
        // A tool or plug-in signed for another publication than the version file's: an old
        // genuine release served under the current version file, or a newer one mixed in.
        {"tool-of-an-older-publication", "224\n10002",
         WithSignedVersion([](const std::string& server, const KeyPair& keys, const KeyPair&) {
             SignFileAt(keys, server + "/" + kTool, kTool, kNumber - 1);
         }),
         UPD_E_FETCH, kOldTool, kOldPlugin, "文件与版本信息不属于同一次发布，已拒绝：download/update.exe", kNumber},
        {"tool-of-a-newer-publication", "224\n10002",
         WithSignedVersion([](const std::string& server, const KeyPair& keys, const KeyPair&) {
             SignFileAt(keys, server + "/" + kTool, kTool, kNumber + 1);
         }),
         UPD_E_FETCH, kOldTool, kOldPlugin, "文件与版本信息不属于同一次发布，已拒绝：download/update.exe"},
        {"plugin-of-an-older-publication", "223\n10003",
         WithSignedVersion([](const std::string& server, const KeyPair& keys, const KeyPair&) {
             SignFileAt(keys, server + "/" + kPlugin, kPlugin, kNumber - 1);
         }),
         UPD_E_FETCH, kOldTool, kOldPlugin,
         "文件与版本信息不属于同一次发布，已拒绝：download/10003_updatecfg.dll"},
    };
    const KeyPair publisher(1);
    const KeyPair stranger(2);
    for (const SignedSelfUpdateCase& c : cases) {
        enginetest::ScratchDir scratch;
        const std::string server = scratch.path() + "/server";
        ScriptedCfg cfg;
        cfg.strings = {{"ftp directory", "download/"}, {"file version", kVersion}, {"file update", kTool}};
        cfg.ints = {{"platfrom version", 10002}};
        KeyScope key(&publisher.publicKey);
        SetInstallDir("");
        if (c.installedPublication != 0) RecordPublication(c.installedPublication);
        WriteFile("update.exe", kOldTool);
        WriteFile("updatecfg.dll", kOldPlugin);
        WriteFile(server + "/" + kTool, kNewTool);
        WriteFile(server + "/" + kPlugin, kNewPlugin);
        WriteFile(server + "/" + kVersion, c.versionFile);
        c.serve(server, publisher, stranger);
        const auto before = FolderContents("server");

        SessionLog log;
        ScriptedSession session(server, {}, log);
        RecordingNotifier window;
        ProgressSink sink(&window);
        UiRecorder ui;
        EXPECT_EQ(CheckSelfUpdate(session, &sink), c.result) << c.name;
        EXPECT_EQ(ReadFile("update.exe"), c.tool) << c.name;
        EXPECT_EQ(ReadFile("updatecfg.dll"), c.plugin) << c.name;
        if (*c.status != '\0') {
            EXPECT_TRUE(ui.HasStatus(c.status)) << c.name;
            EXPECT_TRUE(window.restarts.empty()) << c.name;
        }
        if (c.tool == kOldTool && c.plugin == kOldPlugin) {
            EXPECT_EQ(FolderContents("server"), before) << c.name << ": the installation changed";
        }
    }
}

}  // namespace
