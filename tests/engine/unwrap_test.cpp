// Taking a member out of an UpdatePK container held in memory, with damaged and truncated
// containers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/update_codes.h"
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
