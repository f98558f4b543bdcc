// The codec table's own rules: factory, capacities, stored blocks, the Lzma86 header.
#include <gtest/gtest.h>

#include <climits>

#include "pak/codec_lzma86.h"
#include "pak/pak_codec.h"
#include "tests/pak/codec_test_data.h"

namespace {

TEST(PakCodecFactory, OnlyMethodsMinusTwoToTwoExist) {
    const struct {
        const char* name;
        int32_t method;
        bool exists;
    } cases[] = {
        {"lzma", -2, true},        {"zlib", -1, true},      {"stored", 0, true},
        {"lha", 1, true},          {"lzo", 2, true},        {"minus-three", -3, false},
        {"three", 3, false},
        {"int-min", INT_MIN, false}, {"int-max", INT_MAX, false},
    };
    for (const auto& c : cases) {
        CodecPtr codec = MakeCodec(c.method);
        EXPECT_EQ(codec != nullptr, c.exists) << c.name;
        if (codec) {
            EXPECT_EQ(codec->Bound(65536), 65536u + 6553u + 1024u) << c.name;
        }
    }
}

TEST(PakCodecStored, FullBlockIsNotSmallerAndLastBlockKeepsItsLength) {
    CodecPtr codec = MakeCodec(kPakMethodStored);
    const struct {
        const char* name;
        size_t size;
    } cases[] = {{"full-block", 65536}, {"last-block", 1234}};
    for (const auto& c : cases) {
        const Bytes plain = MakeRandom(c.size);
        bool ok = false;
        const Bytes packed = EncodeBlock(*codec, plain, &ok);
        EXPECT_TRUE(ok) << c.name;
        EXPECT_TRUE(packed == plain) << c.name;  // a full block is therefore written plain
    }
}

TEST(PakCodecZlib, RandomFullBlockDoesNotFitAndReportsFailureSize) {
    CodecPtr codec = MakeCodec(kPakMethodZlib);
    Bytes plain = MakeRandom(kPakBlockSize);
    GuardedBuffer packed(kPakPackedCapacity);
    PakCodecJob job{plain.data(), kPakBlockSize, packed.data(), kPakPackedCapacity};
    EXPECT_FALSE(codec->Encode(job));
    EXPECT_EQ(job.packedSize, kPakEncodeFailedSize);
    EXPECT_TRUE(packed.GuardsIntact());
}

// Encode is given less room than its output needs: it must fail with the failure size or
// fit, and never write past the room.
TEST(PakCodecEncode, NeverWritesPastTheCapacity) {
    const int32_t methods[] = {kPakMethodLzma, kPakMethodZlib, kPakMethodStored, kPakMethodLzo};
    const struct {
        const char* name;
        uint32_t capacity;
    } rooms[] = {{"none", 0}, {"one-byte", 1}, {"lzma-header", 14}, {"small", 100}, {"almost", 3999}};
    Bytes plain = MakeX86Code(4000);
    for (const int32_t method : methods) {
        CodecPtr codec = MakeCodec(method);
        for (const auto& room : rooms) {
            SCOPED_TRACE(MethodName(method) + " / " + room.name);
            GuardedBuffer packed(room.capacity);
            PakCodecJob job{plain.data(), static_cast<uint32_t>(plain.size()), packed.data(), room.capacity};
            if (codec->Encode(job)) {
                EXPECT_LE(job.packedSize, room.capacity);
            } else {
                EXPECT_EQ(job.packedSize, kPakEncodeFailedSize);
            }
            EXPECT_TRUE(packed.GuardsIntact());
        }
    }
}

TEST(PakCodecLzo, RandomFullBlockFitsTheWritersCapacityOnly) {
    CodecPtr codec = MakeCodec(kPakMethodLzo);
    Bytes plain = MakeRandom(kPakBlockSize);
    bool ok = false;
    const Bytes packed = EncodeBlock(*codec, plain, &ok);
    ASSERT_TRUE(ok);
    EXPECT_GT(packed.size(), kPakBlockSize);  // larger than a block: the writers store it plain
    EXPECT_EQ(packed[packed.size() - 3], 0x11);  // the end marker
    EXPECT_EQ(packed[packed.size() - 2], 0x00);
    EXPECT_EQ(packed[packed.size() - 1], 0x00);
}

uint64_t LengthField(const Bytes& b) {
    uint64_t v = 0;
    for (int i = 13; i >= 6; --i) v = (v << 8) | b[i];
    return v;
}

TEST(PakCodecLzma, HeaderLayoutByteByByte) {
    const struct {
        const char* name;
        Bytes plain;
        uint8_t filterFlag;
    } cases[] = {
        // Text holds no E8/E9 codes: both codings are the same size and the tie goes to
        // the unfiltered one.
        {"text-1000", MakeText(1000), 0},
        {"x86-code-65536", MakeX86Code(65536), 1},
        {"x86-code-258", MakeX86Code(258), 1},
    };
    CodecPtr codec = MakeCodec(kPakMethodLzma);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes packed = EncodeBlock(*codec, c.plain);
        ASSERT_GT(packed.size(), 14u);
        EXPECT_EQ(packed[0], c.filterFlag);
        EXPECT_EQ(packed[1], 0x5D);  // lc 3, lp 0, pb 2
        EXPECT_EQ(packed[2], 0x00);  // dictionary 65536, little-endian
        EXPECT_EQ(packed[3], 0x00);
        EXPECT_EQ(packed[4], 0x01);
        EXPECT_EQ(packed[5], 0x00);
        EXPECT_EQ(LengthField(packed), c.plain.size());
    }
}

// Blocks coded with a fixed filter choice (as another Lzma86 writer might) decode through
// the codec, whatever the automatic choice would have been.
TEST(PakCodecLzma, EitherFilterChoiceDecodes) {
    const struct {
        const char* name;
        Lzma86Filter filter;
        uint8_t flag;
    } choices[] = {{"forced-x86", Lzma86Filter::X86, 1}, {"forced-none", Lzma86Filter::None, 0}};
    const struct {
        const char* name;
        Bytes plain;
    } kinds[] = {{"text", MakeText(30000)}, {"x86-code", MakeX86Code(65536)}, {"random", MakeRandom(777)}};
    CodecPtr codec = MakeCodec(kPakMethodLzma);
    for (const auto& choice : choices) {
        for (const auto& kind : kinds) {
            SCOPED_TRACE(std::string(choice.name) + " / " + kind.name);
            Bytes packed(kPakPackedCapacity);
            const uint32_t size = Lzma86Encode(kind.plain.data(), static_cast<uint32_t>(kind.plain.size()),
                                               packed.data(), kPakPackedCapacity, choice.filter);
            ASSERT_GT(size, 14u);
            packed.resize(size);
            EXPECT_EQ(packed[0], choice.flag);
            Bytes decoded;
            uint32_t produced = 0;
            ASSERT_TRUE(DecodeBlock(*codec, packed, static_cast<uint32_t>(kind.plain.size()), &decoded, &produced));
            EXPECT_TRUE(decoded == kind.plain);
        }
    }
}

// A header may name any dictionary; the decoder never needs more than the block.
TEST(PakCodecLzma, HugeDictionaryInHeaderStillDecodes) {
    CodecPtr codec = MakeCodec(kPakMethodLzma);
    const Bytes plain = MakeText(5000);
    Bytes packed = EncodeBlock(*codec, plain);
    ASSERT_GT(packed.size(), 14u);
    for (int i = 2; i <= 5; ++i) packed[i] = 0xFF;
    Bytes decoded;
    uint32_t produced = 0;
    ASSERT_TRUE(DecodeBlock(*codec, packed, 5000, &decoded, &produced));
    EXPECT_TRUE(decoded == plain);
}

}  // namespace
