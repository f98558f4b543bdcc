#include "engine/game_launch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pak/pak_paths.h"
#include "platform/platform.h"
#include "tests/app/scratch_dir.h"
#include "tests/app/test_pack.h"
#include "text/message_box.h"

namespace {

constexpr const char* kGame = "MZ game build 2";

// Stands in for the plug-in: records the names it is asked to start.
class RecordingCfg : public iUpdateCfg {
public:
    int Initialize(const char*) override { return 1; }
    const char* GetString(const char*) override { return nullptr; }
    int GetInt(const char*) override { return 0; }
    int Launch(const char* exeName) override {
        launched.push_back(exeName);
        return 1;
    }
    std::vector<std::string> launched;
};

std::vector<std::string> g_boxes;
int RecordBox(const char* text, const char*, unsigned) {
    g_boxes.push_back(text);
    return platform::kIdOk;
}

// Points the system's temporary directory at `dir` for the test's lifetime.
void SetTempDirectory(const std::string& dir) {
#ifdef _WIN32
    _putenv_s("TMP", dir.c_str());
    _putenv_s("TEMP", dir.c_str());
#else
    setenv("TMPDIR", dir.c_str(), 1);
#endif
}

class GameLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedTemp_ = platform::TempDirectory();
        SetRootPath(".");
        SetWorkPath("\\");
        SetPakOpenMode(kPakOpenDiskFirst);
        g_boxes.clear();
        previousHook_ = SetMessageBoxHook(&RecordBox);
    }
    void TearDown() override {
        SetMessageBoxHook(previousHook_);
        SetTempDirectory(savedTemp_);
    }

    std::string savedTemp_;
    MessageBoxHook previousHook_ = nullptr;
};

// Blocks a copy name with a directory of that name: it can be neither read as the game
// nor deleted, as a copy that is running.
void BlockName(const ScratchDir& dir, const std::string& name) {
    platform::MakeDirectory((dir.path() + "/" + name).c_str());
}

struct CopyCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> before;  // name, content ("<dir>": blocked)
    bool readOnlyKvo00;
    std::vector<std::string> expectLaunched;
    std::string expectWritten;  // the copy holding the game afterwards ("" for none)
};

TEST_F(GameLaunchTest, ChoosesCopyName) {
    const CopyCase cases[] = {
        {"no copies", {}, false, {"kvo00.exe"}, "kvo00.exe"},
        {"outdated copy replaced", {{"kvo00.exe", "MZ game build 1"}}, false, {"kvo00.exe"}, "kvo00.exe"},
        {"blocked first copy skipped", {{"kvo00.exe", "<dir>"}}, false, {"kvo01.exe"}, "kvo01.exe"},
        {"blocked first two copies skipped",
         {{"kvo00.exe", "<dir>"}, {"kvo01.exe", "<dir>"}, {"kvo02.exe", "MZ old"}},
         false,
         {"kvo02.exe"},
         "kvo02.exe"},
        {"current read-only copy started as it is", {{"kvo00.exe", kGame}}, true, {"kvo00.exe"}, "kvo00.exe"},
    };
    for (const CopyCase& c : cases) {
        ScratchDir dir("launch");
        ASSERT_TRUE(dir.ok());
        SetTempDirectory(dir.path());
        ASSERT_TRUE(dir.Write(kGameExecutableMember, kGame));
        for (const auto& file : c.before) {
            if (file.second == "<dir>") BlockName(dir, file.first);
            else ASSERT_TRUE(dir.Write(file.first, file.second));
        }
        if (c.readOnlyKvo00) platform::SetFileReadOnly((dir.path() + "/kvo00.exe").c_str());
        RecordingCfg cfg;
        EXPECT_TRUE(StartGameClient(&cfg, "")) << c.name;
        EXPECT_EQ(cfg.launched, c.expectLaunched) << c.name;
        EXPECT_EQ(dir.Read(c.expectWritten), kGame) << c.name;
        EXPECT_TRUE(g_boxes.empty()) << c.name;
    }
}

TEST_F(GameLaunchTest, AllNamesBlockedStartsNothing) {
    ScratchDir dir("launch");
    ASSERT_TRUE(dir.ok());
    SetTempDirectory(dir.path());
    ASSERT_TRUE(dir.Write(kGameExecutableMember, kGame));
    for (int i = 0; i < kGameCopySlots; ++i) BlockName(dir, "kvo0" + std::to_string(i) + ".exe");
    RecordingCfg cfg;
    EXPECT_TRUE(StartGameClient(&cfg, ""));
    EXPECT_TRUE(cfg.launched.empty());
}

TEST_F(GameLaunchTest, MissingGameExecutableReportsDataError) {
    ScratchDir dir("launch");
    ASSERT_TRUE(dir.ok());
    SetTempDirectory(dir.path());
    ASSERT_TRUE(dir.Write("patch.dat", "damaged pack"));
    ASSERT_TRUE(dir.Write("KVO1A2B.tmp", "partial download"));
    RecordingCfg cfg;
    EXPECT_FALSE(StartGameClient(&cfg, ""));
    EXPECT_TRUE(cfg.launched.empty());
    EXPECT_EQ(g_boxes, std::vector<std::string>{kGameDataErrorText});
    EXPECT_FALSE(dir.Exists("kvo00.exe"));
    EXPECT_EQ(dir.Read("patch.dat"), "damaged pack");
}

TEST_F(GameLaunchTest, ClearsDownloadTempFilesOnly) {
    ScratchDir install("launch");
    ASSERT_TRUE(install.ok());
    ASSERT_TRUE(install.Write(kGameExecutableMember, kGame));
    std::string temp = install.path() + "/tmp";
    platform::MakeDirectory(temp.c_str());
    platform::MakeDirectory((temp + "/KVODIR").c_str());
    SetTempDirectory(temp);
    const char* const doomed[] = {"KVO1A2B.tmp", "kvo3c.tmp", "KVOX"};
    const char* const kept[] = {"other.tmp", "AKVO.tmp"};
    for (const char* name : doomed) ASSERT_TRUE(install.Write(std::string("tmp/") + name, "x"));
    for (const char* name : kept) ASSERT_TRUE(install.Write(std::string("tmp/") + name, "x"));

    RecordingCfg cfg;
    EXPECT_TRUE(StartGameClient(&cfg, ""));
    for (const char* name : doomed) EXPECT_FALSE(install.Exists(std::string("tmp/") + name)) << name;
    for (const char* name : kept) EXPECT_TRUE(install.Exists(std::string("tmp/") + name)) << name;
    EXPECT_TRUE(platform::DirectoryExists((temp + "/KVODIR").c_str()));
}

}  // namespace

namespace {

struct SourceCase {
    const char* name;
    const char* packed;  // mainclient.exe inside patch.dat, or null
    const char* loose;   // loose mainclient.exe, or null
    std::string expectCopy;
};

TEST_F(GameLaunchTest, ReadsGameFromPackOrLooseFile) {
    const SourceCase cases[] = {
        {"from the pack", "MZ packed game", nullptr, "MZ packed game"},
        {"loose file preferred", "MZ packed game", "MZ loose game", "MZ loose game"},
    };
    for (const SourceCase& c : cases) {
        ScratchDir dir("launch");
        ASSERT_TRUE(dir.ok());
        SetTempDirectory(dir.path());
        ASSERT_TRUE(MakeTestPack(dir, "patch.dat", {{kGameExecutableMember, c.packed}})) << c.name;
        if (c.loose != nullptr) {
            ASSERT_TRUE(dir.Write(kGameExecutableMember, c.loose)) << c.name;
        }
        RecordingCfg cfg;
        EXPECT_TRUE(StartGameClient(&cfg, dir.path() + "/")) << c.name;
        EXPECT_EQ(cfg.launched, std::vector<std::string>{"kvo00.exe"}) << c.name;
        EXPECT_EQ(dir.Read("kvo00.exe"), c.expectCopy) << c.name;
    }
}

}  // namespace
