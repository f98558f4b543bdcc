// The pack writer: list files, the written layout, and packs that read back in every method.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_make.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "tests/pak/pak_test_util.h"

namespace {

class PakMakeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.ok()); }
    PakScratchDir scratch_;
    BoxesAndLog boxes_;
};

PakBytes ReadMember(const char* name) {
    PakFile file;
    if (file.Open(name) != 1) return {0xBA, 0xD0};
    PakBytes out(file.GetSize());
    if (!out.empty() && file.Read(out.data(), static_cast<uint32_t>(out.size())) != out.size()) return {0xBA, 0xD1};
    return out;
}

TEST_F(PakMakeTest, MarkerListPacksItselfAtOffset28) {
    ASSERT_TRUE(WriteText("1.ver", ".\r\n1.ver\r\n"));
    PakMake make;
    ASSERT_EQ(make.Make("1.ver", "new.pak", kPakMethodZlib), 1);
    const PakBytes pack = ReadBytes("new.pak");
    ASSERT_GE(pack.size(), 28u);
    EXPECT_EQ(std::string(pack.begin(), pack.begin() + 8), "DATAPACK");
    EXPECT_EQ(Get32(pack, 8), 1u);
    EXPECT_EQ(Get32(pack, 12), static_cast<uint32_t>(kPakMethodZlib));
    EXPECT_EQ(Get32(pack, 16), CalcFileId("1.ver"));
    EXPECT_EQ(Get32(pack, 20), 28u);
    EXPECT_EQ(Get32(pack, 24), 10u);
    EXPECT_FALSE(FileThere("new.paktmp"));
}

struct ListCase {
    const char* name;
    std::string list;
    int loaded;
    uint32_t count;
};

TEST_F(PakMakeTest, ListFiles) {
    const ListCase cases[] = {
        {"base-and-two-names", ".\r\na\r\nb\r\n", 1, 2},
        {"final-crlf-optional", ".\r\na\r\nb", 1, 2},
        {"empty-line-is-a-name", ".\r\na\r\n\r\nb\r\n", 1, 3},
        {"only-base-directory", ".\r\n", 0, 0},
        {"no-line-break-at-all", ".", 0, 0},
        {"empty-file", "", 0, 0},
        {"same-name-twice-after-folding", ".\r\nData/A.txt\r\ndata/a.TXT\r\n", 0, 0},
        {"nul-ends-a-line-and-takes-the-next-byte", std::string(".\r\na\0x\r\nb\r\n", 11), 1, 3},
    };
    for (const ListCase& c : cases) {
        ASSERT_TRUE(WriteText("list.txt", c.list));
        PakMake make;
        EXPECT_EQ(make.LoadList("list.txt"), c.loaded) << c.name;
        if (c.loaded == 1) {
            EXPECT_EQ(make.Count(), c.count) << c.name;
        }
    }
    PakMake make;
    EXPECT_EQ(make.LoadList("no-such-list.txt"), 0);
}

TEST_F(PakMakeTest, DuplicateIdIsLogged) {
    ASSERT_TRUE(WriteText("list.txt", ".\r\nA\r\na\r\n"));
    PakMake make;
    EXPECT_EQ(make.LoadList("list.txt"), 0);
    EXPECT_TRUE(boxes_.LogHas("There are files have the same id"));
}

class PakMakeMethodTest : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        if (!PakMethodAvailable(GetParam())) GTEST_SKIP() << "no codec for method " << MethodName(GetParam()) << " in this build";
        ASSERT_TRUE(scratch_.ok());
    }
    PakScratchDir scratch_;
};

TEST_P(PakMakeMethodTest, MadePackReadsBackAndIsSortedById) {
    ASSERT_TRUE(platform::MakeDirectory("src"));
    ASSERT_TRUE(platform::MakeDirectory("src/Data"));
    const std::vector<HandEntry> files = {
        {"Data/Town.ini", TextBytes(150000, 1)},
        {"random.bin", RandomBytes(65536 + 4464, 2)},
        {"exact.bin", TextBytes(65536, 3)},
        {"tiny.txt", TextBytes(3, 4)},
        {"empty.dat", {}},
    };
    std::string list = "src\r\n";
    for (const HandEntry& f : files) {
        ASSERT_TRUE(WriteBytes("src/" + f.name, f.content));
        list += f.name + "\r\n";
    }
    ASSERT_TRUE(WriteText("list.txt", list));
    PakMake make;
    ASSERT_EQ(make.Make("list.txt", "made.pak", GetParam()), 1);
    SetWorkPath("\\");

    const PakBytes pack = ReadBytes("made.pak");
    ASSERT_EQ(Get32(pack, 8), files.size());
    for (size_t i = 1; i < files.size(); ++i) EXPECT_LT(Get32(pack, 16 + 12 * (i - 1)), Get32(pack, 16 + 12 * i));

    PakList packs;
    ASSERT_EQ(packs.Open("made.pak", 0), 1);
    SetPakOpenMode(kPakOpenPacksOnly);
    for (const HandEntry& f : files) {
        uint32_t size = 1;
        ASSERT_EQ(packs.Find(f.name.c_str(), nullptr, &size), 0) << f.name;
        EXPECT_EQ(size, f.content.size()) << f.name;
        if (!f.content.empty()) {
            EXPECT_TRUE(ReadMember(f.name.c_str()) == f.content) << f.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, PakMakeMethodTest, ::testing::ValuesIn(kAllPakMethods),
                         [](const ::testing::TestParamInfo<int32_t>& info) { return MethodName(info.param); });

TEST_F(PakMakeTest, StoredBlocksAndPadding) {
    // 70,000 random bytes with zlib: the full block does not shrink and is stored plain;
    // the 4,464-byte last block cannot be coded into 65536 either way and is padded.
    ASSERT_TRUE(WriteBytes("random.bin", RandomBytes(70000, 5)));
    ASSERT_TRUE(WriteText("list.txt", ".\r\nrandom.bin\r\n"));
    PakMake make;
    ASSERT_EQ(make.Make("list.txt", "made.pak", kPakMethodZlib), 1);
    const PakBytes pack = ReadBytes("made.pak");
    const uint32_t offset = Get32(pack, 20);
    ASSERT_EQ(offset, 28u);
    EXPECT_EQ(pack[offset] | pack[offset + 1] << 8, 0);
    const uint32_t lastValue = pack[offset + 2] | pack[offset + 3] << 8;
    if (lastValue == 0) {
        EXPECT_EQ(pack.size(), offset + 4 + 2 * 65536u);
    } else {
        EXPECT_EQ(pack.size(), offset + 4 + 65536u + lastValue);
    }
}

TEST_F(PakMakeTest, MissingListedFileFailsAndLeavesNoPack) {
    ASSERT_TRUE(WriteBytes("present.txt", TextBytes(10)));
    ASSERT_TRUE(WriteText("list.txt", ".\r\npresent.txt\r\nmissing.txt\r\n"));
    PakMake make;
    EXPECT_EQ(make.Make("list.txt", "made.pak", kPakMethodZlib), 0);
    EXPECT_TRUE(boxes_.LogHas("Can't open file : missing.txt"));
    EXPECT_FALSE(FileThere("made.pak"));
    EXPECT_FALSE(FileThere("made.paktmp"));
}

TEST_F(PakMakeTest, FailedMakeKeepsTheOldPack) {
    ASSERT_TRUE(WriteText("made.pak", "previous content"));
    ASSERT_TRUE(WriteText("list.txt", ".\r\nmissing.txt\r\n"));
    PakMake make;
    EXPECT_EQ(make.Make("list.txt", "made.pak", kPakMethodStored), 0);
    const PakBytes kept = ReadBytes("made.pak");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous content");
}

TEST_F(PakMakeTest, UnknownMethodFails) {
    ASSERT_TRUE(WriteBytes("a.txt", TextBytes(10)));
    ASSERT_TRUE(WriteText("list.txt", ".\r\na.txt\r\n"));
    for (int32_t method : {-3, 3, 100}) {
        PakMake make;
        EXPECT_EQ(make.Make("list.txt", "made.pak", method), 0) << method;
    }
    EXPECT_FALSE(FileThere("made.pak"));
}

TEST_F(PakMakeTest, FileOf1024BlocksIsRefusedWithAMessage) {
    ASSERT_TRUE(WriteSizedFile("huge.bin", 1023ull * 65536 + 1));
    ASSERT_TRUE(WriteBytes("small.txt", TextBytes(10)));
    ASSERT_TRUE(WriteText("list.txt", ".\r\nsmall.txt\r\nhuge.bin\r\n"));
    PakMake make;
    EXPECT_EQ(make.Make("list.txt", "made.pak", kPakMethodStored), 0);
    ASSERT_EQ(BoxesAndLog::Boxes().size(), 1u);
    EXPECT_EQ(BoxesAndLog::Boxes()[0], "PakMake::Pack()...Too big file to pack");
    EXPECT_FALSE(FileThere("made.pak"));
}

TEST_F(PakMakeTest, FailedWriteFailsTheMake) {
    ASSERT_TRUE(WriteBytes("a.txt", TextBytes(100000)));
    ASSERT_TRUE(WriteText("list.txt", ".\r\na.txt\r\n"));
    static int writesLeft;
    for (int failAt : {0, 1, 2, 3, 4, 5}) {
        writesLeft = failAt;
        platform::SetFileFaultHook([](platform::FileOp op, const char*) {
            return op != platform::FileOp::Write || writesLeft-- > 0;
        });
        PakMake make;
        const int made = make.Make("list.txt", "made.pak", kPakMethodZlib);
        platform::SetFileFaultHook(nullptr);
        EXPECT_EQ(made, 0) << "write " << failAt;
        EXPECT_FALSE(FileThere("made.pak")) << "write " << failAt;
        EXPECT_FALSE(FileThere("made.paktmp")) << "write " << failAt;
    }
}

// The writer's lines name a file as the pack knows it (folded), while the file itself is
// opened under its listed spelling.
TEST_F(PakMakeTest, MessagesNameTheFoldedName) {
    struct Case {
        const char* name;
        const char* listed;   // the list line; created on disk unless `present` is false
        bool present;
        const char* printed;  // standard output
        const char* logged;   // a PakLog line that must appear ("" for none expected)
    };
    const Case cases[] = {
        {"packing-line", "Data/Town.INI", true, "packing file data/town.ini...\n", ""},
        {"gbk-second-byte-stays", "\xB0\x41" "B.TXT", true, "packing file \xB0\x41" "b.txt...\n", ""},
        {"cannot-open-line", "Data/Missing.TXT", false, "", "Can't open file : data/missing.txt\n"},
    };
    ASSERT_TRUE(platform::MakeDirectory("Data"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxesAndLog::Log().clear();
        if (c.present) {
            ASSERT_TRUE(WriteBytes(c.listed, TextBytes(10)));
        }
        ASSERT_TRUE(WriteText("list.txt", std::string(".\r\n") + c.listed + "\r\n"));
        PakMake make;
        ::testing::internal::CaptureStdout();
        const int made = make.Make("list.txt", "made.pak", kPakMethodZlib);
        std::fflush(stdout);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(made, c.present ? 1 : 0);
        EXPECT_EQ(printed, c.printed);
        if (*c.logged != '\0') {
            ASSERT_FALSE(BoxesAndLog::Log().empty());
            EXPECT_EQ(BoxesAndLog::Log().back(), c.logged);
        }
    }
}

// A base directory given as a full path is used as it is, wherever the writer runs.
TEST_F(PakMakeTest, FullPathBaseDirectory) {
    ASSERT_TRUE(platform::MakeDirectory("src"));
    ASSERT_TRUE(WriteBytes("src/a.txt", TextBytes(300, 6)));
    ASSERT_TRUE(WriteText("list.txt", scratch_.path() + "/src\r\na.txt\r\n"));
    PakMake make;
    ASSERT_EQ(make.Make("list.txt", "made.pak", kPakMethodZlib), 1);
    SetWorkPath("\\");
    PakList packs;
    ASSERT_EQ(packs.Open("made.pak", 0), 1);
    SetPakOpenMode(kPakOpenPacksOnly);
    EXPECT_TRUE(ReadMember("a.txt") == TextBytes(300, 6));
}

// A read-only pack is replaced: the writer clears the attribute before it puts the new
// pack in place, as Windows refuses to replace a read-only file.
TEST_F(PakMakeTest, ReadOnlyPackIsReplaced) {
    ASSERT_TRUE(WriteText("made.pak", "previous content"));
    ASSERT_TRUE(platform::SetFileReadOnly("made.pak"));
    ASSERT_TRUE(WriteBytes("a.txt", TextBytes(10)));
    ASSERT_TRUE(WriteText("list.txt", ".\r\na.txt\r\n"));
    int made = 0;
    {
        ReadOnlyTargetsRefuseReplace windowsRule;
        PakMake make;
        made = make.Make("list.txt", "made.pak", kPakMethodZlib);
    }
    EXPECT_EQ(made, 1);
    const PakBytes pack = ReadBytes("made.pak");
    ASSERT_GE(pack.size(), 8u);
    EXPECT_EQ(std::string(pack.begin(), pack.begin() + 8), "DATAPACK");
    EXPECT_FALSE(platform::IsFileReadOnly("made.pak"));
    EXPECT_FALSE(FileThere("made.paktmp"));
}

}  // namespace
