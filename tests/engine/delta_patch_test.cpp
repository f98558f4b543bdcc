// Delta patches: made against an old content and applied to it, they give the new content
// back, small when the contents share most bytes; a damaged, truncated or foreign patch, or
// one asking for more than the record allows, is refused with an empty result.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <zstd.h>

#include "engine/delta_patch.h"

namespace {

// Incompressible, deterministic bytes: a patch can only be small by referencing the old content.
std::string NoiseBytes(size_t n, uint32_t seed) {
    std::string out(n, '\0');
    uint32_t x = seed;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 16);
    }
    return out;
}

constexpr size_t kMember = 1 << 20;  // a 1 MiB member
constexpr size_t kLimitMember = kDeltaMaxContentSize - 1;

std::string OneByteChanged() {
    std::string s = NoiseBytes(kMember, 1);
    s[kMember / 2] = static_cast<char>(s[kMember / 2] ^ 0x5A);
    return s;
}

struct RoundTripCase {
    const char* name;
    std::string (*oldContent)();
    std::string (*newContent)();
    size_t maxPatchSize;  // what the patch may cost at most
    int level;
};

const RoundTripCase kRoundTrips[] = {
    {"one_byte_changed", [] { return NoiseBytes(kMember, 1); }, OneByteChanged, 256,
     kDeltaPatchLevel},
    {"insertion_at_start", [] { return NoiseBytes(kMember, 1); },
     [] { return NoiseBytes(1000, 7) + NoiseBytes(kMember, 1); }, 1300, kDeltaPatchLevel},
    {"appended_tail", [] { return NoiseBytes(kMember, 1); },
     [] { return NoiseBytes(kMember, 1) + NoiseBytes(4000, 9); }, 4300, kDeltaPatchLevel},
    // Nothing to reference: the patch is about the new content's own size, and still right.
    {"unrelated_new_content", [] { return NoiseBytes(kMember, 1); },
     [] { return NoiseBytes(kMember, 2); }, kMember + kMember / 100, kDeltaPatchLevel},
    {"empty_old_member", [] { return std::string(); },
     [] { return std::string(5000, 'k'); }, 200, kDeltaPatchLevel},
    {"empty_new_member", [] { return NoiseBytes(kMember, 1); },
     [] { return std::string(); }, 64, kDeltaPatchLevel},
    // The largest member a pack holds, changed at both ends: the window reaches the old start.
    {"member_at_size_limit", [] { return NoiseBytes(kLimitMember, 3); },
     [] {
         std::string s = NoiseBytes(kLimitMember, 3);
         s[0] = 'A';
         s[kLimitMember - 1] = 'Z';
         return s;
     },
     16384, 3},
};

class DeltaRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(DeltaRoundTrip, GivesTheNewContentBackFromASmallPatch) {
    const RoundTripCase& c = GetParam();
    const std::string oldContent = c.oldContent();
    const std::string newContent = c.newContent();
    std::string patch;
    ASSERT_TRUE(MakeDeltaPatch(oldContent.data(), oldContent.size(), newContent.data(),
                               newContent.size(), &patch, c.level));
    EXPECT_LE(patch.size(), c.maxPatchSize);
    std::string result;
    ASSERT_EQ(ApplyDeltaPatch(oldContent.data(), oldContent.size(), patch.data(), patch.size(),
                              newContent.size(), &result),
              DeltaApplyResult::kOk);
    EXPECT_TRUE(result == newContent);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaRoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<RoundTripCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(DeltaMake, RefusesContentBeyondTheMemberLimit) {
    const std::string small(10, 'x');
    const std::string huge(kDeltaMaxContentSize, 'x');
    std::string patch = "stale";
    EXPECT_FALSE(MakeDeltaPatch(small.data(), small.size(), huge.data(), huge.size(), &patch));
    EXPECT_TRUE(patch.empty());
    EXPECT_FALSE(MakeDeltaPatch(huge.data(), huge.size(), small.data(), small.size(), &patch));
}

// A frame of `content` made without any reference and without its size: a forged patch.
std::string FrameWithoutSize(const std::string& content) {
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 0);
    std::string out(ZSTD_compressBound(content.size()), '\0');
    out.resize(ZSTD_compress2(cctx, &out[0], out.size(), content.data(), content.size()));
    ZSTD_freeCCtx(cctx);
    return out;
}

// A hand-made frame announcing `size` bytes of 'q' (RLE blocks) in a window of 2^windowLog
// bytes; a compressor never makes a window larger than the content, a forger may.
std::string FrameWithWindow(int windowLog, uint32_t size) {
    constexpr uint32_t kBlock = 128 * 1024;
    std::string f = "\x28\xB5\x2F\xFD";
    f += static_cast<char>(0x80);  // 4-byte content size, not single segment, no checksum
    f += static_cast<char>((windowLog - 10) << 3);
    for (int i = 0; i < 4; ++i) f += static_cast<char>(size >> (8 * i));
    for (uint32_t done = 0; done < size; done += kBlock) {
        const uint32_t n = size - done < kBlock ? size - done : kBlock;
        const uint32_t header = (n << 3) | (1u << 1) | (done + n == size ? 1u : 0u);  // RLE
        for (int i = 0; i < 3; ++i) f += static_cast<char>(header >> (8 * i));
        f += 'q';
    }
    return f;
}

struct RefusalCase {
    const char* name;
    // Turns a good patch (of kMember bytes of old content, one byte changed) into the bad one.
    std::string (*spoil)(const std::string& good);
    // The result size the record promises (kMember unless the case says otherwise).
    uint64_t resultSize;
    std::string (*oldContent)();
    DeltaApplyResult expected;
};

std::string GoodOld() { return NoiseBytes(kMember, 1); }

const RefusalCase kRefusals[] = {
    {"damaged_byte_in_the_middle",
     [](const std::string& g) {
         std::string s = g;
         s[s.size() / 2] = static_cast<char>(s[s.size() / 2] ^ 0xFF);
         return s;
     },
     kMember, GoodOld, DeltaApplyResult::kDamaged},
    {"truncated", [](const std::string& g) { return g.substr(0, g.size() - 5); }, kMember,
     GoodOld, DeltaApplyResult::kDamaged},
    {"trailing_bytes", [](const std::string& g) { return g + "junk"; }, kMember, GoodOld,
     DeltaApplyResult::kDamaged},
    {"second_frame_after_the_first", [](const std::string& g) { return g + g; }, kMember,
     GoodOld, DeltaApplyResult::kDamaged},
    {"applied_to_other_old_content", [](const std::string& g) { return g; }, kMember,
     [] { return NoiseBytes(kMember, 5); }, DeltaApplyResult::kDamaged},
    {"applied_to_no_old_content", [](const std::string& g) { return g; }, kMember,
     [] { return std::string(); }, DeltaApplyResult::kDamaged},
    {"record_promises_another_size", [](const std::string& g) { return g; }, kMember + 1,
     GoodOld, DeltaApplyResult::kNotAPatch},
    {"record_promises_an_oversized_result", [](const std::string& g) { return g; },
     kDeltaMaxContentSize, GoodOld, DeltaApplyResult::kTooLarge},
    {"empty_patch", [](const std::string&) { return std::string(); }, kMember, GoodOld,
     DeltaApplyResult::kNotAPatch},
    {"not_zstd_at_all", [](const std::string&) { return std::string(64, 'P'); }, kMember,
     GoodOld, DeltaApplyResult::kNotAPatch},
    {"header_only", [](const std::string& g) { return g.substr(0, 4); }, kMember, GoodOld,
     DeltaApplyResult::kNotAPatch},
    {"frame_without_content_size",
     [](const std::string&) { return FrameWithoutSize(std::string(kMember, 'q')); },
     kMember, GoodOld, DeltaApplyResult::kNotAPatch},
    // A window beyond what old and new content together could need: the decoder would
    // otherwise be asked for 2 GiB.
    {"window_beyond_the_limit",
     [](const std::string&) {
         return FrameWithWindow(kDeltaMaxWindowLog + 4, kMember);
     },
     kMember, GoodOld, DeltaApplyResult::kDamaged},
};

class DeltaRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(DeltaRefusal, LeavesNoResult) {
    const RefusalCase& c = GetParam();
    const std::string oldGood = GoodOld();
    const std::string newContent = OneByteChanged();
    std::string good;
    ASSERT_TRUE(MakeDeltaPatch(oldGood.data(), oldGood.size(), newContent.data(),
                               newContent.size(), &good));
    const std::string bad = c.spoil(good);
    const std::string oldContent = c.oldContent();
    std::string result = "stale";
    EXPECT_EQ(ApplyDeltaPatch(oldContent.data(), oldContent.size(), bad.data(), bad.size(),
                              c.resultSize, &result),
              c.expected);
    EXPECT_TRUE(result.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaRefusal, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<RefusalCase>& i) {
                             return std::string(i.param.name);
                         });

// The hand-made frame of the window case, with a window the limit allows, decodes: that
// refusal is the window's, not the forgery's.
TEST(DeltaApply, TakesAHandMadeFrameWithinTheWindowLimit) {
    const std::string frame = FrameWithWindow(kDeltaMaxWindowLog, kMember);
    const std::string oldContent = GoodOld();
    std::string result;
    ASSERT_EQ(ApplyDeltaPatch(oldContent.data(), oldContent.size(), frame.data(), frame.size(),
                              kMember, &result),
              DeltaApplyResult::kOk);
    EXPECT_TRUE(result == std::string(kMember, 'q'));
}

}  // namespace
