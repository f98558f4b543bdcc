// Taking a member out of an UpdatePK container held in memory, with damaged and truncated
// containers; unwrapping a downloaded file on disk and the temporary files beside targets.
#include <gtest/gtest.h>

#include <cctype>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/update_codes.h"
#include "net/local_file.h"
#include "pak/pak_paths.h"
#include "engine/update_pk_writer.h"
#include "net/unwrap.h"
#include "tests/engine/engine_test_support.h"

namespace {

using enginetest::Bytes;
using enginetest::Text;

// Two members, one of them over one 64 KiB block and well compressible, one not.
std::vector<uint8_t> GoodContainer() {
    UpdatePkWriter writer;
    std::string big;
    for (int i = 0; i < 70000; ++i) big += static_cast<char>('a' + i % 7);
    writer.Add("update.inf", Bytes(big));
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    writer.Add("Noise.BIN", Bytes(noise));
    std::vector<uint8_t> out;
    EXPECT_TRUE(writer.Build(out));
    return out;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct ExtractCase {
    const char* name;
    std::vector<uint8_t> block;
    std::string member;
    int32_t result;
    bool extracted;
};

TEST(ExtractUpdatePkMember, FindsMembersAndRefusesDamage) {
    const std::vector<uint8_t> good = GoodContainer();
    std::vector<uint8_t> badMagic = good;
    badMagic[0] = 'X';
    std::vector<uint8_t> badMethod = good;
    Put32(badMethod, 12, 0);
    std::vector<uint8_t> hugeMember = good;
    Put32(hugeMember, 16 + 8, kMaxExtractedMember + 1);
    std::vector<uint8_t> offsetOutside = good;
    Put32(offsetOutside, 16 + 4, 0x7FFFFFF0);
    std::vector<uint8_t> countBeyondIndex = good;
    Put32(countBeyondIndex, 8, 1000);
    std::vector<uint8_t> damagedBlock = good;
    for (size_t i = 40; i < 60; ++i) damagedBlock[i] ^= 0x5A;
    const std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
    const std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 10);

    const std::vector<ExtractCase> cases = {
        {"good-first-member", good, "update.inf", 0, true},
        {"good-member-name-folded", good, "NOISE.bin", 0, true},
        {"good-no-such-member", good, "other.dat", 0, false},
        {"bad-magic", badMagic, "update.inf", UPD_E_DATA, false},
        {"bad-method", badMethod, "update.inf", UPD_E_DATA, false},
        {"bad-member-too-large", hugeMember, "noise.bin", UPD_E_DATA, false},
        {"bad-offset-outside-block", offsetOutside, "update.inf", UPD_E_DATA, false},
        {"bad-count-beyond-index", countBeyondIndex, "other.dat", UPD_E_DATA, false},
        {"bad-damaged-block", damagedBlock, "update.inf", UPD_E_DATA, false},
        {"bad-truncated", truncated, "noise.bin", UPD_E_DATA, false},
        {"bad-shorter-than-header", headerOnly, "update.inf", UPD_E_DATA, false},
    };
    for (const ExtractCase& c : cases) {
        std::vector<uint8_t> out = Bytes("untouched");
        bool extracted = true;
        EXPECT_EQ(ExtractUpdatePkMember(c.member, c.block.data(), c.block.size(), out, &extracted), c.result) << c.name;
        EXPECT_EQ(extracted, c.extracted) << c.name;
        if (!c.extracted) {
            EXPECT_EQ(Text(out), "untouched") << c.name;
        }
    }
}

TEST(ExtractUpdatePkMember, GivesTheMemberBytesExactly) {
    UpdatePkWriter writer;
    writer.Add("a.txt", Bytes("first"));
    writer.Add("b.txt", Bytes(""));
    writer.Add("A.TXT", Bytes("replaced"));  // same id: the later content wins
    std::vector<uint8_t> block;
    ASSERT_TRUE(writer.Build(block));
    std::vector<uint8_t> out;
    bool extracted = false;
    ASSERT_EQ(ExtractUpdatePkMember("a.txt", block.data(), block.size(), out, &extracted), 0);
    EXPECT_TRUE(extracted);
    EXPECT_EQ(Text(out), "replaced");
    ASSERT_EQ(ExtractUpdatePkMember("b.txt", block.data(), block.size(), out, &extracted), 0);
    EXPECT_TRUE(extracted);
    EXPECT_TRUE(out.empty());
}

struct MemberNameCase {
    const char* name;
    const char* remote;
    const char* member;
};

TEST(DownloadMemberName, UsesTheLoweredFileNameOfTheRemotePath) {
    const std::vector<MemberNameCase> cases = {
        {"list-becomes-manifest", "download/UPDATE.PAK", "update.inf"},
        {"nested", "download/$win/Data/Map.DAT", "map.dat"},
        {"backslashes", "download\\a\\B.txt", "b.txt"},
        {"gbk-trail-kept", "d/\xB0\x41.TXT", "\xB0\x41.txt"},
        {"no-directory", "File.bin", "file.bin"},
    };
    for (const MemberNameCase& c : cases) EXPECT_EQ(DownloadMemberName(c.remote), c.member) << c.name;
}

}  // namespace

namespace {

using enginetest::Exists;
using enginetest::ReadFile;
using enginetest::WriteFile;

// The files (not folders) below the current directory, relative names with '/'.
std::set<std::string> FilesHere() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
        if (entry.is_regular_file()) names.insert(entry.path().lexically_relative(".").generic_string());
    }
    return names;
}

std::string Container(const std::string& member, const std::string& content) {
    UpdatePkWriter writer;
    writer.Add(member, Bytes(content));
    std::vector<uint8_t> out;
    EXPECT_TRUE(writer.Build(out));
    return Text(out);
}

struct UnwrapCase {
    const char* name;
    std::string downloaded;  // content of the local file; "" = no local file
    const char* remote;
    bool usable;
    std::string after;  // the local file's content afterwards
    int modeAfter;      // the pack open mode left behind (set to -1 before)
};

TEST(UnwrapDownloadedFile, ReplacesAWrappedFileAndTouchesNoOtherFile) {
    const std::string wrapped = Container("a.bin", "the member");
    const std::string wrongMember = Container("other.bin", "x");
    const std::vector<UnwrapCase> cases = {
        {"good-wrapped-member", wrapped, "download/sub/A.bin", true, "the member", kPakOpenDiskFirst},
        {"good-not-a-pack", "plain bytes", "download/a.bin", true, "plain bytes", -1},
        {"good-pak-used-as-downloaded", wrapped, "download/a.pak", true, wrapped, -1},
        {"bad-pack-without-the-member", wrongMember, "download/a.bin", false, wrongMember, kPakOpenDiskFirst},
        {"bad-no-local-file", "", "download/a.bin", false, "<missing>", -1},
    };
    for (const UnwrapCase& c : cases) {
        enginetest::ScratchDir scratch;
        SetRootPath(".");
        SetWorkPath("\\");
        // Files named like temporary files of the past: installed files, never touched.
        WriteFile("dl/a.bin.unwrap", "installed 1");
        WriteFile("dl/a.bin.kvodl", "installed 2");
        if (!c.downloaded.empty()) WriteFile("dl/a.bin", c.downloaded);
        const std::set<std::string> before = FilesHere();
        SetPakOpenMode(-1);
        EXPECT_EQ(UnwrapDownloadedFile("dl/a.bin", c.remote), c.usable) << c.name;
        EXPECT_EQ(GetPakOpenMode(), c.modeAfter) << c.name;
        EXPECT_EQ(ReadFile("dl/a.bin"), c.after) << c.name;
        EXPECT_EQ(ReadFile("dl/a.bin.unwrap"), "installed 1") << c.name;
        EXPECT_EQ(ReadFile("dl/a.bin.kvodl"), "installed 2") << c.name;
        EXPECT_EQ(FilesHere(), before) << c.name;
    }
    SetPakOpenMode(kPakOpenDiskFirst);
}

TEST(CreateTempFileBeside, MakesANewFileInTheTargetsFolder) {
    enginetest::ScratchDir scratch;
    WriteFile("data/a.txt", "installed");
    const std::string first = CreateTempFileBeside("data/new/a.txt");
    const std::string second = CreateTempFileBeside("data/new/a.txt");
    const std::string here = CreateTempFileBeside("top.txt");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(here.empty());
    EXPECT_NE(first, second);
    EXPECT_EQ(std::filesystem::path(first).parent_path(), std::filesystem::path("data/new"));
    EXPECT_EQ(std::filesystem::canonical(std::filesystem::path(here).parent_path()),
              std::filesystem::current_path());
    EXPECT_EQ(ReadFile(first), "");
    EXPECT_EQ(ReadFile("data/a.txt"), "installed");
    EXPECT_TRUE(CreateTempFileBeside("").empty());
    // A folder that cannot be made (a file is in the way) gives no temporary file.
    EXPECT_TRUE(CreateTempFileBeside("data/a.txt/b.txt").empty());
}

// What a killed run left behind (temporary files beside their targets, in any folder) goes
// at the next start; the installation's own files, even ones named alike, stay.
TEST(RemoveTempFileLeftovers, RemovesOnlyTheTemporaryFilesOfKilledRuns) {
    enginetest::ScratchDir scratch;
    WriteFile("data/maps/a.map", "installed map");
    WriteFile("kvu.txt", "a game file");
    WriteFile("data/kvu-notes.tmp.txt", "another game file");
    const std::vector<std::string> left = {CreateTempFileBeside("update.exe"), CreateTempFileBeside("data/a.txt"),
                                           CreateTempFileBeside("data/maps/a.map")};
    for (const std::string& path : left) {
        ASSERT_FALSE(path.empty());
        WriteFile(path, "partial download");
    }
    platform::SetFileReadOnly(left[1].c_str());
    EXPECT_EQ(RemoveTempFileLeftovers("."), left.size());
    for (const std::string& path : left) EXPECT_FALSE(Exists(path)) << path;
    EXPECT_EQ(ReadFile("data/maps/a.map"), "installed map");
    EXPECT_EQ(ReadFile("kvu.txt"), "a game file");
    EXPECT_EQ(ReadFile("data/kvu-notes.tmp.txt"), "another game file");
    EXPECT_EQ(RemoveTempFileLeftovers("."), 0u);
}

// The partial downloads a journal keeps for the next run are no leftovers: the sweep passes
// them by, in any letter case, and removes the rest.
TEST(RemoveTempFileLeftovers, KeepsThePartialsNamedToIt) {
    enginetest::ScratchDir scratch;
    const std::string kept = CreateTempFileBeside("data/movie.bik");
    const std::string stray = CreateTempFileBeside("data/other.bik");
    ASSERT_FALSE(kept.empty());
    ASSERT_FALSE(stray.empty());
    // The name as the journal gives it: ASCII lower case, whatever the case on disk.
    std::string folded = kept.substr(kept.find_last_of("/\\") + 1);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(RemoveTempFileLeftovers(".", {folded}), 1u);
    EXPECT_TRUE(Exists(kept));
    EXPECT_FALSE(Exists(stray));
}

}  // namespace
