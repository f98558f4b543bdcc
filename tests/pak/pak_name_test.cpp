// Name folding, file ids, and the lookup and disk names derived from a requested name.
#include <gtest/gtest.h>

#include <string>

#include "pak/pak_name.h"
#include "pak/pak_paths.h"

namespace {

struct FoldCase {
    const char* name;
    const char* input;
    const char* folded;
};

const FoldCase kFoldCases[] = {
    {"upper-ascii", "ABC", "abc"},
    {"path-with-backslash", "Data\\Map.TXT", "data\\map.txt"},
    {"digit-then-letter", "1A", "1a"},
    {"at-sign-then-letter", "@A", "@a"},
    {"brackets-around-letter", "[Z]", "[z]"},
    {"letter-after-gbk-lead-kept", "\xB5" "AB", "\xB5" "Ab"},
    {"letter-after-gbk-pair-kept", "\xB5\xD8" "A", "\xB5\xD8" "A"},
    {"letter-after-gbk-pair-and-letter", "\xB5\xD8" "AB", "\xB5\xD8" "Ab"},
    {"gbk-trail-byte-in-letter-range", "\xB5" "Z" "Q", "\xB5" "Z" "q"},
    {"empty", "", ""},
};

TEST(PakNameFold, Table) {
    for (const FoldCase& c : kFoldCases) {
        std::string s = c.input;
        FoldPakName(&s[0]);
        EXPECT_EQ(s, c.folded) << c.name;
    }
}

struct IdCase {
    const char* name;
    const char* folded;
    uint32_t id;
};

const IdCase kIdCases[] = {
    {"three-letters", "abc", 0x8511AB55},
    {"empty", "", 0x7AE8D31F},
    {"gbk-bytes-count-as-negative", "\xB5\xD8.txt", 0xF693E330},
    {"path", "data/map/1.ver", 0xE9FCB90D},
    {"manifest", "update.inf", 0xABFDCCB5},
};

TEST(PakFileId, KnownIds) {
    for (const IdCase& c : kIdCases) {
        EXPECT_EQ(CalcFileId(c.folded), c.id) << c.name;
    }
}

TEST(PakFileId, FoldingACopyGivesTheFoldedIdAndKeepsTheName) {
    const char name[] = "Update.INF";
    EXPECT_EQ(CalcFoldedFileId(name), 0xABFDCCB5u);
    EXPECT_STREQ(name, "Update.INF");
    // An already folded name keeps its id when folded again.
    EXPECT_EQ(CalcFoldedFileId("update.inf"), 0xABFDCCB5u);
}

class PakPathsTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetRootPath(".");
        SetWorkPath("\\");
    }
};

struct LookupCase {
    const char* name;
    const char* work;
    const char* request;
    const char* lookup;
};

const LookupCase kLookupCases[] = {
    {"empty-work-path", "\\", "Curver.dat", "curver.dat"},
    {"work-path-prefixed", "Data", "Map.txt", "data\\map.txt"},
    {"leading-backslash-skips-work-path", "Data", "\\Map.txt", "map.txt"},
    {"work-path-leading-backslash-dropped", "\\Data\\", "a", "data\\a"},
};

TEST_F(PakPathsTest, LookupNames) {
    for (const LookupCase& c : kLookupCases) {
        SetWorkPath(c.work);
        std::string lookup;
        ASSERT_TRUE(MakePakLookupName(c.request, lookup)) << c.name;
        EXPECT_EQ(lookup, c.lookup) << c.name;
    }
}

TEST_F(PakPathsTest, LookupNameLengthLimit) {
    SetWorkPath("\\");
    std::string lookup;
    EXPECT_TRUE(MakePakLookupName(std::string(kPakLookupNameMax, 'a').c_str(), lookup));
    EXPECT_FALSE(MakePakLookupName(std::string(kPakLookupNameMax + 1, 'a').c_str(), lookup));
    SetWorkPath("dir");  // "dir\" + 252 bytes = 256
    EXPECT_FALSE(MakePakLookupName(std::string(kPakLookupNameMax - 3, 'a').c_str(), lookup));
}

struct DiskCase {
    const char* name;
    const char* root;
    const char* work;
    const char* request;
    const char* path;
};

const DiskCase kDiskCases[] = {
    {"root-and-empty-work", ".", "\\", "patch.dat", ".\\patch.dat"},
    {"root-work-name", "C:\\Game\\", "data", "a.txt", "C:\\Game\\data\\a.txt"},
    {"drive-qualified-name", ".", "data", "D:\\x.dat", "D:\\x.dat"},
    {"leading-backslash-under-root", "C:\\Game", "data", "\\x.dat", "C:\\Game\\x.dat"},
    {"drive-qualified-work-path", ".", "E:\\up", "x.dat", "E:\\up\\x.dat"},
#if !defined(_WIN32)
    // An absolute path is a full path whether it is the name or the work path.
    {"absolute-name", ".", "data", "/srv/x.dat", "/srv/x.dat"},
    {"absolute-work-path", ".", "/srv/up", "x.dat", "/srv/up\\x.dat"},
    {"absolute-work-path-under-any-root", "C:\\Game", "/srv/up", "Data/x.dat", "/srv/up\\Data/x.dat"},
#endif
};

TEST_F(PakPathsTest, DiskPaths) {
    for (const DiskCase& c : kDiskCases) {
        SetRootPath(c.root);
        SetWorkPath(c.work);
        std::string path;
        ASSERT_TRUE(MakePakDiskPath(c.request, path)) << c.name;
        EXPECT_EQ(path, c.path) << c.name;
    }
}

TEST_F(PakPathsTest, LimitsRefuseInsteadOfCutting) {
    SetRootPath(".");
    SetWorkPath("\\");
    std::string path;
    EXPECT_TRUE(MakePakDiskPath(std::string(kPakDiskPathMax - 2, 'a').c_str(), path));
    EXPECT_FALSE(MakePakDiskPath(std::string(kPakDiskPathMax, 'a').c_str(), path));
    EXPECT_EQ(SetWorkPath(std::string(kPakWorkPathMax + 1, 'w').c_str()), -1);
    EXPECT_STREQ(GetWorkPath(), "");
    SetRootPath(std::string(kPakRootPathMax + 1, 'r').c_str());
    EXPECT_STREQ(GetRootPath(), ".");
}

TEST_F(PakPathsTest, WorkPathLengthAndSeparator) {
    EXPECT_EQ(SetWorkPath("\\"), 0);
    EXPECT_EQ(SetWorkPath("data"), 5);
    EXPECT_STREQ(GetWorkPath(), "data\\");
    EXPECT_EQ(SetWorkPath("\\data\\"), 5);
    SetRootPath("C:\\Game\\");
    EXPECT_STREQ(GetRootPath(), "C:\\Game");
}

}  // namespace
