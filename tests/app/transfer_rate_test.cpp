// The smoothed download speed and time left of the counter prefix.
#include "app/transfer_rate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kStepMs = 100;
constexpr uint64_t kStepsPerSecond = 1000 / kStepMs;

// Feeds `bytesPerSecond` in 100 ms steps from `fromMs` to `toMs`; answers the bytes done.
uint64_t Stream(TransferRate& rate, uint64_t fromMs, uint64_t toMs, uint64_t bytes, uint64_t bytesPerSecond) {
    for (uint64_t ms = fromMs; ms <= toMs; ms += kStepMs) {
        rate.Sample(ms, bytes);
        bytes += bytesPerSecond / kStepsPerSecond;
    }
    return bytes;
}

TEST(TransferRateTest, KnownOnlyAfterASecondOfData) {
    TransferRate rate;
    EXPECT_FALSE(rate.Known());
    rate.Sample(5000, 0);
    rate.Sample(5500, 1000);
    rate.Sample(5900, 2000);
    EXPECT_FALSE(rate.Known()) << "0.9 s of data";
    rate.Sample(6000, 2200);
    EXPECT_TRUE(rate.Known());
    rate.Reset();
    EXPECT_FALSE(rate.Known());
    EXPECT_EQ(rate.BytesPerSecond(), 0.0);
}

TEST(TransferRateTest, SteadyStreamGivesSteadyText) {
    TransferRate rate;
    const uint64_t speed = 2000000;
    uint64_t bytes = Stream(rate, 0, 1000, 0, speed);
    const std::string first = rate.Text(10 * speed);
    EXPECT_EQ(first, "1.9 MB/s 00:10");
    for (uint64_t second = 2; second <= 10; ++second) {
        bytes = Stream(rate, second * 1000 - 900, second * 1000, bytes, speed);
        EXPECT_EQ(rate.Text(10 * speed), first) << "after " << second << " s";
    }
}

TEST(TransferRateTest, OneSpikeMovesTheRateOnlyPartly) {
    TransferRate rate;
    const double steady = static_cast<double>(kMiB);
    uint64_t bytes = Stream(rate, 0, 5000, 0, kMiB);
    ASSERT_NEAR(rate.BytesPerSecond(), steady, steady * 0.01);
    // One sample brings a whole second's worth of bytes on top of the stream.
    bytes += kMiB;
    double highest = 0.0;
    for (uint64_t ms = 5100; ms <= 15000; ms += kStepMs) {
        rate.Sample(ms, bytes);
        bytes += kMiB / kStepsPerSecond;
        highest = std::max(highest, rate.BytesPerSecond());
    }
    // Unsmoothed, the window holding the spike reads three times the stream.
    EXPECT_LT(highest, steady * 1.6);
    EXPECT_NEAR(rate.BytesPerSecond(), steady, steady * 0.05) << "back to the stream's rate";
}

TEST(TransferRateTest, BytesGoingBackwardsNeverGiveANegativeRate) {
    TransferRate rate;
    const double steady = static_cast<double>(kMiB);
    Stream(rate, 0, 3000, 0, kMiB);
    // The file starts again from 0 (a retry) and streams on at the same speed.
    uint64_t bytes = 0;
    for (uint64_t ms = 3100; ms <= 8000; ms += kStepMs) {
        rate.Sample(ms, bytes);
        bytes += kMiB / kStepsPerSecond;
        EXPECT_GE(rate.BytesPerSecond(), steady * 0.9) << ms;
        EXPECT_LE(rate.BytesPerSecond(), steady * 1.1) << ms;
    }
    EXPECT_TRUE(rate.Known());
}

TEST(TransferRateTest, StalledLineFallsTowardsNothing) {
    TransferRate rate;
    const uint64_t bytes = Stream(rate, 0, 3000, 0, kMiB);
    Stream(rate, 3100, 13000, bytes, 0);
    EXPECT_LT(rate.BytesPerSecond(), static_cast<double>(kMiB) * 0.01);
    EXPECT_GE(rate.BytesPerSecond(), 0.0);
}

struct TextCase {
    const char* name;
    uint64_t bytesPerSecond;
    uint64_t bytesLeft;
    std::string text;
};

TEST(TransferRateTest, Text) {
    const TextCase cases[] = {
        {"megabytes", 1258291, 35 * 1258291, "1.2 MB/s 00:35"},
        {"kilobytes below a megabyte", 512 * 1024, 125 * 512 * 1024, "512 KB/s 02:05"},
        {"slow line keeps a decimal", 2048, 2048 * (2 * 3600 + 61), "2.0 KB/s 2:01:01"},
        {"the last second rounds up", kMiB, 1, "1.0 MB/s 00:01"},
        {"nothing left", kMiB, 0, "1.0 MB/s 00:00"},
        {"just under an hour", 1024, 1024 * 3599, "1.0 KB/s 59:59"},
        {"no speed", 0, 1000, "0.0 KB/s --:--"},
        {"beyond any sensible estimate", 1, 1000000000, "0.0 KB/s --:--"},
    };
    for (const TextCase& c : cases) {
        TransferRate rate;
        // Whole seconds: every window holds exactly the stream's rate.
        for (uint64_t second = 0; second <= 2; ++second) rate.Sample(second * 1000, second * c.bytesPerSecond);
        ASSERT_TRUE(rate.Known()) << c.name;
        EXPECT_EQ(rate.Text(c.bytesLeft), c.text) << c.name;
    }
}

}  // namespace
