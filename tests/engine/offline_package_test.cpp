// Loading offline packages (damaged and truncated ones too) and the checks that come before
// any game file is installed: platform list, tool and plug-in versions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/delta_list.h"
#include "engine/failure_sink.h"
#include "engine/md5.h"
#include "engine/signature.h"
#include "net/pak_access.h"
#include "pak/pak_paths.h"
#include "engine/manifest_store.h"
#include "engine/offline_package.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "pak/pak_update_task.h"
#include "tests/engine/delta_test_support.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/pe_fixture.h"
#include "tests/engine/signed_test_support.h"

namespace {

using deltatest::MakePatch;
using deltatest::PatchEntry;
using namespace enginetest;

// The new tool and plug-in a package carries: PE images of this build's machine, as an
// installation takes no other.
const std::string kNewTool = petest::FakeTool("new tool");
const std::string kNewPlugin = petest::FakePlugin("new plug-in");

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Package(const std::vector<std::pair<std::string, std::string>>& members) {
    UpdatePkWriter writer;
    for (const auto& m : members) writer.Add(m.first, Bytes(m.second));
    std::vector<uint8_t> out;
    EXPECT_TRUE(writer.Build(out));
    return out;
}

void WritePackage(const std::string& path, const std::vector<uint8_t>& bytes) { WriteFile(path, Text(bytes)); }

std::string BigText() {
    std::string big;
    for (int i = 0; i < 140000; ++i) big += static_cast<char>('a' + i % 11);
    return big;
}

struct LoadCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t result;
};

TEST(LoadOfflinePackage, DecodesMembersAndRefusesDamage) {
    ScratchDir scratch;
    const std::vector<uint8_t> good = Package({{"a.txt", "alpha"}, {"big.txt", BigText()}});
    std::vector<uint8_t> badMagic = good;
    badMagic[1] = 'x';
    std::vector<uint8_t> badMethod = good;
    Put32(badMethod, 12, 1);
    std::vector<uint8_t> tooLarge = good;
    Put32(tooLarge, 16 + 8, kOlpMaxMember + 1);
    std::vector<uint8_t> sizeTooSmall = good;  // the last block decodes to more than is missing
    Put32(sizeTooSmall, 16 + 12 + 8, 140000 - 10);
    std::vector<uint8_t> countTooLarge = good;
    Put32(countTooLarge, 8, 3);
    const std::vector<uint8_t> truncated(good.begin(), good.end() - 7);
    std::vector<uint8_t> empty = Package({});

    const std::vector<LoadCase> cases = {
        {"good", good, 0},
        {"good-no-members", empty, 0},
        {"bad-magic", badMagic, UPD_E_DATA},
        {"bad-method", badMethod, UPD_E_DATA},
        {"bad-member-too-large", tooLarge, UPD_E_DATA},
        {"bad-size-smaller-than-blocks", sizeTooSmall, UPD_E_DATA},
        {"bad-count-beyond-file", countTooLarge, UPD_E_DATA},
        {"bad-truncated", truncated, UPD_E_DATA},
        {"bad-header-only", std::vector<uint8_t>(good.begin(), good.begin() + 12), UPD_E_DATA},
    };
    for (const LoadCase& c : cases) {
        WritePackage("p.olp", c.bytes);
        OfflinePackage package;
        EXPECT_EQ(LoadOfflinePackage("p.olp", package, nullptr), c.result) << c.name;
    }
    OfflinePackage package;
    EXPECT_EQ(LoadOfflinePackage("missing.olp", package, nullptr), UPD_E_DATA);
}

TEST(LoadOfflinePackage, ReportsProgressAndKeepsTheLaterOfTwoEqualIds) {
    ScratchDir scratch;
    std::vector<uint8_t> bytes = Package({{"a.txt", "first"}, {"b.txt", "second"}});
    // Give the second entry the first one's id.
    for (int i = 0; i < 4; ++i) bytes[16 + 12 + i] = bytes[16 + i];
    WritePackage("p.olp", bytes);
    RecordingNotifier window;
    ProgressSink sink(&window);
    OfflinePackage package;
    ASSERT_EQ(LoadOfflinePackage("p.olp", package, &sink), 0);
    const OfflinePackage::Member* a = package.Find("A.TXT");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a->text()), "second");
    EXPECT_EQ(package.Find("b.txt"), nullptr);
    const std::vector<Posted> expected = {{UM_PHASE_BEGIN, 0, 2}, {UM_FILE_PROGRESS, 0, 0}, {UM_FILE_PROGRESS, 1, 0}};
    EXPECT_EQ(window.posts, expected);
}

TEST(LeadingNumber, ReadsTheLeadingDecimal) {
    EXPECT_EQ(LeadingNumber("224\n10003"), 224);
    EXPECT_EQ(LeadingNumber("  \t17abc"), 17);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber("99999999999999999999"), 0x7FFFFFFF);
}

// Runs ApplyOfflinePackage on `path` in the scratch directory; *failureCount (when given)
// gets the number of files reported failed.
int32_t Apply(RecordingNotifier* window = nullptr, const char* path = "p.olp", uint32_t* failureCount = nullptr) {
    ProgressSink sink(window);
    PackManifestStore store;
    CountingFailureSink failures;
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    const int32_t rc = ApplyOfflinePackage(path, "patch.dat", &sink, store, failures, *task);
    UpdateEngine::Instance()->Release();
    if (failureCount != nullptr) *failureCount = failures.count();
    return rc;
}

struct PluginCase {
    const char* name;
    int32_t installed;
    int32_t packaged;
    bool replaced;
};

TEST(ApplyOfflinePackage, ReplacesThePluginOnlyWhenNewerOrOfAnotherMajor) {
    const std::vector<PluginCase> cases = {
        {"same-major-older-minor", 20005, 20003, false},
        {"same-version", 20005, 20005, false},
        {"same-major-newer-minor", 20005, 20007, true},
        {"newer-major", 20005, 30001, true},
        {"older-major", 20005, 10009, true},
    };
    for (const PluginCase& c : cases) {
        ScratchDir scratch;
        UiRecorder ui;
        PluginScope plugin("win", c.installed);
        WriteFile("updatecfg.dll", "old plug-in");
        WritePackage("p.olp", Package({{"version.inf", "223\n" + std::to_string(c.packaged)},
                                       {"updatecfg.dll", kNewPlugin}}));
        RecordingNotifier window;
        EXPECT_EQ(Apply(&window), c.replaced ? UPD_RESTART_REQUESTED : UPD_PACKAGE_APPLIED) << c.name;
        EXPECT_EQ(ReadFile("updatecfg.dll"), c.replaced ? kNewPlugin : "old plug-in") << c.name;
        EXPECT_EQ(window.restarts, c.replaced ? std::vector<std::string>{"<self>"} : std::vector<std::string>{})
            << c.name;
        EXPECT_FALSE(Exists("update.exe")) << c.name;
    }
}

struct NotRunnableCase {
    const char* name;
    const char* member;
    std::string content;
};

// A tool or plug-in in a package that could not run here is refused before anything is
// written, as a downloaded one is: the installation would no longer start.
TEST(ApplyOfflinePackage, AToolOrPluginThatCannotRunHereIsRefused) {
    const std::vector<NotRunnableCase> cases = {
        {"bad-tool-random-bytes", "update.exe", "MZ and then nothing of a program"},
        {"bad-tool-is-a-dll", "update.exe", kNewPlugin},
        {"bad-tool-other-machine", "update.exe", petest::MakePe({kOwnPeMachine == 0x14C ? uint16_t{0x8664} : uint16_t{0x14C}, PeKind::kProgram, {}})},
        {"bad-plugin-without-factory", "updatecfg.dll", petest::MakePe({kOwnPeMachine, PeKind::kLibrary, {"Other"}})},
        {"bad-plugin-is-a-program", "updatecfg.dll", kNewTool},
    };
    for (const NotRunnableCase& c : cases) {
        ScratchDir scratch;
        UiRecorder ui;
        PluginScope plugin("win", 10000);
        WriteFile("update.exe", "old tool");
        WriteFile("updatecfg.dll", "old plug-in");
        WritePackage("p.olp", Package({{"version.inf", "224\n10001"},
                                       {c.member, c.content},
                                       {"update.inf", "pack\r\na.txt\r\nmd5 x\r\n1\r\na.txt\r\n\r\n"},
                                       {"a.txt", "a"}}));
        RecordingNotifier window;
        EXPECT_EQ(Apply(&window), UPD_E_DATA) << c.name;
        EXPECT_TRUE(ui.HasStatus(std::string("下载的文件不是本机可用的程序，已拒绝：") + c.member)) << c.name;
        EXPECT_EQ(ReadFile("update.exe"), "old tool") << c.name;
        EXPECT_EQ(ReadFile("updatecfg.dll"), "old plug-in") << c.name;
        EXPECT_TRUE(window.restarts.empty()) << c.name;
        EXPECT_FALSE(Exists("patch.dat")) << c.name;
    }
}

TEST(ApplyOfflinePackage, NewToolIsWrittenAndNothingElseApplied) {
    ScratchDir scratch;
    UiRecorder ui;
    PluginScope plugin("win", 10000);
    WritePackage("p.olp", Package({{"version.inf", "224\n10000"},
                                   {"update.exe", kNewTool},
                                   {"update.inf", "pack\r\na.txt\r\nmd5 x\r\n1\r\na.txt\r\n\r\n"},
                                   {"a.txt", "a"}}));
    RecordingNotifier window;
    EXPECT_EQ(Apply(&window), UPD_RESTART_REQUESTED);
    EXPECT_EQ(ReadFile("update.exe"), kNewTool);
    EXPECT_EQ(window.restarts, std::vector<std::string>{"newuper.exe"});
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "由于该压缩包中存在关键更新，需要重新启动更新工具");
    EXPECT_FALSE(Exists("patch.dat"));
}

TEST(ApplyOfflinePackage, APackageThatCannotBeReadIsNamed) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"bad-missing", "gone.olp"},
        {"bad-a-folder", "folder.olp"},
    };
    for (const auto& c : cases) {
        ScratchDir scratch;
        UiRecorder ui;
        PluginScope plugin("win", 10000);
        platform::MakeDirectory("folder.olp");
        ProgressSink sink(nullptr);
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        EXPECT_EQ(ApplyOfflinePackage(c.second, "patch.dat", &sink, store, failures, *task), UPD_E_DATA) << c.first;
        UpdateEngine::Instance()->Release();
        EXPECT_TRUE(ui.HasStatus(std::string("无法读取离线更新包：") + c.second)) << c.first;
        EXPECT_FALSE(Exists("patch.dat")) << c.first;
    }
}

struct RefusalCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> members;
    int32_t result;
    const char* status;  // expected status line, or ""
    const char* caption;  // expected message box caption, or ""
};

TEST(ApplyOfflinePackage, RefusesBeforeWritingAnything) {
    std::string longList(3000, 'p');
    const std::vector<RefusalCase> cases = {
        {"no-members", {}, UPD_E_DATA, "", ""},
        {"version-only", {{"version.inf", "223\n10000"}}, UPD_PACKAGE_APPLIED, "", ""},
        {"bad-tool-version", {{"version.inf", "abc"}, {"update.exe", "x"}}, UPD_E_DATA,
         "从更新包中获取的更新工具版本信息异常", ""},
        {"other-platforms", {{"platfrom", "mac linux"}, {"version.inf", "224"}, {"update.exe", "x"}}, UPD_E_DATA, "",
         "更新包和当前平台不匹配！"},
        {"long-platform-list", {{"platfrom", longList}}, UPD_E_DATA, "", "更新包和当前平台不匹配！"},
        {"listed-platform", {{"platfrom", "mac win linux"}, {"version.inf", "223\n10000"}}, UPD_PACKAGE_APPLIED, "",
         ""},
    };
    for (const RefusalCase& c : cases) {
        ScratchDir scratch;
        UiRecorder ui;
        PluginScope plugin("win", 10000);
        WritePackage("p.olp", Package(c.members));
        EXPECT_EQ(Apply(), c.result) << c.name;
        EXPECT_FALSE(Exists("update.exe")) << c.name;
        EXPECT_FALSE(Exists("patch.dat")) << c.name;
        if (*c.status != '\0') {
            EXPECT_TRUE(ui.HasStatus(c.status)) << c.name;
        }
        if (*c.caption != '\0') {
            ASSERT_EQ(ui.boxes.size(), 1u) << c.name;
            EXPECT_EQ(ui.boxes[0].caption, c.caption) << c.name;
            EXPECT_LT(ui.boxes[0].text.size(), 1024u) << c.name;
            EXPECT_EQ(ui.boxes[0].text.rfind("当前更新包的平台适应列表如下：\r\n", 0), 0u) << c.name;
        } else {
            EXPECT_TRUE(ui.boxes.empty()) << c.name;
        }
    }
}

}  // namespace

namespace {

std::string PackMember(const std::string& name) {
    std::vector<uint8_t> bytes;
    if (ReadPackMember("patch.dat", name, bytes) != MemberRead::kOk) return "<absent>";
    return Text(bytes);
}

std::string RecordText(const std::string& kind, const std::string& name, const std::string& content) {
    return kind + "\r\n" + name + "\r\nmd5 " + Md5Text(content.data(), content.size()) + "\r\n" +
           std::to_string(content.size()) + "\r\n" + name + "\r\n\r\n";
}

TEST(ApplyOfflinePackage, InstallsMembersIntoThePackAndAsLooseFiles) {
    ScratchDir scratch;
    SetRootPath(".");
    SetWorkPath("\\");
    UiRecorder ui(platform::kIdYes);
    PluginScope plugin("win", 10000);
    WriteFile("readme.txt", "old readme");
    const std::string manifest = RecordText("pack", "data/a.txt", "alpha") + RecordText("unpack", "readme.txt", "new") +
                                 RecordText("unpack", "sub/dir/new.txt", "deep") +
                                 RecordText("unpack", "../escaped.txt", "evil") +
                                 RecordText("pack", "missing.dat", "not in the package");
    WritePackage("p.olp", Package({{"update.inf", manifest},
                                   {"data/a.txt", "alpha"},
                                   {"readme.txt", "new"},
                                   {"sub/dir/new.txt", "deep"},
                                   {"../escaped.txt", "evil"}}));
    RecordingNotifier window;
    ProgressSink sink(&window);
    PackManifestStore store;
    CountingFailureSink failures;
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    EXPECT_EQ(ApplyOfflinePackage("p.olp", "patch.dat", &sink, store, failures, *task), UPD_PACKAGE_APPLIED);
    UpdateEngine::Instance()->Release();

    EXPECT_EQ(failures.count(), 2u);  // the hostile name and the missing member
    EXPECT_EQ(PackMember("data/a.txt"), "alpha");
    EXPECT_EQ(ReadFile("readme.txt"), "new");
    EXPECT_EQ(ReadFile("sub/dir/new.txt"), "deep");
    EXPECT_FALSE(Exists(scratch.path() + "/../escaped.txt"));
    EXPECT_TRUE(ui.HasStatusContaining("指向安装目录之外"));
    ASSERT_TRUE(ui.HasBoxCaption("下载失败列表"));
    EXPECT_EQ(ui.boxes.back().text, "missing.dat\r\n");
    EXPECT_EQ(PackMember("update.inf"), RecordText("pack", "data/a.txt", "alpha") +
                                            RecordText("unpack", "readme.txt", "new") +
                                            RecordText("unpack", "sub/dir/new.txt", "deep"));
}

}  // namespace

namespace {

std::string Noise(size_t size, uint32_t seed) {
    std::string noise;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += static_cast<char>(seed >> 24);
    }
    return noise;
}

struct MemberCase {
    const char* name;
    std::string kind;
    std::string published;  // the content the manifest describes
    std::string packaged;   // the member's content in the package
    bool flipStoredByte;    // flip one byte of the member's stored block in the package file
    bool installed;
};

TEST(ApplyOfflinePackage, InstallsOnlyMembersThatMatchTheirDigest) {
    const std::string noise = Noise(3000, 7);
    const std::vector<MemberCase> cases = {
        {"good-pack-member", "pack", "alpha", "alpha", false, true},
        {"good-loose-member", "unpack", "alpha", "alpha", false, true},
        {"good-empty-pack-member", "pack", "", "", false, true},
        {"bad-pack-flipped-stored-byte", "pack", noise, noise, true, false},
        {"bad-loose-flipped-stored-byte", "unpack", noise, noise, true, false},
        {"bad-pack-other-content", "pack", "alpha", "alphb", false, false},
        {"bad-pack-other-size", "pack", "alpha", "alph", false, false},
    };
    for (const MemberCase& c : cases) {
        ScratchDir scratch;
        SetRootPath(".");
        SetWorkPath("\\");
        UiRecorder ui(platform::kIdYes);
        PluginScope plugin("win", 10000);
        WriteFile("m.bin", "installed");
        std::vector<uint8_t> olp = Package({{"update.inf", RecordText(c.kind, "m.bin", c.published)},
                                            {"m.bin", c.packaged}});
        if (c.flipStoredByte) {
            const std::string bytes = Text(olp);
            const size_t at = bytes.find(c.packaged.substr(0, 64));
            ASSERT_NE(at, std::string::npos) << c.name;
            olp[at + 100] ^= 0x01;
        }
        WritePackage("p.olp", olp);
        ProgressSink sink(nullptr);
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        EXPECT_EQ(ApplyOfflinePackage("p.olp", "patch.dat", &sink, store, failures, *task), UPD_PACKAGE_APPLIED)
            << c.name;
        UpdateEngine::Instance()->Release();
        EXPECT_EQ(failures.count(), c.installed ? 0u : 1u) << c.name;
        const std::string installedLoose = c.kind == "unpack" && c.installed ? c.published : "installed";
        EXPECT_EQ(ReadFile("m.bin"), installedLoose) << c.name;
        if (c.kind == "pack" && c.installed && !c.published.empty()) {
            EXPECT_EQ(PackMember("m.bin"), c.published) << c.name;
        }
        if (!c.installed) {
            EXPECT_EQ(PackMember("m.bin"), "<absent>") << c.name;
            EXPECT_TRUE(ui.HasStatus("m.bin MD5校验失败")) << c.name;
            EXPECT_TRUE(ui.HasBoxCaption("下载失败列表")) << c.name;
        }
        // Only what was installed is recorded, so the next run fetches a failed file again.
        EXPECT_EQ(PackMember("update.inf"), c.installed ? RecordText(c.kind, "m.bin", c.published) : "<absent>")
            << c.name;
    }
}

struct LooseTargetCase {
    const char* name;
    const char* blocker;  // a folder made where the loose file goes, or ""
    bool installed;
};

TEST(ApplyOfflinePackage, LooseMembersLeaveEveryOtherFileAlone) {
    const std::vector<LooseTargetCase> cases = {
        {"good-beside-files-named-like-temporaries", "", true},
        // A loose file that cannot be written is a failed file, not an installed one.
        {"bad-folder-in-the-way", "a.txt", false},
    };
    for (const LooseTargetCase& c : cases) {
        ScratchDir scratch;
        SetRootPath(".");
        SetWorkPath("\\");
        UiRecorder ui(platform::kIdYes);
        PluginScope plugin("win", 10000);
        WriteFile("a.txt.kvonew", "installed kvonew");
        WriteFile("a.txt.unwrap", "installed unwrap");
        if (*c.blocker != '\0') platform::MakeDirectory(c.blocker);
        WritePackage("p.olp", Package({{"update.inf", RecordText("unpack", "a.txt", "new a")}, {"a.txt", "new a"}}));
        ProgressSink sink(nullptr);
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        EXPECT_EQ(ApplyOfflinePackage("p.olp", "patch.dat", &sink, store, failures, *task), UPD_PACKAGE_APPLIED)
            << c.name;
        UpdateEngine::Instance()->Release();
        EXPECT_EQ(failures.count(), c.installed ? 0u : 1u) << c.name;
        if (c.installed) {
            EXPECT_EQ(ReadFile("a.txt"), "new a") << c.name;
        }
        EXPECT_EQ(ReadFile("a.txt.kvonew"), "installed kvonew") << c.name;
        EXPECT_EQ(ReadFile("a.txt.unwrap"), "installed unwrap") << c.name;
        EXPECT_EQ(PackMember("update.inf"), c.installed ? RecordText("unpack", "a.txt", "new a") : "<absent>")
            << c.name;
    }
}

// Stands for a plug-in loaded by this very process: the system refuses to replace the file
// (it may still be renamed).
bool PluginIsLoaded(platform::FileOp op, const char* path) {
    const std::string target = path != nullptr ? path : "";
    return op != platform::FileOp::Replace || target.find("updatecfg.dll") == std::string::npos;
}

struct LoadedPluginCase {
    const char* name;
    bool loaded;
    bool asideBlocked;  // a folder stands where the loaded plug-in would be moved aside
    int32_t result;
    std::string plugin;  // updatecfg.dll afterwards
};

TEST(ApplyOfflinePackage, APluginThatIsLoadedIsMovedAsideOrItsFailureReported) {
    const std::vector<LoadedPluginCase> cases = {
        {"good-not-loaded", false, false, UPD_RESTART_REQUESTED, kNewPlugin},
        {"good-loaded-moved-aside", true, false, UPD_RESTART_REQUESTED, kNewPlugin},
        {"bad-loaded-and-cannot-move-aside", true, true, UPD_E_DATA, "old plug-in"},
    };
    for (const LoadedPluginCase& c : cases) {
        ScratchDir scratch;
        SetRootPath(".");
        SetWorkPath("\\");
        UiRecorder ui(platform::kIdYes);
        PluginScope plugin("win", 10002);
        WriteFile("updatecfg.dll", "old plug-in");
        if (c.asideBlocked) WriteFile("updatecfg.dll.kvoold/blocker", "x");
        WritePackage("p.olp", Package({{"version.inf", "223\n10003"},
                                       {"updatecfg.dll", kNewPlugin},
                                       {"update.inf", RecordText("pack", "a.txt", "a")},
                                       {"a.txt", "a"}}));
        RecordingNotifier window;
        if (c.loaded) platform::SetFileFaultHook(&PluginIsLoaded);
        const int32_t result = Apply(&window);
        platform::SetFileFaultHook(nullptr);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(ReadFile("updatecfg.dll"), c.plugin) << c.name;
        EXPECT_EQ(window.restarts.size(), c.result == UPD_RESTART_REQUESTED ? 1u : 0u) << c.name;
        if (c.result != UPD_RESTART_REQUESTED) {
            EXPECT_TRUE(ui.HasStatus("无法创建文件[updatecfg.dll]。。。该文件可能在使用中！")) << c.name;
            EXPECT_FALSE(Exists("patch.dat")) << c.name << ": game files were applied";
            EXPECT_EQ(platform::FindFiles(".", "*").size(), 2u) << c.name << ": a temporary file was left";
        }
    }
}

}  // namespace

namespace {

// A few bytes of `s` changed in its middle: the next publication's content of a large file.
std::string Hotfixed(std::string s) {
    s.replace(s.size() / 3, 6, "HOTFIX");
    return s;
}

// Publication v1 and v2 of a small game: a pack member and a loose file that change a few
// bytes (the delta package carries patches for them), a file new in v2 (carried whole) and
// one that stays (left out of the delta package).
const std::string kBigV1 = enginetest::Noise(200000, 11);
const std::string kBigV2 = Hotfixed(kBigV1);
const std::string kLooseV1 = enginetest::Noise(90000, 12);
const std::string kLooseV2 = Hotfixed(kLooseV1);
const std::string kAdded = "new in v2";
const std::string kSame = "the same in both";
constexpr const char* kBig = "data/big.bin";
constexpr const char* kLoose = "readme.bin";

std::string PatchPath(const std::string& from, const std::string& to) {
    return std::string(kDeltaPatchDir) + Md5Text(from.data(), from.size()) + "-" + Md5Text(to.data(), to.size());
}

std::string DeltaListText(const std::vector<DeltaEntry>& entries) {
    std::string text;
    EXPECT_TRUE(FormatDeltaList(entries, &text));
    return text;
}

std::string Garbage(const std::string&) { return "not a delta list\r\n\x01\x02"; }
std::string CutShort(const std::string& list) { return list.substr(0, list.size() - 20); }
std::string Unchanged(const std::string& list) { return list; }

struct DeltaPackageCase {
    const char* name;
    std::string bigInstalled;  // data/big.bin as the installation has it before the package
    std::string bigPatch;      // the package's patch member for it; empty: none
    std::string bigListed;     // the patch the list describes for it
    std::string (*list)(const std::string& goodList);  // the package's "update.dlt"
    bool bigPatched;           // data/big.bin becomes v2's
    bool loosePatched;         // readme.bin becomes v2's
    bool signedUnderKey;       // the package is signed and applied by a build with a key
};

std::string Flipped(std::string s) {
    s[s.size() / 2] ^= 0x40;
    return s;
}

// Installs v1 through a whole package, as the installation at the earlier publication.
void InstallV1(const std::string& big) {
    const std::string manifest = RecordText("pack", kBig, big) + RecordText("unpack", kLoose, kLooseV1) +
                                 RecordText("pack", "same.txt", kSame);
    WritePackage("v1.olp", Package({{"update.inf", manifest}, {kBig, big}, {kLoose, kLooseV1}, {"same.txt", kSame}}));
    uint32_t failures = 0;
    ASSERT_EQ(Apply(nullptr, "v1.olp", &failures), UPD_PACKAGE_APPLIED);
    ASSERT_EQ(failures, 0u);
}

TEST(ApplyOfflinePackage, ADeltaPackageMakesChangedFilesFromTheInstalledOnesOrListsThemMissing) {
    const std::string goodBigPatch = MakePatch(kBigV1, kBigV2);
    const std::string wrongBigPatch = MakePatch(kBigV1, Flipped(kBigV2));
    const std::string otherBig = enginetest::Noise(200000, 99);
    const std::vector<DeltaPackageCase> cases = {
        {"good-v1-to-v2", kBigV1, goodBigPatch, goodBigPatch, Unchanged, true, true, false},
        {"good-signed-under-the-keyed-build", kBigV1, goodBigPatch, goodBigPatch, Unchanged, true, true, true},
        {"bad-installed-member-is-not-the-patch-base", otherBig, goodBigPatch, goodBigPatch, Unchanged, false, true,
         false},
        {"bad-patch-member-damaged", kBigV1, Flipped(goodBigPatch), goodBigPatch, Unchanged, false, true, false},
        {"bad-patch-gives-other-content", kBigV1, wrongBigPatch, wrongBigPatch, Unchanged, false, true, false},
        {"bad-patch-member-absent", kBigV1, "", goodBigPatch, Unchanged, false, true, false},
        {"bad-list-garbage", kBigV1, goodBigPatch, goodBigPatch, Garbage, false, false, false},
        {"bad-list-cut-short", kBigV1, goodBigPatch, goodBigPatch, CutShort, false, false, false},
    };
    const std::string loosePatch = MakePatch(kLooseV1, kLooseV2);
    const signedtest::KeyPair publisher(7);
    for (const DeltaPackageCase& c : cases) {
        ScratchDir scratch;
        SetRootPath(".");
        SetWorkPath("\\");
        UiRecorder ui(platform::kIdYes);
        PluginScope plugin("win", 10000);
        InstallV1(c.bigInstalled);

        const std::string list =
            DeltaListText({PatchEntry(kBig, kBigV1, kBigV2, c.bigListed, PatchPath(kBigV1, kBigV2)),
                           PatchEntry(kLoose, kLooseV1, kLooseV2, loosePatch, PatchPath(kLooseV1, kLooseV2))});
        std::vector<std::pair<std::string, std::string>> members = {
            {"update.inf", RecordText("pack", kBig, kBigV2) + RecordText("unpack", kLoose, kLooseV2) +
                               RecordText("pack", "same.txt", kSame) + RecordText("pack", "added.txt", kAdded)},
            {"added.txt", kAdded},
            {"update.dlt", c.list(list)},
            {PatchPath(kLooseV1, kLooseV2), loosePatch}};
        if (!c.bigPatch.empty()) members.push_back({PatchPath(kBigV1, kBigV2), c.bigPatch});
        WritePackage("p.olp", Package(members));
        if (c.signedUnderKey) signedtest::SignFileAt(publisher, "p.olp", kOfflinePackageSignedName, 2);
        signedtest::KeyScope key(c.signedUnderKey ? &publisher.publicKey : nullptr);

        ui.boxes.clear();
        uint32_t failures = 0;
        EXPECT_EQ(Apply(nullptr, "p.olp", &failures), UPD_PACKAGE_APPLIED) << c.name;

        // A file the package cannot make is left as it was, never installed wrong.
        EXPECT_TRUE(PackMember(kBig) == (c.bigPatched ? kBigV2 : c.bigInstalled)) << c.name;
        EXPECT_TRUE(ReadFile(kLoose) == (c.loosePatched ? kLooseV2 : kLooseV1)) << c.name;
        EXPECT_EQ(PackMember("added.txt"), kAdded) << c.name;
        EXPECT_EQ(PackMember("same.txt"), kSame) << c.name;
        std::string missing;
        if (!c.bigPatched) missing += std::string(kBig) + "\r\n";
        if (!c.loosePatched) missing += std::string(kLoose) + "\r\n";
        EXPECT_EQ(failures, (c.bigPatched ? 0u : 1u) + (c.loosePatched ? 0u : 1u)) << c.name;
        if (missing.empty()) {
            EXPECT_FALSE(ui.HasBoxCaption("下载失败列表")) << c.name;
        } else {
            ASSERT_TRUE(ui.HasBoxCaption("下载失败列表")) << c.name;
            EXPECT_EQ(ui.boxes.back().text, missing) << c.name;
        }
        // Only what was installed is recorded: the next package or run brings the rest.
        const std::string manifest = PackMember("update.inf");
        EXPECT_EQ(manifest.find(RecordText("pack", kBig, kBigV2)) != std::string::npos, c.bigPatched) << c.name;
        EXPECT_EQ(manifest.find(RecordText("unpack", kLoose, kLooseV2)) != std::string::npos, c.loosePatched)
            << c.name;
        if (c.signedUnderKey) {
            EXPECT_EQ(PackMember("publication.num"), "2") << c.name;
        }
    }
}

}  // namespace
