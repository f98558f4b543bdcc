#include "net/rate_limit.h"

#include <algorithm>

#include "platform/platform.h"

namespace {

constexpr uint64_t kMsPerSecond = 1000;

class SystemClock : public RateClock {
public:
    uint32_t NowMs() override { return platform::TickCountMs(); }
    void SleepMs(uint32_t ms) override { platform::SleepMs(ms); }
};

}  // namespace

RateClock& SystemRateClock() {
    static SystemClock clock;
    return clock;
}

RateLimit::RateLimit(uint64_t bytesPerSecond, RateClock& clock)
    : rate_(std::max<uint64_t>(bytesPerSecond, 1)), clock_(clock) {}

uint32_t RateLimit::Chunk() const {
    const uint64_t chunk = rate_ * kChunkMs / kMsPerSecond;
    return static_cast<uint32_t>(std::min<uint64_t>(std::max<uint64_t>(chunk, kMinChunk), UINT32_MAX));
}

uint32_t RateLimit::Take(uint64_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    const uint32_t now = clock_.NowMs();
    if (!started_) {
        // The first bytes were read before anything was counted: the schedule starts as if
        // they had taken their share of time.
        started_ = true;
        startMs_ = now - static_cast<uint32_t>(std::min<uint64_t>(bytes * kMsPerSecond / rate_, kMaxCreditMs));
    }
    const uint64_t elapsed = static_cast<uint32_t>(now - startMs_);
    uint64_t due = taken_ * kMsPerSecond / rate_;
    // A line that fell behind its schedule (idle, or a slow server) keeps at most a little
    // credit: the schedule's origin moves up instead.
    if (elapsed > due + kMaxCreditMs) {
        const uint64_t shift = elapsed - due - kMaxCreditMs;
        startMs_ += static_cast<uint32_t>(shift);
    }
    taken_ += bytes;
    due = taken_ * kMsPerSecond / rate_;
    const uint64_t sinceStart = static_cast<uint32_t>(now - startMs_);
    return due > sinceStart ? static_cast<uint32_t>(std::min<uint64_t>(due - sinceStart, UINT32_MAX)) : 0;
}
