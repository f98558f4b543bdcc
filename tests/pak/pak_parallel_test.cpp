// Blocks of new pack content coded on several threads: the coder hands every block back in
// the order given and stops cleanly when its taker refuses one, and packs written and
// rebuilt with any number of threads are byte for byte those written with one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pak/pak_block_coder.h"
#include "pak/pak_codec.h"
#include "pak/pak_coding_threads.h"
#include "pak/pak_make.h"
#include "pak/pak_updater.h"
#include "tests/pak/pak_test_util.h"

namespace {

// Sets the coding threads for one test and goes back to one per core afterwards.
class CodingThreads {
public:
    explicit CodingThreads(unsigned threads) { SetPakCodingThreads(threads); }
    ~CodingThreads() { SetPakCodingThreads(0); }
};

// Records the blocks it takes; refuses the block numbered `refuseAt` (counting from 0).
class RecordingSink : public PakBlockSink {
public:
    explicit RecordingSink(int32_t method, size_t refuseAt = SIZE_MAX) : codec_(CreatePakCodec(method)), refuseAt_(refuseAt) {}
    ~RecordingSink() { DestroyPakCodec(codec_, 0); }
    bool TakeBlock(PakCodedBlock& block) override {
        if (taken.size() == refuseAt_) {
            refused = true;
            return false;
        }
        // What a reader gets back: the coded bytes decoded, or the plain ones.
        PakBytes back(block.plain, block.plain + block.plainSize);
        if (block.coded) {
            PakBytes packed(block.packed, block.packed + block.packedSize);
            PakCodecJob job{back.data(), block.plainSize, packed.data(), block.packedSize};
            if (!codec_->Decode(job)) back.clear();
        }
        taken.push_back(Taken{block.place, back});
        return true;
    }
    struct Taken {
        PakBlockPlace place;
        PakBytes content;
    };
    std::vector<Taken> taken;
    bool refused = false;

private:
    PakCodec* codec_;
    size_t refuseAt_;
};

// Blocks of every kind: full and short, compressible and not, one byte.
std::vector<PakBytes> SampleBlocks(size_t count) {
    std::vector<PakBytes> blocks;
    for (size_t i = 0; i < count; ++i) {
        const size_t size = i % 5 == 4 ? 1 + i * 997 % kPakBlockSize : kPakBlockSize;
        blocks.push_back(i % 3 == 1 ? RandomBytes(size, static_cast<uint32_t>(i)) : TextBytes(size, static_cast<uint32_t>(i)));
    }
    return blocks;
}

struct CoderCase {
    const char* name;
    unsigned threads;
    size_t blocks;
    size_t refuseAt;  // SIZE_MAX: the sink takes every block
};

class PakBlockCoderTest : public ::testing::TestWithParam<CoderCase> {};

TEST_P(PakBlockCoderTest, HandsBlocksBackInOrderAndStopsWhenRefused) {
    const CoderCase& c = GetParam();
    const std::vector<PakBytes> blocks = SampleBlocks(c.blocks);
    RecordingSink sink(kPakMethodZlib, c.refuseAt);
    bool allSubmitted = true;
    bool drained = false;
    {
        PakBlockCoder coder(kPakMethodZlib, sink, c.threads);
        ASSERT_TRUE(coder.Ready());
        EXPECT_LE(coder.Threads(), c.threads);
        for (size_t i = 0; i < blocks.size() && allSubmitted; ++i) {
            uint8_t* plain = coder.NextPlain();
            allSubmitted = plain != nullptr;
            if (!allSubmitted) break;
            std::copy(blocks[i].begin(), blocks[i].end(), plain);
            const PakBlockPlace place{static_cast<uint32_t>(i / 4), 0, static_cast<uint32_t>(i % 4), 4};
            allSubmitted = coder.Submit(static_cast<uint32_t>(blocks[i].size()), place);
        }
        drained = coder.Drain();
        if (c.refuseAt != SIZE_MAX) {
            // A stopped coder takes nothing more.
            EXPECT_EQ(coder.NextPlain(), nullptr);
            EXPECT_FALSE(coder.Submit(1, PakBlockPlace{}));
        }
    }
    const size_t expectTaken = std::min(c.refuseAt, blocks.size());
    EXPECT_EQ(drained, c.refuseAt == SIZE_MAX);
    EXPECT_EQ(allSubmitted || c.refuseAt != SIZE_MAX, true);
    EXPECT_EQ(sink.refused, c.refuseAt != SIZE_MAX);
    ASSERT_EQ(sink.taken.size(), expectTaken);
    for (size_t i = 0; i < expectTaken; ++i) {
        EXPECT_EQ(sink.taken[i].place.entry, i / 4) << i;
        EXPECT_EQ(sink.taken[i].place.block, i % 4) << i;
        EXPECT_TRUE(sink.taken[i].content == blocks[i]) << "block " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PakBlockCoderTest,
    ::testing::Values(CoderCase{"one_thread_codes_in_place", 1, 9, SIZE_MAX},
                      CoderCase{"two_threads_more_blocks_than_areas", 2, 30, SIZE_MAX},
                      CoderCase{"eight_threads_fewer_blocks_than_areas", 8, 5, SIZE_MAX},
                      CoderCase{"nothing_submitted", 4, 0, SIZE_MAX},
                      CoderCase{"refused_first_block_one_thread", 1, 6, 0},
                      CoderCase{"refused_midway_with_blocks_in_flight", 3, 40, 7},
                      CoderCase{"refused_last_block", 2, 10, 9}),
    [](const auto& info) { return std::string(info.param.name); });

// The threads wanted are clamped to 1..8; 0 is one per core.
TEST(PakCodingThreadsTest, CountIsClamped) {
    struct {
        const char* name;
        unsigned set;
        unsigned low;
        unsigned high;
    } const cases[] = {
        {"one", 1, 1, 1}, {"three", 3, 3, 3}, {"above-eight", 64, 8, 8}, {"per-core", 0, 1, 8},
    };
    for (const auto& c : cases) {
        CodingThreads threads(c.set);
        EXPECT_GE(PakCodingThreads(), c.low) << c.name;
        EXPECT_LE(PakCodingThreads(), c.high) << c.name;
    }
}

// ---------------------------------------------------------------------------------------
// Whole packs: every method, one thread against several.

constexpr unsigned kThreadCounts[] = {2, 3, 8};

class PakParallelPackTest : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        if (!PakMethodAvailable(GetParam())) GTEST_SKIP() << "no codec for this method in this build";
        ASSERT_TRUE(scratch_.ok());
    }
    // Files whose blocks shrink and whose blocks do not, short last blocks, an empty file and
    // a one-byte one; more blocks in all than one thread's areas hold.
    static std::vector<HandEntry> Files() {
        PakBytes mixed = TextBytes(2 * kPakBlockSize, 31);
        const PakBytes noise = RandomBytes(kPakBlockSize + 4000, 32);
        mixed.insert(mixed.end(), noise.begin(), noise.end());
        return {{"text.txt", TextBytes(5 * kPakBlockSize + 100, 33)},
                {"noise.bin", RandomBytes(3 * kPakBlockSize + 7, 34)},
                {"empty.dat", {}},
                {"one.dat", {'x'}},
                {"mixed.bin", mixed},
                {"long.txt", TextBytes(6 * kPakBlockSize, 35)}};
    }
    PakBytes Make(unsigned threads) {
        CodingThreads set(threads);
        std::string list = ".\r\n";
        for (const HandEntry& file : Files()) {
            if (!WriteBytes(file.name, file.content)) return {};
            list += file.name + "\r\n";
        }
        PakMake make;
        if (!WriteText("list.txt", list) || make.Make("list.txt", "made.pak", GetParam()) != 1) return {};
        return ReadBytes("made.pak");
    }
    // Rebuilds a copy of `base` with replacements of every kind.
    PakBytes Rebuild(const PakBytes& base, unsigned threads) {
        CodingThreads set(threads);
        if (!WriteBytes("patch.dat", base)) return {};
        PakUpdater updater;
        if (updater.OpenOrCreate("patch.dat", 0) != 1) return {};
        const PakBytes changed = TextBytes(4 * kPakBlockSize + 9, 41);
        const PakBytes noise = RandomBytes(2 * kPakBlockSize, 42);
        const PakBytes added = TextBytes(7 * kPakBlockSize + 5, 43);
        updater.AddBuffer("text.txt", changed.data(), static_cast<uint32_t>(changed.size()));
        updater.AddBuffer("data/noise2.bin", noise.data(), static_cast<uint32_t>(noise.size()));
        updater.AddBuffer("new-empty.dat", nullptr, 0);
        updater.AddBuffer("data/added.txt", added.data(), static_cast<uint32_t>(added.size()));
        updater.AddBuffer("one.dat", "y", 1);
        if (updater.Rebuild() != 1) return {};
        return ReadBytes("patch.dat");
    }
    PakScratchDir scratch_;
    BoxesAndLog boxes_;
    StatusLines status_;
};

TEST_P(PakParallelPackTest, MadeAndRebuiltPacksMatchOneThreadByteForByte) {
    const PakBytes made = Make(1);
    ASSERT_FALSE(made.empty());
    const PakBytes rebuilt = Rebuild(made, 1);
    ASSERT_FALSE(rebuilt.empty());
    for (unsigned threads : kThreadCounts) {
        EXPECT_TRUE(Make(threads) == made) << "made with " << threads << " threads";
        EXPECT_TRUE(Rebuild(made, threads) == rebuilt) << "rebuilt with " << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, PakParallelPackTest, ::testing::ValuesIn(kAllPakMethods),
                         [](const auto& info) { return MethodName(info.param); });

}  // namespace
