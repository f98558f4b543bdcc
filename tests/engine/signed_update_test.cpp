// Signed updates with a publisher key in the build: the update list is used only with a
// valid signature of its container under its requested name, a publication older than the
// installed one is refused, the number of the applied publication is kept in patch.dat by
// the rebuild that applies it, and an offline package is read only with its signature.
// Every refusal leaves the installation as it was. Without a key nothing is checked.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/failure_cause.h"
#include "common/progress_sink.h"
#include "common/run_state.h"
#include "common/update_codes.h"
#include "engine/failure_sink.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "engine/offline_package.h"
#include "engine/publisher_key.h"
#include "engine/update_driver.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "net/dir_transfer.h"
#include "net/pak_access.h"
#include "pak/pak_paths.h"
#include "pak/pak_update_task.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/driver_test_support.h"
#include "tests/engine/signed_test_support.h"
#include "tests/engine/pe_fixture.h"

namespace {

using drivertest::PublishGameFiles;
using enginetest::ReadFile;
using enginetest::UiRecorder;
using enginetest::WriteFile;
using signedtest::FolderContents;
using signedtest::KeyPair;
using signedtest::KeyScope;
using signedtest::SignatureOf;
using signedtest::SignFileAt;

constexpr const char* kList = "download/update.pak";
constexpr const char* kServer = "server";
constexpr uint64_t kInstalledNumber = 5;
constexpr const char* kListRefused = "更新数据签名无效：download/update.pak";
constexpr const char* kOlder = "更新数据的发布编号低于本机已安装的更新，已拒绝：download/update.pak";

std::string PackMember(const std::string& name) {
    std::vector<uint8_t> bytes;
    if (ReadPackMember("patch.dat", name, bytes) != MemberRead::kOk) return "<absent>";
    return enginetest::Text(bytes);
}

// A transfer over the server folder that records every path asked for.
class LoggingTransfer : public Transfer {
public:
    explicit LoggingTransfer(const std::string& root) : inner_(root) {}
    int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink, uint64_t maxBytes) override {
        asked.push_back(remotePath);
        return inner_.DownloadFile(remotePath, localPath, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink, uint64_t maxBytes) override {
        asked.push_back(remotePath);
        return inner_.ContinueFile(remotePath, localPath, sink, maxBytes);
    }
    int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size,
                             ProgressSink* sink, uint64_t maxBytes) override {
        asked.push_back(remotePath);
        return inner_.DownloadToMemory(remotePath, bytes, size, sink, maxBytes);
    }
    void Interrupt() override { inner_.Interrupt(); }
    std::vector<std::string> asked;

private:
    DirTransfer inner_;
};

class SignedEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRootPath(".");
        SetWorkPath("\\");
    }

    // One online pass against the server folder; the failed files' count in *failures.
    int32_t Sync(LoggingTransfer& transfer, uint32_t* failures = nullptr) {
        enginetest::RecordingNotifier window;
        ProgressSink sink(&window);
        PackManifestStore store;
        CountingFailureSink counted;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        UpdateEngine* engine = UpdateEngine::Instance();
        uint32_t total = 0;
        uint32_t count = 0;
        int32_t result = engine->CheckForUpdates(&sink, store, transfer, kList, "patch.dat", &total, &count);
        if (result == UPD_DONE) result = engine->DownloadAndApply(&sink, store, counted, *task, transfer);
        engine->Release();
        if (failures != nullptr) *failures = counted.count();
        return result;
    }
    int32_t Sync(uint32_t* failures = nullptr) {
        LoggingTransfer transfer(kServer);
        return Sync(transfer, failures);
    }

    // Publishes `files` and signs the list container under its path in publication `number`.
    void PublishSigned(const std::map<std::string, std::string>& files, uint64_t number) {
        PublishGameFiles(kServer, files);
        SignFileAt(publisher, std::string(kServer) + "/" + kList, kList, number);
    }

    // An installation of the signed publication kInstalledNumber.
    void InstallSignedV1() {
        PublishSigned({{"data/a.txt", "alpha v1"}, {"data/b.txt", "beta v1"}}, kInstalledNumber);
        UiRecorder rebuildYes(platform::kIdYes);
        ASSERT_EQ(Sync(), UPD_DONE);
        ASSERT_EQ(PackMember("publication.num"), "5");
    }

    enginetest::ScratchDir scratch;
    enginetest::PluginScope plugin{"win", 10000};
    KeyPair publisher{1};
    KeyPair stranger{2};
};

// How the server of a case differs from a signed publication of v2.
struct ListCase {
    const char* name;
    uint64_t number;                            // v2's publication number
    std::function<void(const KeyPair& publisher, const KeyPair& stranger)> alter;  // after signing
    int32_t result;
    const char* status;                          // the line the case shows ("" for none)
    std::string a;                               // data/a.txt in the pack afterwards
    FailureCause cause;                          // what the run notes for the window
};

TEST_F(SignedEngineTest, TheListIsUsedOnlyWithItsValidSignatureAndNeverGoesBack) {
    const std::string listPath = std::string(kServer) + "/" + kList;
    const std::string sigPath = listPath + kSignatureSuffix;
    const auto noChange = [](const KeyPair&, const KeyPair&) {};
    const std::vector<ListCase> cases = {
        {"newer-publication", 6, noChange, UPD_DONE, "", "alpha v2", FailureCause::kNone},
        {"same-publication-again", kInstalledNumber, noChange, UPD_DONE, "", "alpha v2", FailureCause::kNone},
        {"older-publication", kInstalledNumber - 1, noChange, UPD_E_DATA, kOlder, "alpha v1", FailureCause::kRollback},
        {"list-changed-after-signing", 6,
         [&](const KeyPair&, const KeyPair&) {
             // A list of the attacker's own (one of its bytes changed) beside the real signature.
             std::string list = ReadFile(listPath);
             list[list.size() / 2] ^= 0x01;
             WriteFile(listPath, list);
         },
         UPD_E_DATA, "更新数据签名无效：download/update.pak（文件内容与签名不符）", "alpha v1", FailureCause::kSignature},
        {"signature-missing", 6, [&](const KeyPair&, const KeyPair&) { platform::RemoveFile(sigPath.c_str()); },
         UPD_E_DATA, "更新数据签名无效：download/update.pak（缺少发布者签名）", "alpha v1", FailureCause::kSignature},
        {"signature-cut-short", 6,
         [&](const KeyPair&, const KeyPair&) {
             const std::string sig = ReadFile(sigPath);
             WriteFile(sigPath, sig.substr(0, sig.size() - 1));
         },
         UPD_E_DATA, "更新数据签名无效：download/update.pak（签名文件已损坏）", "alpha v1", FailureCause::kSignature},
        {"signed-by-another-key", 6,
         [&](const KeyPair&, const KeyPair& other) { SignFileAt(other, listPath, kList, 6); }, UPD_E_DATA,
         "更新数据签名无效：download/update.pak（签名不是发布者的）", "alpha v1", FailureCause::kSignature},
        {"list-bytes-signed-as-the-tool", 6,
         [&](const KeyPair& keys, const KeyPair&) { SignFileAt(keys, listPath, "download/update.exe", 6); },
         UPD_E_DATA, "更新数据签名无效：download/update.pak（签名属于另一个文件）", "alpha v1", FailureCause::kSignature},
        {"the-tool-signature-served-as-the-list", 6,
         [&](const KeyPair& keys, const KeyPair&) {
             WriteFile(std::string(kServer) + "/download/update.exe", "tool 2.24");
             SignFileAt(keys, std::string(kServer) + "/download/update.exe", "download/update.exe", 6);
             WriteFile(sigPath, ReadFile(std::string(kServer) + "/download/update.exe.sig"));
         },
         UPD_E_DATA, kListRefused, "alpha v1", FailureCause::kSignature},
    };
    for (const ListCase& c : cases) {
        enginetest::ScratchDir caseDir;
        KeyScope key(&publisher.publicKey);
        InstallSignedV1();
        PublishSigned({{"data/a.txt", "alpha v2"}, {"data/b.txt", "beta v1"}}, c.number);
        c.alter(publisher, stranger);
        const auto before = FolderContents(kServer);

        UiRecorder ui;
        TakeRunFailureCause();
        EXPECT_EQ(Sync(), c.result) << c.name;
        EXPECT_EQ(TakeRunFailureCause(), c.cause) << c.name;
        EXPECT_EQ(PackMember("data/a.txt"), c.a) << c.name;
        if (*c.status != '\0') {
            EXPECT_TRUE(ui.HasStatusContaining(c.status)) << c.name;
        }
        if (c.result == UPD_DONE) {
            EXPECT_EQ(PackMember("publication.num"), std::to_string(c.number)) << c.name;
        } else {
            EXPECT_EQ(FolderContents(kServer), before) << c.name << ": the installation changed";
        }
    }
}

TEST_F(SignedEngineTest, EveryListedFileIsBoundByTheSignedDigests) {
    KeyScope key(&publisher.publicKey);
    InstallSignedV1();
    PublishSigned({{"data/a.txt", "alpha v2"}, {"data/b.txt", "beta v2"}}, 6);
    // A file swapped on the server after the list was signed: its digest no longer matches.
    WriteFile(std::string(kServer) + "/download/data/b.txt", "beta of another origin");

    UiRecorder ui;
    uint32_t failures = 0;
    EXPECT_EQ(Sync(&failures), UPD_DONE);
    EXPECT_EQ(failures, 1u);
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v2");
    EXPECT_EQ(PackMember("data/b.txt"), "beta v1");
    EXPECT_TRUE(ui.HasStatusContaining("MD5校验失败"));
}

TEST_F(SignedEngineTest, APublicationCannotOverwriteTheRecordedNumber) {
    KeyScope key(&publisher.publicKey);
    InstallSignedV1();
    // A listed pack file under the number's own name (any letter case) is skipped; the
    // rebuild records the number of the signed list.
    PublishSigned({{"data/a.txt", "alpha v2"}, {"Publication.NUM", "999999"}}, 7);

    UiRecorder ui;
    uint32_t failures = 0;
    EXPECT_EQ(Sync(&failures), UPD_DONE);
    EXPECT_EQ(failures, 1u);
    EXPECT_EQ(PackMember("publication.num"), "7");
    EXPECT_TRUE(ui.HasStatusContaining("是更新工具自己的文件"));
}

TEST_F(SignedEngineTest, TheNumberIsWrittenOnlyByTheRebuildThatAppliesTheUpdate) {
    KeyScope key(&publisher.publicKey);
    InstallSignedV1();
    // The same files under a higher number: nothing to fetch, nothing rebuilt.
    PublishSigned({{"data/a.txt", "alpha v1"}, {"data/b.txt", "beta v1"}}, 9);
    EXPECT_EQ(Sync(), UPD_UP_TO_DATE);
    EXPECT_EQ(PackMember("publication.num"), "5");

    // A stop that discards what was fetched rebuilds nothing either.
    PublishSigned({{"data/a.txt", "alpha v2"}, {"data/b.txt", "beta v1"}}, 9);
    class StoppingTransfer : public LoggingTransfer {
    public:
        using LoggingTransfer::LoggingTransfer;
        int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                             uint64_t maxBytes) override {
            if (std::string(remotePath) == "download/data/a.txt") {
                UpdateEngine::Instance()->Stop(false);
                return UPD_INTERRUPTED;
            }
            return LoggingTransfer::ContinueFile(remotePath, localPath, sink, maxBytes);
        }
    } stopping(kServer);
    EXPECT_EQ(Sync(stopping), UPD_INTERRUPTED);
    EXPECT_EQ(PackMember("publication.num"), "5");
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v1");
}

TEST_F(SignedEngineTest, WithoutAKeyAnUnsignedServerStillUpdatesAndNoSignatureIsAskedFor) {
    if (BuiltInPublisherKey() != nullptr) GTEST_SKIP() << "this build has a publisher key";
    PublishGameFiles(kServer, {{"data/a.txt", "alpha v1"}});
    {
        UiRecorder rebuildYes(platform::kIdYes);
        ASSERT_EQ(Sync(), UPD_DONE);
    }
    PublishGameFiles(kServer, {{"data/a.txt", "alpha v2"}});
    LoggingTransfer transfer(kServer);
    UiRecorder ui;
    EXPECT_EQ(Sync(transfer), UPD_DONE);
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v2");
    EXPECT_EQ(PackMember("publication.num"), "<absent>");
    for (const std::string& asked : transfer.asked) EXPECT_EQ(asked.find(kSignatureSuffix), std::string::npos) << asked;
}

// ---- offline packages ----

std::string RecordText(const std::string& name, const std::string& content) {
    std::string text;
    AppendManifestText({drivertest::PackedFileRecord(name, content)}, text);
    return text;
}

void WritePackage(const std::string& path, const std::string& content) {
    UpdatePkWriter writer;
    writer.Add("update.inf", enginetest::Bytes(RecordText("data/a.txt", content)));
    writer.Add("data/a.txt", enginetest::Bytes(content));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writer.Build(bytes));
    WriteFile(path, enginetest::Text(bytes));
}

int32_t ApplyPackage(const std::string& path) {
    ProgressSink sink(nullptr);
    PackManifestStore store;
    CountingFailureSink failures;
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    const int32_t rc = ApplyOfflinePackage(path.c_str(), "patch.dat", &sink, store, failures, *task);
    UpdateEngine::Instance()->Release();
    return rc;
}

struct PackageCase {
    const char* name;
    const char* path;  // where the player keeps the package
    std::function<void(const std::string& path, const KeyPair& publisher, const KeyPair& stranger)> sign;
    int32_t result;
    const char* status;
    const char* number;  // publication.num afterwards
};

TEST_F(SignedEngineTest, AnOfflinePackageIsReadOnlyWithItsValidSignature) {
    const auto signAs = [](const char* name, uint64_t number) {
        return [=](const std::string& path, const KeyPair& keys, const KeyPair&) { SignFileAt(keys, path, name, number); };
    };
    const std::vector<PackageCase> cases = {
        {"signed", "p.olp", signAs("offline.olp", 6), UPD_PACKAGE_APPLIED, "", "6"},
        {"renamed-by-the-player", "my patch (2).olp", signAs("offline.olp", 6), UPD_PACKAGE_APPLIED, "", "6"},
        {"same-publication-as-installed", "p.olp", signAs("offline.olp", kInstalledNumber), UPD_PACKAGE_APPLIED, "",
         "5"},
        {"no-signature", "p.olp", [](const std::string&, const KeyPair&, const KeyPair&) {}, UPD_E_DATA,
         "离线更新包签名无效：p.olp（缺少发布者签名）", "5"},
        {"signature-of-another-package", "p.olp",
         [](const std::string& path, const KeyPair& keys, const KeyPair&) {
             WriteFile(path + ".sig", SignatureOf(keys, "another package", "offline.olp", 6));
         },
         UPD_E_DATA, "离线更新包签名无效：p.olp（文件内容与签名不符）", "5"},
        {"signed-under-the-list-name", "p.olp", signAs("download/update.pak", 6), UPD_E_DATA,
         "离线更新包签名无效：p.olp（签名属于另一个文件）", "5"},
        {"signed-by-another-key", "p.olp",
         [](const std::string& path, const KeyPair&, const KeyPair& other) { SignFileAt(other, path, "offline.olp", 6); },
         UPD_E_DATA, "离线更新包签名无效：p.olp（签名不是发布者的）", "5"},
        {"signature-is-garbage", "p.olp",
         [](const std::string& path, const KeyPair&, const KeyPair&) { WriteFile(path + ".sig", "KVOSIG??"); },
         UPD_E_DATA, "离线更新包签名无效：p.olp（签名文件已损坏）", "5"},
        {"older-publication", "p.olp", signAs("offline.olp", kInstalledNumber - 1), UPD_E_DATA,
         "更新数据的发布编号低于本机已安装的更新，已拒绝：p.olp", "5"},
    };
    for (const PackageCase& c : cases) {
        enginetest::ScratchDir caseDir;
        KeyScope key(&publisher.publicKey);
        InstallSignedV1();
        WritePackage(c.path, "alpha from the package");
        c.sign(c.path, publisher, stranger);
        const auto before = FolderContents(kServer);

        UiRecorder ui;
        EXPECT_EQ(ApplyPackage(c.path), c.result) << c.name;
        if (c.result == UPD_PACKAGE_APPLIED) {
            EXPECT_EQ(PackMember("data/a.txt"), "alpha from the package") << c.name;
        } else {
            EXPECT_TRUE(ui.HasStatus(c.status)) << c.name;
            EXPECT_EQ(FolderContents(kServer), before) << c.name << ": the installation changed";
            EXPECT_EQ(PackMember("data/a.txt"), "alpha v1") << c.name;
        }
        EXPECT_EQ(PackMember("publication.num"), c.number) << c.name;
    }
}

// Overwrites the package file in place once decoding has begun, as another program could
// in a shared or user-writable folder: the signature check has been made by then.
class SwappingNotifier : public enginetest::RecordingNotifier {
public:
    SwappingNotifier(std::string path, std::string forged) : path_(std::move(path)), forged_(std::move(forged)) {}
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override {
        if (message == UM_PHASE_BEGIN && !swapped) {
            WriteFile(path_, forged_);
            swapped = true;
        }
        RecordingNotifier::Post(message, wParam, lParam);
    }
    bool swapped = false;

private:
    std::string path_;
    std::string forged_;
};

// A package of data/a.txt holding `a`, with a tool of version 224 holding `tool` ("" none).
std::string PackageBytes(const std::string& a, const std::string& tool) {
    UpdatePkWriter writer;
    writer.Add("update.inf", enginetest::Bytes(RecordText("data/a.txt", a)));
    writer.Add("data/a.txt", enginetest::Bytes(a));
    if (!tool.empty()) {
        writer.Add("version.inf", enginetest::Bytes("224\n10000"));
        writer.Add("update.exe", enginetest::Bytes(tool));
    }
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(writer.Build(bytes));
    return enginetest::Text(bytes);
}

struct SwapCase {
    const char* name;
    std::string signedTool;  // "" for a package of game files only
    std::string forgedTool;
    int32_t result;
    std::string a;     // data/a.txt in the pack afterwards
    std::string tool;  // update.exe afterwards
};

TEST_F(SignedEngineTest, APackageSwappedOnDiskAfterItsCheckIsNotWhatGetsInstalled) {
    const std::vector<SwapCase> cases = {
        {"game-files", "", "", UPD_PACKAGE_APPLIED, "alpha signed", "<missing>"},
        {"tool", petest::FakeTool("tool signed!"), petest::FakeTool("tool forged!"), UPD_RESTART_REQUESTED,
         "alpha v1", petest::FakeTool("tool signed!")},
    };
    for (const SwapCase& c : cases) {
        enginetest::ScratchDir caseDir;
        KeyScope key(&publisher.publicKey);
        InstallSignedV1();
        WriteFile("p.olp", PackageBytes("alpha signed", c.signedTool));
        SignFileAt(publisher, "p.olp", "offline.olp", 6);
        SwappingNotifier window("p.olp", PackageBytes("alpha forged", c.forgedTool));

        UiRecorder ui;
        ProgressSink sink(&window);
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        EXPECT_EQ(ApplyOfflinePackage("p.olp", "patch.dat", &sink, store, failures, *task), c.result) << c.name;
        UpdateEngine::Instance()->Release();
        EXPECT_TRUE(window.swapped) << c.name;
        EXPECT_EQ(PackMember("data/a.txt"), c.a) << c.name;
        EXPECT_EQ(ReadFile("update.exe"), c.tool) << c.name;
    }
}

TEST_F(SignedEngineTest, AToolInAPackageOfAnOlderPublicationIsNotInstalled) {
    KeyScope key(&publisher.publicKey);
    InstallSignedV1();
    WriteFile("p.olp", PackageBytes("alpha old", "tool of publication 4"));
    SignFileAt(publisher, "p.olp", "offline.olp", kInstalledNumber - 1);
    UiRecorder ui;
    EXPECT_EQ(ApplyPackage("p.olp"), UPD_E_DATA);
    EXPECT_TRUE(ui.HasStatus("更新数据的发布编号低于本机已安装的更新，已拒绝：p.olp"));
    EXPECT_EQ(ReadFile("update.exe"), "<missing>");
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v1");
    EXPECT_EQ(PackMember("publication.num"), "5");
}

// ---- a whole run through the driver ----

class SignedDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        StopFlag.store(0);
        FailedFileCount.store(0);
        SetInstallDir("");
        cfg.strings = {{"ftp directory", "download/"},
                       {"file version", "download/version.txt"},
                       {"file update", "download/update.exe"}};
        cfg.ints = {{"platfrom version", 10002}};
    }
    void TearDown() override { StopFlag.store(0); }

    // Publishes v`n` of the game and the current tool's version file, all signed in publication `n`.
    void PublishSignedRun(const std::string& a, uint64_t number) {
        PublishGameFiles(server, {{"data/a.txt", a}});
        WriteFile(server + "/download/version.txt", "223\n10002");
        SignFileAt(publisher, server + "/download/update.pak", "download/update.pak", number);
        SignFileAt(publisher, server + "/download/version.txt", "download/version.txt", number);
    }

    enginetest::ScratchDir scratch;
    enginetest::PluginScope plugin{"win", 10002};
    const std::string server = scratch.path() + "/" + kServer;
    drivertest::ScriptedCfg cfg;
    drivertest::ScriptedServices services{server};
    drivertest::TestWindow window;
    KeyPair publisher{1};
};

TEST_F(SignedDriverTest, ASignedServerBringsTheInstallationUpAndAnUnsignedOneChangesNothing) {
    KeyScope key(&publisher.publicKey);
    PublishSignedRun("alpha v1", 3);
    {
        UiRecorder rebuildYes(platform::kIdYes);
        ASSERT_EQ(UpdateThreadProc(&window, services), UPD_DONE);
    }
    EXPECT_EQ(PackMember("data/a.txt"), "alpha v1");
    EXPECT_EQ(PackMember("publication.num"), "3");

    // The same server with its signatures gone: the version file is refused first, and the
    // run ends as for an unusable version file.
    PublishGameFiles(server, {{"data/a.txt", "alpha v2"}});
    platform::RemoveFile((server + "/download/update.pak.sig").c_str());
    platform::RemoveFile((server + "/download/version.txt.sig").c_str());
    const auto before = FolderContents(kServer);
    services.log = {};
    UiRecorder ui;
    EXPECT_EQ(UpdateThreadProc(&window, services), -1);
    EXPECT_TRUE(ui.HasStatus("更新工具版本信息签名无效：download/version.txt（缺少发布者签名）"));
    EXPECT_FALSE(services.log.HasCall("memory download/update.pak"));
    EXPECT_FALSE(services.log.HasCall("download download/update.pak"));
    EXPECT_EQ(FolderContents(kServer), before);
}

}  // namespace
