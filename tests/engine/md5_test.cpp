// MD5 digest text: RFC 1321's test suite, inputs at the padding and feeding-piece
// boundaries, and the streaming context fed in uneven pieces.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/md5.h"
#include "engine/md5_context.h"
#include "tests/engine/engine_test_support.h"

namespace {

// Deterministic, irregular bytes: a 32-bit linear congruential sequence, byte = bits 16..23.
// The expected digests below were computed from the same sequence with an independent MD5
// (Python's hashlib).
std::vector<uint8_t> PatternBytes(size_t n) {
    std::vector<uint8_t> out(n);
    uint32_t x = 0x2545F491u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

std::string ContextDigestText(const std::vector<uint8_t>& data, const std::vector<size_t>& pieces) {
    Md5Context context;
    size_t done = 0;
    for (size_t piece = 0; done < data.size(); ++piece) {
        size_t n = pieces[piece % pieces.size()];
        if (n > data.size() - done) n = data.size() - done;
        context.Update(data.data() + done, n);
        done += n;
    }
    uint8_t digest[kMd5DigestBytes];
    context.Finish(digest);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    return text;
}

struct TextCase {
    const char* name;
    const char* message;
    const char* digest;
};

class Md5RfcSuite : public testing::TestWithParam<TextCase> {};

TEST_P(Md5RfcSuite, MatchesPublishedDigest) {
    const TextCase& c = GetParam();
    EXPECT_EQ(Md5Text(c.message, std::strlen(c.message)), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5RfcSuite,
    testing::Values(
        TextCase{"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        TextCase{"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
        TextCase{"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        TextCase{"message_digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        TextCase{"alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        TextCase{"alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                 "d174ab98d277d9f5a5611c2c9f419d9f"},
        TextCase{"eighty_digits",
                 "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
                 "57edf4a22be3c955ac49da2e2107b67a"}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

struct LengthCase {
    const char* name;
    size_t length;
    const char* digest;
};

class Md5LengthSuite : public testing::TestWithParam<LengthCase> {};

TEST_P(Md5LengthSuite, MatchesReferenceDigest) {
    const LengthCase& c = GetParam();
    std::vector<uint8_t> data = PatternBytes(c.length);
    EXPECT_EQ(Md5Text(data.data(), data.size()), c.digest);
}

// Lengths around the 56-byte padding limit, the 64-byte block and the 4096-byte feeding
// piece, and one input of several MiB.
INSTANTIATE_TEST_SUITE_P(
    Boundaries, Md5LengthSuite,
    testing::Values(LengthCase{"one_byte", 1, "03c7c0ace395d80182db07ae2c30f034"},
                    LengthCase{"len55_last_single_block_pad", 55, "21e6468825de303e639d5a3d822dd56a"},
                    LengthCase{"len56_pad_spills", 56, "8cc9a827702a62594d908ed0c4da7412"},
                    LengthCase{"len57", 57, "522bca751984d28bf2e104adda92126c"},
                    LengthCase{"len63", 63, "989e15710f9f7ffc65cfa9a426908d18"},
                    LengthCase{"len64_one_block", 64, "17362aac03591363a6fb990831b3020d"},
                    LengthCase{"len65", 65, "9c4ce78311b803787b978724d6d3f12a"},
                    LengthCase{"len119", 119, "c94301f7c1b9c131c983bce47b8efaa3"},
                    LengthCase{"len120", 120, "44716a30bf05699bec67263e0129c114"},
                    LengthCase{"len128_two_blocks", 128, "18981ba4078456b2e250657fdd3d71ba"},
                    LengthCase{"len4095", 4095, "72ccb19e0974d169d3f1654d8c9cfe04"},
                    LengthCase{"len4096_one_piece", 4096, "42f18911a6c1e2143eb1502ec376766c"},
                    LengthCase{"len4097", 4097, "71da54e75a09d408a482c17483f2256d"},
                    LengthCase{"len8193", 8193, "3daf24770aeb08f7b977646f3ad92ac4"},
                    LengthCase{"three_mib_and_17", 3 * 1024 * 1024 + 17, "34c94ad90e60c407d360b7b146fed15c"}),
    [](const testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

TEST(Md5Text, IsLowercaseHexOfFixedLength) {
    // Every digest digit of 0xff-filled data and the RFC vectors is 0-9 or a-f.
    std::vector<uint8_t> data(1000, 0xFF);
    std::string text = Md5Text(data.data(), data.size());
    ASSERT_EQ(text.size(), kMd5TextLength);
    EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
}

TEST(Md5Text, NullPointerWithZeroLengthIsEmptyMessage) {
    EXPECT_EQ(Md5Text(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
}

struct PieceCase {
    const char* name;
    std::vector<size_t> pieces;
};

class Md5ContextPieces : public testing::TestWithParam<PieceCase> {};

// However the message is split into Update calls, the digest is that of the whole.
TEST_P(Md5ContextPieces, SplitFeedingGivesWholeDigest) {
    const std::vector<uint8_t> data = PatternBytes(8193);
    EXPECT_EQ(ContextDigestText(data, GetParam().pieces), "3daf24770aeb08f7b977646f3ad92ac4");
}

INSTANTIATE_TEST_SUITE_P(
    Splits, Md5ContextPieces,
    testing::Values(PieceCase{"bytewise", {1}}, PieceCase{"odd_pieces", {63, 1, 65, 7}},
                    PieceCase{"block_then_partial", {64, 55, 9}}, PieceCase{"with_empty_updates", {0, 100, 0, 4000}},
                    PieceCase{"partial_then_run_of_blocks", {5, 200}},
                    PieceCase{"buffer_filled_exactly_then_blocks", {60, 4, 192}},
                    PieceCase{"whole", {8193}}),
    [](const testing::TestParamInfo<PieceCase>& info) { return std::string(info.param.name); });

struct OffsetCase {
    const char* name;
    size_t offset;
    size_t length;
    const char* digest;
};

class Md5UnalignedInput : public testing::TestWithParam<OffsetCase> {};

// Whole blocks are read straight from the caller's memory: content that starts at an odd
// address has the same digest as the same content anywhere else.
TEST_P(Md5UnalignedInput, DigestDoesNotDependOnAddress) {
    const OffsetCase& c = GetParam();
    const std::vector<uint8_t> content = PatternBytes(c.length);
    std::vector<uint8_t> shifted(c.offset + c.length, 0xA5);
    std::memcpy(shifted.data() + c.offset, content.data(), content.size());
    EXPECT_EQ(Md5Text(shifted.data() + c.offset, c.length), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, Md5UnalignedInput,
    testing::Values(OffsetCase{"offset1_one_block", 1, 64, "17362aac03591363a6fb990831b3020d"},
                    OffsetCase{"offset3_block_and_byte", 3, 65, "9c4ce78311b803787b978724d6d3f12a"},
                    OffsetCase{"offset2_two_blocks", 2, 128, "18981ba4078456b2e250657fdd3d71ba"},
                    OffsetCase{"offset7_many_blocks", 7, 8193, "3daf24770aeb08f7b977646f3ad92ac4"}),
    [](const testing::TestParamInfo<OffsetCase>& info) { return std::string(info.param.name); });

// A file read in blocks gives the text of its whole content; an unreadable one gives none.
TEST(Md5FileText, MatchesTheTextOfTheWholeContent) {
    enginetest::ScratchDir scratch;
    struct FileCase {
        const char* name;
        size_t size;  // bytes of the file's content
    };
    const FileCase cases[] = {
        {"empty", 0},
        {"below-one-read-block", 70000},
        // Several read blocks with a partial MD5 block at each block's end.
        {"several-read-blocks", 3 * 1024 * 1024 + 17},
    };
    for (const FileCase& c : cases) {
        std::string content(c.size, '\0');
        for (size_t i = 0; i < c.size; ++i) content[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
        enginetest::WriteFile(c.name, content);
        std::string text;
        ASSERT_TRUE(Md5FileText(c.name, &text)) << c.name;
        EXPECT_EQ(text, Md5Text(content.data(), content.size())) << c.name;
    }
    std::string text = "unchanged";
    EXPECT_FALSE(Md5FileText("missing.bin", &text));
    EXPECT_EQ(text, "unchanged");
}

}  // namespace
