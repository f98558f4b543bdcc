// The download limit: keeps the bytes of every transfer that shares one RateLimit within a
// rate, however many connections read at once. Reads ask for at most Chunk() bytes; after
// each, Take tells how long to wait before the next, so the bytes follow a schedule of
// `rate` bytes a second. An idle line earns no more than kMaxCreditMs of credit, so a pause
// is not followed by a burst above the limit.
#pragma once

#include <cstdint>
#include <mutex>

// The time a limit is kept by; tests give a simulated one.
class RateClock {
public:
    virtual ~RateClock() = default;
    virtual uint32_t NowMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
};

// The system's tick count and sleep.
RateClock& SystemRateClock();

constexpr uint32_t kBytesPerKilobyte = 1024;

class RateLimit {
public:
    static constexpr uint32_t kMaxCreditMs = 200;
    // A read asks for no more than this many milliseconds' worth of bytes...
    static constexpr uint32_t kChunkMs = 100;
    // ...and no less than this many bytes.
    static constexpr uint32_t kMinChunk = 1024;

    // `bytesPerSecond` above 0.
    explicit RateLimit(uint64_t bytesPerSecond, RateClock& clock = SystemRateClock());
    RateLimit(const RateLimit&) = delete;
    RateLimit& operator=(const RateLimit&) = delete;

    uint64_t bytesPerSecond() const { return rate_; }
    RateClock& clock() { return clock_; }
    // The most one read should ask for.
    uint32_t Chunk() const;
    // Counts `bytes` just read by any transfer; the milliseconds the reader must wait now.
    uint32_t Take(uint64_t bytes);

private:
    const uint64_t rate_;
    RateClock& clock_;
    std::mutex lock_;
    bool started_ = false;
    uint32_t startMs_ = 0;  // the schedule's origin: `taken_` bytes are due taken_/rate s after it
    uint64_t taken_ = 0;
};
