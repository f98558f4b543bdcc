// The edition named by curver.dat, and the switch that rewrites it inside patch.dat.
#include "app/edition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup_rules.h"
#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_update_task.h"
#include "tests/app/scratch_dir.h"
#include "tests/app/test_pack.h"

namespace {

struct WordCase {
    const char* name;
    std::string word;
    int32_t edition;
};

TEST(EditionTest, EditionOfWord) {
    const WordCase cases[] = {
        {"1024 word", "Vela1024", kEdition1024},
        {"800 word", "null", kEdition800},
        {"empty", "", kEdition800},
        {"1024 at the start does not count", "1024", kEdition800},
        {"classic at the start does not count", "经典版", kEdition800},
        {"classic after the start", "x经典", kEditionClassic},
        {"1024 after a double-byte character", "中1024", kEdition1024},
        {"1024 wins over classic", "x经典1024", kEdition1024},
        {"classic after a leading 1024", "1024经典", kEditionClassic},
        {"text after a NUL is not read", std::string("x\0" "1024", 6), kEdition800},
        {"1024 ending at the last byte looked at", std::string(246, 'a') + "1024", kEdition1024},
        {"1024 crossing the last byte looked at", std::string(247, 'a') + "1024", kEdition800},
        {"a 300-byte word with 1024 beyond the bytes looked at", std::string(280, 'a') + "1024" + std::string(16, 'b'),
         kEdition800},
        // "\x81\xBE" "\xAD\xB5" "\xE4\x40": the bytes of 经典 start inside the first character.
        {"classic bytes starting at a trail byte", "a\x81\xBE\xAD\xB5\xE4\x40", kEdition800},
        // 0x81 takes the '1' after it as its second byte.
        {"1024 starting at a trail byte", "a\x81" "1024", kEdition800},
        {"1024 after a whole double-byte character", "a\x81\x40" "1024", kEdition1024},
    };
    for (const WordCase& c : cases) {
        EXPECT_EQ(EditionOfWord(c.word.data(), c.word.size()), c.edition) << c.name;
    }
}

TEST(EditionTest, QuestionNamesBothEditions) {
    EXPECT_EQ(SwitchTarget(kEdition1024), kEdition800);
    EXPECT_EQ(SwitchTarget(kEdition800), kEdition1024);
    EXPECT_EQ(EditionQuestion(kEdition800),
              "注意当前是--[[800]]--版本,你确定要切换到--[[1024]]--版本吗?\n\n\n注意切换之后需要重新进去游戏");
    EXPECT_EQ(EditionQuestion(kEditionNone),
              "注意当前是--[[0]]--版本,你确定要切换到--[[1024]]--版本吗?\n\n\n注意切换之后需要重新进去游戏");
}

struct InstallCase {
    const char* name;
    bool pack;
    std::vector<std::pair<std::string, std::string>> entries;
    const char* loose;  // a curver.dat beside the tool, or null
    int32_t edition;
};

TEST(EditionTest, GetEditionReadsTheInstallation) {
    const std::vector<InstallCase> cases = {
        {"1024 in the pack", true, {{kStartupInstructionName, "Vela1024"}}, nullptr, kEdition1024},
        {"800 in the pack", true, {{kStartupInstructionName, "null"}}, nullptr, kEdition800},
        {"classic in the pack", true, {{kStartupInstructionName, "Vela经典"}}, nullptr, kEditionClassic},
        {"no curver.dat", true, {{"other.txt", "1024"}}, nullptr, kEdition800},
        {"a loose file wins over the pack", true, {{kStartupInstructionName, "null"}}, "Vela1024", kEdition1024},
        {"a long file is cut", true, {{kStartupInstructionName, std::string(260, 'x') + "1024"}}, nullptr,
         kEdition800},
        {"no patch.dat", false, {}, "Vela1024", kEditionNone},
    };
    for (const InstallCase& c : cases) {
        ScratchDir dir("edition");
        ASSERT_TRUE(dir.ok());
        if (c.pack) {
            ASSERT_TRUE(MakeTestPack(dir, kPatchPackName, c.entries)) << c.name;
        }
        if (c.loose != nullptr) {
            ASSERT_TRUE(dir.Write(kStartupInstructionName, c.loose)) << c.name;
        }
        EXPECT_EQ(GetEdition(), c.edition) << c.name;
        EXPECT_EQ(dir.Exists(kStartupInstructionName), c.loose != nullptr) << c.name << ": the file stays";
    }
}

class RecordedBoxes : public EditionSwitchUi {
public:
    void Box(const char* text) override { boxes.push_back(text); }
    std::vector<std::string> boxes;
};

// The entry `name` of patch.dat, read from the pack alone.
std::string PackedEntry(const char* name) {
    PakList packs;
    if (!packs.Open(kPatchPackName, 0)) return "<no pack>";
    SetPakOpenMode(kPakOpenPacksOnly);
    PakFile file;
    std::string content;
    if (file.Open(name)) {
        content.resize(file.GetSize());
        if (!content.empty()) file.Read(&content[0], static_cast<uint32_t>(content.size()));
    } else {
        content = "<missing>";
    }
    SetPakOpenMode(kPakOpenDiskFirst);
    return content;
}

struct SwitchCase {
    const char* name;
    std::string word;  // curver.dat in patch.dat
    bool barFull;
    bool succeeds;
    const char* box;  // null: none
    std::string wordAfter;
};

TEST(EditionTest, SwitchRewritesTheWordInThePack) {
    const std::vector<SwitchCase> cases = {
        {"800 to 1024", "null", true, true, nullptr, "Vela1024"},
        {"1024 to 800", "Vela1024", true, true, nullptr, "null"},
        {"classic refused", "x经典", true, false, kTextSwitchClassic, "x经典"},
        {"bar not full", "null", false, false, kTextSwitchStillUpdating, "null"},
    };
    for (const SwitchCase& c : cases) {
        ScratchDir dir("edition");
        ASSERT_TRUE(dir.ok());
        ASSERT_TRUE(MakeTestPack(dir, kPatchPackName, {{"a.txt", "game data"}, {kStartupInstructionName, c.word}}))
            << c.name;
        RecordedBoxes ui;
        const int32_t edition = GetEdition();
        EXPECT_EQ(SwitchEdition(edition, c.barFull, ui), c.succeeds) << c.name;
        EXPECT_EQ(ui.boxes, c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{}) << c.name;
        EXPECT_EQ(PackedEntry(kStartupInstructionName), c.wordAfter) << c.name;
        EXPECT_EQ(PackedEntry("a.txt"), "game data") << c.name;
        if (c.succeeds) {
            EXPECT_EQ(GetEdition(), SwitchTarget(edition)) << c.name;
        }
    }
}

TEST(EditionTest, SwitchWithoutPatchDat) {
    ScratchDir dir("edition");
    ASSERT_TRUE(dir.ok());
    const int32_t edition = GetEdition();
    ASSERT_EQ(edition, kEditionNone);
    RecordedBoxes ui;
    EXPECT_FALSE(SwitchEdition(edition, true, ui));
    EXPECT_EQ(ui.boxes, std::vector<std::string>{kTextSwitchCannotOpen});
    EXPECT_FALSE(dir.Exists(kPatchPackName)) << "the switch never creates the pack";
}

// A task whose steps fail on request; it records what it was asked.
class ScriptedTask : public PakUpdateTask {
public:
    ScriptedTask(bool addOk, bool rebuildOk) : addOk_(addOk), rebuildOk_(rebuildOk) {}
    bool OpenOrCreate(const char* path, int create) override {
        openedPath = path;
        openCreate = create;
        return true;
    }
    bool AddFile(const char*, const char*) override { return false; }
    bool AddBuffer(const char* name, const void* data, uint32_t size) override {
        addedName = name;
        addedData.assign(static_cast<const char*>(data), size);
        return addOk_;
    }
    bool Rebuild(void*) override {
        ++rebuilds;
        return rebuildOk_;
    }
    std::string openedPath;
    int openCreate = -1;
    std::string addedName;
    std::string addedData;
    int rebuilds = 0;

private:
    bool addOk_;
    bool rebuildOk_;
};

struct TaskCase {
    const char* name;
    bool addOk;
    bool rebuildOk;
    bool succeeds;
    const char* box;
};

TEST(EditionTest, SwitchFailuresOfThePackTask) {
    const TaskCase cases[] = {
        {"word added and rebuilt", true, true, true, nullptr},
        {"adding fails: still rebuilt", false, true, false, kTextSwitchCannotAdd},
        {"adding and rebuilding fail: one box", false, false, false, kTextSwitchCannotAdd},
        {"rebuilding fails", true, false, false, kTextSwitchCannotRebuild},
    };
    for (const TaskCase& c : cases) {
        ScriptedTask task(c.addOk, c.rebuildOk);
        RecordedBoxes ui;
        EXPECT_EQ(SwitchEdition(kEdition800, true, ui, task), c.succeeds) << c.name;
        EXPECT_EQ(ui.boxes, c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{}) << c.name;
        EXPECT_EQ(task.openedPath, kPatchPackName) << c.name;
        EXPECT_EQ(task.openCreate, 0) << c.name << ": opened without permission to create";
        EXPECT_EQ(task.addedName, kStartupInstructionName) << c.name;
        EXPECT_EQ(task.addedData, "Vela1024") << c.name << ": no NUL";
        EXPECT_EQ(task.rebuilds, 1) << c.name;
    }
}

}  // namespace
