#include "app/startup_instruction.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/app/scratch_dir.h"
#include "tests/app/test_pack.h"

namespace {

struct LooseInstructionCase {
    const char* name;
    std::string content;
    std::string expectDir;
    bool expectConsumed;
};

TEST(ConsumeStartupInstructionTest, LooseFileBesideTool) {
    const LooseInstructionCase cases[] = {
        {"directory word", "xyz", "xyz", true},
        {"default directory", "download", "", true},
        {"no directory", "null", "", true},
        {"empty file", "", "", true},
        {"largest accepted size", "abc" + std::string(kStartupInstructionBufferSize - 4, ' '), "abc", true},
        {"too large", "abc" + std::string(kStartupInstructionBufferSize - 3, ' '), "", false},
    };
    for (const LooseInstructionCase& c : cases) {
        ScratchDir dir("startup");
        ASSERT_TRUE(dir.ok());
        ASSERT_TRUE(dir.Write(kStartupInstructionName, c.content)) << c.name;
        StartupInstruction got = ConsumeStartupInstruction();
        EXPECT_EQ(got.downloadDir, c.expectDir) << c.name;
        EXPECT_FALSE(got.waitForParent) << c.name;
        EXPECT_EQ(dir.Exists(kStartupInstructionName), !c.expectConsumed) << c.name;
    }
}

TEST(ConsumeStartupInstructionTest, MissingFileAndDamagedPackGiveDefault) {
    ScratchDir dir("startup");
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(dir.Write(kPatchPackName, "not a pack at all"));
    StartupInstruction got = ConsumeStartupInstruction();
    EXPECT_EQ(got.downloadDir, "");
    EXPECT_FALSE(got.waitForParent);
    EXPECT_EQ(dir.Read(kPatchPackName), "not a pack at all");
}

}  // namespace

namespace {

struct PackedInstructionCase {
    const char* name;
    const char* loose;  // null: no loose curver.dat
    std::string expectDir;
};

TEST(ConsumeStartupInstructionTest, LooseFileWinsOverPackCopy) {
    const PackedInstructionCase cases[] = {
        {"pack copy only", nullptr, "xyz"},
        {"loose file wins", "null", ""},
        {"loose directory wins", "abc", "abc"},
    };
    for (const PackedInstructionCase& c : cases) {
        ScratchDir dir("startup");
        ASSERT_TRUE(dir.ok());
        ASSERT_TRUE(MakeTestPack(dir, kPatchPackName, {{kStartupInstructionName, "xyz"}})) << c.name;
        const std::string packBefore = dir.Read(kPatchPackName);
        if (c.loose != nullptr) {
            ASSERT_TRUE(dir.Write(kStartupInstructionName, c.loose)) << c.name;
        }
        EXPECT_EQ(ConsumeStartupInstruction().downloadDir, c.expectDir) << c.name;
        EXPECT_FALSE(dir.Exists(kStartupInstructionName)) << c.name;
        EXPECT_EQ(dir.Read(kPatchPackName), packBefore) << c.name << ": the pack copy stays";
    }
}

}  // namespace
