// Code-length building and decoding tables of the method 1 coder.
#include <gtest/gtest.h>

#include <vector>

#include "pak/lha_format.h"
#include "pak/lha_huffman.h"

namespace {

// Kraft sum in units of 2^-16: a complete prefix code gives exactly 65536.
uint32_t KraftSum(const std::vector<uint8_t>& lengths) {
    uint32_t sum = 0;
    for (uint8_t len : lengths)
        if (len != 0) sum += 1u << (16 - len);
    return sum;
}

struct LengthCase {
    const char* name;
    std::vector<uint32_t> freq;
};

std::vector<uint32_t> Fibonacci(unsigned n) {
    std::vector<uint32_t> f(n);
    f[0] = f[1] = 1;
    for (unsigned i = 2; i < n; ++i) f[i] = f[i - 1] + f[i - 2];
    return f;
}

std::vector<uint32_t> Spread(unsigned n, unsigned used) {
    std::vector<uint32_t> f(n, 0);
    for (unsigned i = 0; i < used; ++i) f[(i * 37) % n] = 1 + (i * i) % 50;
    return f;
}

class LhaCodeLengths : public ::testing::TestWithParam<LengthCase> {};

// Lengths never exceed 16, form a complete code, and a more frequent symbol never gets a
// longer code than a rarer one.
TEST_P(LhaCodeLengths, AreCompleteLimitedAndOrderedByFrequency) {
    const auto& freq = GetParam().freq;
    const unsigned n = static_cast<unsigned>(freq.size());
    std::vector<uint8_t> len(n, 99);
    const unsigned used = lha::BuildCodeLengths(freq.data(), n, len.data());
    ASSERT_GE(used, 2u);
    EXPECT_EQ(KraftSum(len), 65536u);
    for (unsigned a = 0; a < n; ++a) {
        EXPECT_LE(len[a], lha::kMaxCodeLength);
        EXPECT_EQ(len[a] == 0, freq[a] == 0) << "symbol " << a;
        for (unsigned b = 0; b < n; ++b)
            if (freq[a] != 0 && freq[b] != 0 && freq[a] > freq[b]) {
                EXPECT_LE(len[a], len[b]);
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Frequencies, LhaCodeLengths,
                         ::testing::Values(LengthCase{"two_symbols", {5, 0, 0, 1}},
                                           LengthCase{"fibonacci_30_needs_limit", Fibonacci(30)},
                                           LengthCase{"equal_510", std::vector<uint32_t>(lha::kNC, 3)},
                                           LengthCase{"sparse_c_alphabet", Spread(lha::kNC, 40)},
                                           LengthCase{"p_alphabet_all", Fibonacci(lha::kNP)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LhaCodeLengths, FewerThanTwoSymbolsLeaveEveryLengthZero) {
    const uint32_t one[4] = {0, 0, 9, 0};
    uint8_t len[4] = {7, 7, 7, 7};
    EXPECT_EQ(lha::BuildCodeLengths(one, 4, len), 1u);
    EXPECT_EQ(lha::LoneSymbol(one, 4), 2u);
    for (uint8_t l : len) EXPECT_EQ(l, 0);
    const uint32_t none[4] = {};
    EXPECT_EQ(lha::LoneSymbol(none, 4), 0u);
}

// Canonical assignment: shorter codes first, ascending symbols within one length.
TEST(LhaCanonicalCodes, FollowLengthThenSymbolOrder) {
    const uint8_t len[6] = {3, 2, 0, 3, 2, 2};
    uint16_t code[6];
    lha::MakeCanonicalCodes(len, 6, code);
    EXPECT_EQ(code[1], 0b00);
    EXPECT_EQ(code[4], 0b01);
    EXPECT_EQ(code[5], 0b10);
    EXPECT_EQ(code[0], 0b110);
    EXPECT_EQ(code[3], 0b111);
}

struct TableCase {
    const char* name;
    std::vector<uint8_t> lengths;
    bool accepted;
};

class LhaDecodeTableBuild : public ::testing::TestWithParam<TableCase> {};

// Tables are built only from complete prefix codes; every code of an accepted table leads
// back to its symbol, through the overflow tree for codes longer than the table.
TEST_P(LhaDecodeTableBuild, AcceptsOnlyCompleteCodes) {
    const auto& lengths = GetParam().lengths;
    const unsigned n = static_cast<unsigned>(lengths.size());
    constexpr unsigned kBits = 4;
    std::vector<uint16_t> table(1u << kBits), left(2 * n), right(2 * n);
    const lha::DecodeTable t{table.data(), kBits, left.data(), right.data(), 2 * n};
    ASSERT_EQ(lha::BuildDecodeTable(lengths.data(), n, t), GetParam().accepted);
    if (!GetParam().accepted) return;
    std::vector<uint16_t> codes(n);
    lha::MakeCanonicalCodes(lengths.data(), n, codes.data());
    for (unsigned s = 0; s < n; ++s) {
        if (lengths[s] == 0) continue;
        const unsigned bits = static_cast<unsigned>(codes[s]) << (16 - lengths[s]);
        unsigned got = table[bits >> (16 - kBits)];
        for (int bit = 15 - static_cast<int>(kBits); got >= n; --bit) {
            ASSERT_GE(bit, 0);
            got = (bits >> bit) & 1 ? right[got] : left[got];
        }
        EXPECT_EQ(got, s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LhaDecodeTableBuild,
    ::testing::Values(TableCase{"good_short", {1, 2, 3, 3}, true},
                      TableCase{"good_beyond_table_bits", {1, 2, 3, 4, 5, 6, 7, 7}, true},
                      TableCase{"good_sixteen_bits", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16}, true},
                      TableCase{"bad_incomplete", {1, 2, 3}, false},
                      TableCase{"bad_oversubscribed", {1, 1, 2}, false},
                      TableCase{"bad_all_zero", {0, 0, 0}, false},
                      TableCase{"bad_single_code", {0, 1, 0}, false},
                      TableCase{"bad_length_17", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 17}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
