// The download limit on a simulated clock: the rate kept over ten seconds, shared by two
// connections, no burst after a pause, and a slow server never held back further.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "net/rate_limit.h"

namespace {

class SimulatedClock : public RateClock {
public:
    uint32_t NowMs() override { return now; }
    void SleepMs(uint32_t ms) override { now += ms; }
    uint32_t now = 1000;
};

// Readers that take Chunk() bytes a read, each read lasting `readMs`, in turn on one limit,
// for `durationMs` of simulated time; the bytes they took together.
uint64_t ReadFor(RateLimit& limit, SimulatedClock& clock, uint32_t durationMs, int readers, uint32_t readMs) {
    std::vector<uint32_t> readyAt(static_cast<size_t>(readers), clock.now);
    const uint32_t end = clock.now + durationMs;
    uint64_t total = 0;
    for (;;) {
        // The reader whose next read comes first.
        auto next = std::min_element(readyAt.begin(), readyAt.end());
        if (*next >= end) break;
        clock.now = std::max(clock.now, *next);
        clock.now += readMs;
        const uint32_t bytes = limit.Chunk();
        total += bytes;
        *next = clock.now + limit.Take(bytes);
    }
    clock.now = end;
    return total;
}

struct RateCase {
    const char* name;
    uint64_t bytesPerSecond;
    int readers;
    uint32_t readMs;
};

TEST(RateLimit, TheRateOverTenSecondsStaysWithinTenPercent) {
    const std::vector<RateCase> cases = {
        {"64-KB/s", 64 * 1024, 1, 0},
        {"1-MB/s", 1024 * 1024, 1, 1},
        {"10-MB/s", 10 * 1024 * 1024, 1, 2},
        {"two-connections-share-64-KB/s", 64 * 1024, 2, 0},
        {"four-connections-share-10-MB/s", 10 * 1024 * 1024, 4, 3},
    };
    for (const RateCase& c : cases) {
        SimulatedClock clock;
        RateLimit limit(c.bytesPerSecond, clock);
        const uint64_t taken = ReadFor(limit, clock, 10000, c.readers, c.readMs);
        const double rate = static_cast<double>(taken) / 10.0;
        EXPECT_GE(rate, 0.9 * static_cast<double>(c.bytesPerSecond)) << c.name;
        EXPECT_LE(rate, 1.1 * static_cast<double>(c.bytesPerSecond)) << c.name;
    }
}

// A pause (the line idle between two files) earns no burst above the limit afterwards.
TEST(RateLimit, APauseEarnsNoBurst) {
    SimulatedClock clock;
    const uint64_t rate = 256 * 1024;
    RateLimit limit(rate, clock);
    ReadFor(limit, clock, 2000, 1, 0);
    clock.now += 5000;
    const uint64_t afterPause = ReadFor(limit, clock, 1000, 1, 0);
    EXPECT_LE(static_cast<double>(afterPause), 1.25 * static_cast<double>(rate));
    EXPECT_GE(static_cast<double>(afterPause), 0.9 * static_cast<double>(rate));
}

// A server slower than the limit is never made to wait on top of its own slowness.
TEST(RateLimit, ASlowServerIsNeverHeldBack) {
    SimulatedClock clock;
    RateLimit limit(1024 * 1024, clock);
    for (int i = 0; i < 50; ++i) {
        clock.now += 2 * RateLimit::kChunkMs;  // each read lasts twice its share of time
        EXPECT_EQ(limit.Take(limit.Chunk()), 0u) << "read " << i;
    }
}

}  // namespace
