// Every method codes every kind of block and gets it back unchanged.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "pak/pak_codec.h"
#include "tests/pak/codec_test_data.h"

namespace {

struct BlockKind {
    const char* name;
    std::function<Bytes()> make;
    // Methods that code into one block's room (zlib, LZMA) cannot fit it: Encode fails.
    bool incompressibleFullBlock;
};

const BlockKind kBlockKinds[] = {
    {"empty", [] { return Bytes(); }, false},
    {"one-byte", [] { return Bytes{0x41}; }, false},
    {"13-bytes", [] { return MakeText(13); }, false},
    {"14-bytes", [] { return MakeText(14); }, false},
    {"text-20000", [] { return MakeText(20000); }, false},
    {"text-65535", [] { return MakeText(65535); }, false},
    {"text-65536", [] { return MakeText(65536); }, false},
    {"x86-code-65536", [] { return MakeX86Code(65536); }, false},
    {"x86-code-4099", [] { return MakeX86Code(4099); }, false},
    {"random-1000", [] { return MakeRandom(1000); }, false},
    {"random-65535", [] { return MakeRandom(65535); }, true},
    {"random-65536", [] { return MakeRandom(65536); }, true},
    {"zeros-65536", [] { return MakeZeros(65536); }, false},
};

const int32_t kMethods[] = {kPakMethodLzma, kPakMethodZlib, kPakMethodStored, kPakMethodLha, kPakMethodLzo};

bool FitsOnlyOneBlock(int32_t method) { return method == kPakMethodZlib || method == kPakMethodLzma; }

TEST(PakCodecRoundTrip, EveryMethodEveryBlockKind) {
    for (const int32_t method : kMethods) {
        CodecPtr codec = MakeCodec(method);
        ASSERT_TRUE(codec) << MethodName(method);
        for (const BlockKind& kind : kBlockKinds) {
            SCOPED_TRACE(MethodName(method) + " / " + kind.name);
            const Bytes plain = kind.make();
            bool encoded = false;
            const Bytes packed = EncodeBlock(*codec, plain, &encoded);
            if (kind.incompressibleFullBlock && FitsOnlyOneBlock(method)) {
                EXPECT_FALSE(encoded);
                continue;
            }
            ASSERT_TRUE(encoded);
            Bytes decoded;
            uint32_t produced = 0;
            ASSERT_TRUE(DecodeBlock(*codec, packed, static_cast<uint32_t>(plain.size()), &decoded, &produced));
            EXPECT_EQ(produced, plain.size());
            EXPECT_TRUE(decoded == plain);
        }
    }
}

// The pack reader passes a whole block's room for a short last block; the block must still
// come back at its own length.
TEST(PakCodecRoundTrip, ShortBlockIntoFullBlockRoom) {
    const Bytes plain = MakeText(3000);
    for (const int32_t method : kMethods) {
        if (method == kPakMethodLha) continue;  // decodes until the room is full, by design
        CodecPtr codec = MakeCodec(method);
        ASSERT_TRUE(codec) << MethodName(method);
        SCOPED_TRACE(MethodName(method));
        const Bytes packed = EncodeBlock(*codec, plain);
        Bytes decoded;
        uint32_t produced = 0;
        ASSERT_TRUE(DecodeBlock(*codec, packed, kPakBlockSize, &decoded, &produced));
        EXPECT_EQ(produced, plain.size());
        EXPECT_TRUE(decoded == plain);
    }
}

}  // namespace
