// Damaged, truncated and oversized blocks: every decoder refuses them (false, plain size 0)
// without writing outside the plain capacity or reading past the packed bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pak/pak_codec.h"
#include "tests/pak/codec_test_data.h"

namespace {

constexpr uint32_t kPlainSize = 20000;

// Methods whose streams carry their own end, so damage at the end is detectable.
const int32_t kStreamMethods[] = {kPakMethodLzma, kPakMethodZlib, kPakMethodLzo};

struct Good {
    Bytes plain = MakeX86Code(kPlainSize);
    Bytes packed;
};

Good GoodBlock(PakCodec& codec) {
    Good g;
    g.packed = EncodeBlock(codec, g.plain);
    return g;
}

void ExpectRefused(PakCodec& codec, const Bytes& packed, uint32_t capacity, const std::string& what) {
    uint32_t produced = 1;
    EXPECT_FALSE(DecodeBlock(codec, packed, capacity, nullptr, &produced)) << what;
    EXPECT_EQ(produced, 0u) << what;
}

TEST(PakCodecHostile, TruncatedAtEveryLength) {
    for (const int32_t method : kStreamMethods) {
        CodecPtr codec = MakeCodec(method);
        const Good g = GoodBlock(*codec);
        ASSERT_FALSE(g.packed.empty()) << MethodName(method);
        for (size_t len = 0; len < g.packed.size(); ++len) {
            ExpectRefused(*codec, Bytes(g.packed.begin(), g.packed.begin() + len), kPlainSize,
                          MethodName(method) + " cut to " + std::to_string(len));
        }
    }
}

TEST(PakCodecHostile, TrailingBytesAndSmallRoom) {
    for (const int32_t method : kStreamMethods) {
        CodecPtr codec = MakeCodec(method);
        const Good g = GoodBlock(*codec);
        const std::string name = MethodName(method);
        Bytes oneMore = g.packed;
        oneMore.push_back(0);
        Bytes garbage = g.packed;
        const Bytes tail = MakeRandom(16, 5);
        garbage.insert(garbage.end(), tail.begin(), tail.end());
        const struct {
            const char* name;
            Bytes packed;
            uint32_t capacity;
        } cases[] = {
            {"one-zero-byte-appended", oneMore, kPlainSize},
            {"random-tail-appended", garbage, kPlainSize},
            {"room-one-byte-short", g.packed, kPlainSize - 1},
            {"room-half", g.packed, kPlainSize / 2},
            {"no-room", g.packed, 0},
        };
        for (const auto& c : cases) ExpectRefused(*codec, c.packed, c.capacity, name + " " + c.name);
    }
}

TEST(PakCodecHostile, GarbageInput) {
    const struct {
        const char* name;
        Bytes packed;
    } cases[] = {
        {"one-byte", Bytes{0x00}},
        {"three-ff", Bytes(3, 0xFF)},
        {"zeros-14", MakeZeros(14)},
        {"zeros-5000", MakeZeros(5000)},
        {"random-100", MakeRandom(100, 3)},
        {"random-5000", MakeRandom(5000, 4)},
    };
    for (const int32_t method : kStreamMethods) {
        CodecPtr codec = MakeCodec(method);
        for (const auto& c : cases) ExpectRefused(*codec, c.packed, kPakBlockSize, MethodName(method) + " " + c.name);
    }
}

// Without a checksum a flipped bit may still decode to other bytes of the same length; it
// must never crash, overrun or report success with a wrong length. zlib's Adler-32 and
// header check catch every single flip.
TEST(PakCodecHostile, BitFlips) {
    for (const int32_t method : kStreamMethods) {
        CodecPtr codec = MakeCodec(method);
        const Good g = GoodBlock(*codec);
        const size_t step = g.packed.size() / 400 + 1;
        for (size_t pos = 0; pos < g.packed.size(); pos += step) {
            Bytes damaged = g.packed;
            damaged[pos] ^= static_cast<uint8_t>(1u << (pos % 8));
            const std::string what = MethodName(method) + " flip at " + std::to_string(pos);
            uint32_t produced = 0;
            Bytes decoded;
            if (DecodeBlock(*codec, damaged, kPlainSize, &decoded, &produced)) {
                EXPECT_NE(method, kPakMethodZlib) << what;
                EXPECT_NE(produced, 0u) << what;
            } else {
                EXPECT_EQ(produced, 0u) << what;
            }
        }
    }
}

TEST(PakCodecHostile, EmptyBlockIntoNoRoom) {
    // The smallest valid blocks decode into no room at all.
    for (const int32_t method : kStreamMethods) {
        CodecPtr codec = MakeCodec(method);
        const Bytes packed = EncodeBlock(*codec, Bytes());
        uint32_t produced = 1;
        EXPECT_TRUE(DecodeBlock(*codec, packed, 0, nullptr, &produced)) << MethodName(method);
        EXPECT_EQ(produced, 0u) << MethodName(method);
    }
}

void PutLength(Bytes& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[6 + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(PakCodecHostile, LzmaHeader) {
    CodecPtr codec = MakeCodec(kPakMethodLzma);
    const Good g = GoodBlock(*codec);
    ASSERT_EQ(g.packed[0], 1);  // the sample takes the x86 filter
    auto with = [&](auto change) {
        Bytes b = g.packed;
        change(b);
        return b;
    };
    const struct {
        const char* name;
        Bytes packed;
        uint32_t capacity;
    } cases[] = {
        {"filter-flag-2", with([](Bytes& b) { b[0] = 2; }), kPlainSize},
        {"filter-flag-ff", with([](Bytes& b) { b[0] = 0xFF; }), kPlainSize},
        {"properties-lc-lp-pb-225", with([](Bytes& b) { b[1] = 225; }), kPlainSize},
        {"length-beyond-room", with([](Bytes& b) { PutLength(b, kPlainSize + 1); }), kPlainSize},
        {"length-2-pow-63", with([](Bytes& b) { PutLength(b, 1ull << 63); }), kPlainSize},
        {"length-one-short", with([](Bytes& b) { PutLength(b, kPlainSize - 1); }), kPlainSize},
        {"length-one-long", with([](Bytes& b) { PutLength(b, kPlainSize + 1); }), kPlainSize + 1},
        {"header-only", Bytes(g.packed.begin(), g.packed.begin() + 14), kPlainSize},
    };
    for (const auto& c : cases) ExpectRefused(*codec, c.packed, c.capacity, c.name);
}

#ifndef _WIN32
// On POSIX the debugger output goes to stderr while KVO_DEBUG_OUTPUT is set.
TEST(PakCodecLzma, RefusedBlockIsReportedToTheDebugger) {
    CodecPtr codec = MakeCodec(kPakMethodLzma);
    const Good g = GoodBlock(*codec);
    Bytes cut(g.packed.begin(), g.packed.end() - 1);
    const struct {
        const char* name;
        Bytes packed;
        const char* output;
    } cases[] = {{"good-block", g.packed, ""}, {"cut-block", cut, "lzma decode failure\r\n"}};
    const char* previous = std::getenv("KVO_DEBUG_OUTPUT");
    const std::string saved = previous ? previous : "";
    setenv("KVO_DEBUG_OUTPUT", "1", 1);
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        DecodeBlock(*codec, c.packed, kPlainSize, nullptr, nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.output) << c.name;
    }
    if (previous) {
        setenv("KVO_DEBUG_OUTPUT", saved.c_str(), 1);
    } else {
        unsetenv("KVO_DEBUG_OUTPUT");
    }
}
#endif

// A stored block is its plain bytes: it may be shorter than the room (a last block) but
// never longer.
TEST(PakCodecHostile, StoredBlockLongerThanRoom) {
    CodecPtr codec = MakeCodec(kPakMethodStored);
    const Bytes block = MakeRandom(500);
    const struct {
        const char* name;
        uint32_t capacity;
        bool accepted;
    } cases[] = {{"exact-room", 500, true}, {"more-room", 65536, true}, {"one-short", 499, false}, {"no-room", 0, false}};
    for (const auto& c : cases) {
        uint32_t produced = 0;
        Bytes decoded;
        EXPECT_EQ(DecodeBlock(*codec, block, c.capacity, &decoded, &produced), c.accepted) << c.name;
        EXPECT_EQ(produced, c.accepted ? 500u : 0u) << c.name;
        if (c.accepted) {
            EXPECT_TRUE(decoded == block) << c.name;
        }
    }
}

}  // namespace
