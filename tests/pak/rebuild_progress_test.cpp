// How far a pack rebuild is: the throttle that keeps the reports few, and a real rebuild
// reporting through the status line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pak/pak_codec.h"
#include "pak/pak_texts.h"
#include "pak/pak_updater.h"
#include "pak/rebuild_progress.h"
#include "tests/pak/pak_test_util.h"

namespace {

// A clock the test moves by hand.
uint32_t g_nowMs = 0;
uint32_t FakeNow() { return g_nowMs; }

// A clock that jumps a second each time it is read, so no report is held back by time.
uint32_t g_tickingMs = 0;
uint32_t TickingNow() { return g_tickingMs += 1000; }

class RecordedPercents : public RebuildProgress {
public:
    void OnPercent(int percent) override { seen.push_back(percent); }
    std::vector<int> seen;
};

// One step of a throttle case: advance the clock by `ms`, then the bytes by `bytes`.
struct Step {
    uint32_t ms;
    uint64_t bytes;
};

struct ThrottleCase {
    const char* name;
    uint64_t total;
    std::vector<Step> steps;
    std::vector<int> expected;  // every report, Start's and Finish's included
};

class RebuildThrottleTest : public ::testing::TestWithParam<ThrottleCase> {};

TEST_P(RebuildThrottleTest, ReportsOnlyWhatIsDue) {
    const ThrottleCase& c = GetParam();
    g_nowMs = 5000;
    RecordedPercents out;
    RebuildProgressThrottle throttle(&out, FakeNow);
    throttle.Start(c.total);
    for (const Step& step : c.steps) {
        g_nowMs += step.ms;
        throttle.Advance(step.bytes);
    }
    throttle.Finish();
    EXPECT_EQ(out.seen, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RebuildThrottleTest,
    ::testing::Values(
        ThrottleCase{"each_whole_percent_once", 200, {{300, 1}, {300, 1}, {300, 2}, {300, 2}}, {0, 1, 2, 3, 100}},
        ThrottleCase{"too_soon_is_held_back", 100, {{100, 10}, {100, 10}, {100, 10}, {300, 0}}, {0, 30, 100}},
        ThrottleCase{"same_percent_not_repeated", 1000, {{300, 5}, {300, 5}, {300, 5}}, {0, 1, 100}},
        ThrottleCase{"gap_counts_from_last_report", 100, {{300, 10}, {200, 10}, {100, 10}}, {0, 10, 30, 100}},
        ThrottleCase{"full_before_finish_waits_for_finish", 100, {{300, 100}}, {0, 100}},
        ThrottleCase{"more_than_total_stays_at_finish", 100, {{300, 50}, {300, 500}}, {0, 50, 100}},
        ThrottleCase{"zero_bytes_start_and_finish", 0, {{300, 0}}, {0, 100}},
        ThrottleCase{"nothing_advanced", 100, {}, {0, 100}}),
    [](const ::testing::TestParamInfo<ThrottleCase>& info) { return std::string(info.param.name); });

TEST(RebuildThrottle, NoReceiverDoesNothing) {
    RebuildProgressThrottle throttle(nullptr, FakeNow);
    throttle.Start(100);
    throttle.Advance(50);
    throttle.Finish();  // must not crash
}

std::string PercentLine(int percent) { return std::string(kRebuildTextRebuilding) + " " + std::to_string(percent) + "%"; }

// A real rebuild through the pack library: the plain line first, then percentages that
// only grow, from 0 to 100.
TEST(RebuildProgressPack, StatusLineCountsUpToAHundred) {
    PakScratchDir scratch;
    ASSERT_TRUE(scratch.ok());
    const std::vector<HandEntry> entries{{"kept-a.bin", RandomBytes(300000, 1)},
                                         {"kept-b.txt", TextBytes(200000, 2)},
                                         {"replaced.txt", TextBytes(1000, 3)}};
    ASSERT_TRUE(WriteBytes("patch.dat", BuildHandPack(kPakMethodStored, entries).bytes));
    const PakBytes replacement = TextBytes(400000, 4);

    StatusLines status;
    StatusRebuildProgress progress;
    PakUpdater updater;
    g_tickingMs = 0;
    updater.SetRebuildProgress(&progress, TickingNow);
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(updater.AddBuffer("replaced.txt", replacement.data(), static_cast<uint32_t>(replacement.size())), 1);
    ASSERT_EQ(updater.Rebuild(), 1);

    const std::vector<std::string>& lines = StatusLines::Lines();
    ASSERT_GE(lines.size(), 4u) << "the plain line, 0%, something between and 100%";
    EXPECT_EQ(lines.front(), kRebuildTextRebuilding);
    EXPECT_EQ(lines[1], PercentLine(0));
    EXPECT_EQ(lines.back(), PercentLine(100));
    const std::string prefix = std::string(kRebuildTextRebuilding) + " ";
    int previous = -1;
    for (size_t i = 1; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].compare(0, prefix.size(), prefix), 0) << lines[i];
        const int percent = std::stoi(lines[i].substr(prefix.size()));
        EXPECT_GT(percent, previous) << lines[i];
        previous = percent;
    }
}

}  // namespace
