// Method 1 coder: blocks of many kinds code and decode back exactly.
#include <gtest/gtest.h>

#include <functional>

#include "pak/lha_codec.h"
#include "pak/lha_coder.h"
#include "tests/pak/lha_test_data.h"

namespace {

using lha_test::Bytes;
using lha_test::kBlock;

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

struct RoundTripCase {
    const char* name;
    std::function<Bytes()> make;
    uint32_t maxPacked;  // 0: no bound checked
};

// Decodes into a buffer with guard bytes behind the wanted length.
Bytes DecodeGuarded(const Bytes& packed, uint32_t wanted, bool& ok) {
    Bytes out(wanted + kGuardBytes, kGuard);
    uint32_t plainLength = wanted;
    ok = LhaDecode(packed.data(), static_cast<uint32_t>(packed.size()), out.data(), &plainLength);
    for (size_t i = wanted; i < out.size(); ++i) EXPECT_EQ(out[i], kGuard) << "guard byte " << i - wanted;
    EXPECT_EQ(plainLength, ok ? wanted : 0u);
    out.resize(wanted);
    return out;
}

const RoundTripCase kRoundTripCases[] = {
    {"one-byte", [] { return Bytes{0x5A}; }, 0},
    {"equal-65536", [] { return lha_test::EqualBytes(kBlock, 'x'); }, 64},
    {"text-65536", [] { return lha_test::Text(kBlock, 1); }, kBlock / 3},
    {"random-65536", [] { return lha_test::RandomBytes(kBlock, 2); }, 0},
    {"random-100", [] { return lha_test::RandomBytes(100, 3); }, 0},
    {"fibonacci-skewed", [] { return lha_test::FibonacciSkewed(kBlock); }, 0},
    {"match-length-2", [] { return lha_test::WithRepeat(4000, 3000, 1000, 2, 4); }, 0},
    {"match-length-3", [] { return lha_test::WithRepeat(4000, 3000, 1000, 3, 5); }, 0},
    {"match-length-256", [] { return lha_test::WithRepeat(4000, 3000, 1000, 256, 6); }, 0},
    {"match-length-257", [] { return lha_test::WithRepeat(4000, 3000, 1000, 257, 7); }, 0},
    {"match-length-1000", [] { return lha_test::WithRepeat(4000, 2000, 1500, 1000, 8); }, 0},
    {"distance-1-run", [] { return lha_test::WithRepeat(4000, 1001, 1, 2000, 9); }, 0},
    {"distance-8191", [] { return lha_test::WithRepeat(20000, 12000, 8191, 300, 10); }, 0},
    {"distance-8192", [] { return lha_test::WithRepeat(20000, 12000, 8192, 300, 11); }, 0},
    {"distance-8193", [] { return lha_test::WithRepeat(20000, 12000, 8193, 300, 12); }, 0},
    {"window-slides-text-200000", [] { return lha_test::Text(200000, 13); }, 0},
    {"all-byte-values", [] {
         Bytes b;
         for (int r = 0; r < 40; ++r)
             for (int v = 0; v < 256; ++v) b.push_back(static_cast<uint8_t>(v * (r + 1)));
         return b;
     }, 0},
};

class LhaRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(LhaRoundTrip, DecodesToTheSameBytes) {
    const Bytes plain = GetParam().make();
    const Bytes packed = lha_test::Encode(plain);
    if (GetParam().maxPacked != 0) {
        EXPECT_LE(packed.size(), GetParam().maxPacked);
    }
    bool ok = false;
    const Bytes back = DecodeGuarded(packed, static_cast<uint32_t>(plain.size()), ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(back == plain);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LhaRoundTrip, ::testing::ValuesIn(kRoundTripCases),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

TEST(LhaEncode, EmptyInputCodesToNothing) {
    uint8_t out[4] = {1, 2, 3, 4};
    uint32_t packedLength = 99;
    EXPECT_TRUE(LhaEncode(nullptr, 0, out, sizeof out, &packedLength));
    EXPECT_EQ(packedLength, 0u);
    EXPECT_EQ(out[0], 1);
    uint32_t plainLength = 0;
    EXPECT_TRUE(LhaDecode(out, 0, nullptr, &plainLength));
    EXPECT_EQ(plainLength, 0u);
}

// One literal: the symbol count 1, a T table naming T symbol 0, an empty C table naming the
// byte, and an empty P table naming P symbol 0; the literal itself then takes no bits.
TEST(LhaEncode, OneByteIsOneLiteralWithSingleSymbolTables) {
    const Bytes expected = lha_test::BitAssembler()
                               .Put(16, 1)
                               .Put(5, 0).Put(5, 0)
                               .Put(9, 0).Put(9, 0x5A)
                               .Put(4, 0).Put(4, 0)
                               .Finish();
    EXPECT_EQ(lha_test::Encode(Bytes{0x5A}), expected);
}

// Symbols beyond 32744 buffered bytes are sent as further blocks of the same coded data.
TEST(LhaEncode, LongIncompressibleBlockIsSentAsSeveralHuffmanBlocks) {
    const Bytes plain = lha_test::RandomBytes(kBlock, 21);
    const Bytes packed = lha_test::Encode(plain);
    const unsigned firstBlockSymbols = (packed[0] << 8) | packed[1];
    EXPECT_LT(firstBlockSymbols, 32744u);
    EXPECT_GT(firstBlockSymbols, 20000u);
}

// The coded form of equal bytes after a first literal is long matches of distance 1.
TEST(LhaEncode, EqualBytesUseLongestMatches) {
    const Bytes packed = lha_test::Encode(lha_test::EqualBytes(kBlock, 0));
    // 1 literal + ceil(65535 / 256) matches
    const unsigned symbols = (packed[0] << 8) | packed[1];
    EXPECT_EQ(symbols, 1u + (kBlock - 1 + 255) / 256);
}

TEST(LhaDecode, ProducesExactlyTheWantedPrefixLength) {
    // A stream decoded with a shorter wanted length stops there and writes nothing beyond.
    const Bytes plain = lha_test::Text(5000, 31);
    const Bytes packed = lha_test::Encode(plain);
    bool ok = false;
    const Bytes head = DecodeGuarded(packed, 1, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(head[0], plain[0]);
}

struct CapacityCase {
    const char* name;
    uint32_t capacity;
};

class LhaEncodeCapacity : public ::testing::TestWithParam<CapacityCase> {};

// Coded data that does not fit the caller's area is abandoned without writing past it, and
// the codec reports a packed size larger than any block so the writers store it plain.
TEST_P(LhaEncodeCapacity, StopsAtTheCapacity) {
    const Bytes plain = lha_test::RandomBytes(kBlock, 41);
    const uint32_t capacity = GetParam().capacity;
    Bytes out(capacity + kGuardBytes, kGuard);
    PakLhaCodec codec;
    PakCodecJob job{const_cast<uint8_t*>(plain.data()), kBlock, out.data(), capacity};
    EXPECT_FALSE(codec.Encode(job));
    EXPECT_EQ(job.packedSize, kPakEncodeFailedSize);
    for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], kGuard) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Capacities, LhaEncodeCapacity,
                         ::testing::Values(CapacityCase{"none", 0}, CapacityCase{"tiny", 3},
                                           CapacityCase{"below_plain", kBlock - 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LhaCodec, EncodesAndDecodesThroughTheJobRecord) {
    const Bytes plain = lha_test::Text(kBlock, 51);
    Bytes packed(kPakPackedCapacity);
    PakCodec* codec = NewLhaCodec();
    ASSERT_NE(codec, nullptr);
    PakCodecJob enc{const_cast<uint8_t*>(plain.data()), kBlock, packed.data(), kPakPackedCapacity};
    ASSERT_TRUE(codec->Encode(enc));
    EXPECT_LT(enc.packedSize, kBlock);
    Bytes back(kBlock);
    PakCodecJob dec{back.data(), kBlock, packed.data(), enc.packedSize};
    ASSERT_TRUE(codec->Decode(dec));
    EXPECT_EQ(dec.plainSize, kBlock);
    EXPECT_TRUE(back == plain);
    delete codec;
}

}  // namespace
