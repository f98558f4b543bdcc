// The download speed and time left shown in the counter prefix while files download.
//
// Smoothing: bytes are measured over windows of at least kRateWindowMs; each closed window
// gives that window's speed, which enters an exponential moving average with weight
// kRateSmoothing (the first window seeds it). So one burst of bytes moves the shown speed
// by a fraction of the burst, and a stalled line lets it decay over a few seconds. The
// speed counts as known once kRateShownAfterMs of samples have been seen. Bytes that go
// backwards (a file started again) restart the window without a speed sample.
#pragma once

#include <cstdint>
#include <string>

constexpr uint64_t kRateWindowMs = 500;
constexpr uint64_t kRateShownAfterMs = 1000;
constexpr double kRateSmoothing = 0.25;

class TransferRate {
public:
    void Reset();
    // Bytes done so far at the clock time `nowMs` (milliseconds, only ever growing).
    void Sample(uint64_t nowMs, uint64_t bytesDone);
    bool Known() const;
    double BytesPerSecond() const { return rate_; }
    // "1.2 MB/s 00:35": the speed (KB/s below 1 MB/s) and the time for `bytesLeft` at it,
    // as m:ss (two digits of minutes) or, from an hour on, h:mm:ss; "--:--" when the speed
    // is 0 or the time would be absurdly long.
    std::string Text(uint64_t bytesLeft) const;

private:
    bool started_ = false;
    bool seeded_ = false;
    uint64_t firstMs_ = 0;
    uint64_t windowMs_ = 0;
    uint64_t windowBytes_ = 0;
    uint64_t lastMs_ = 0;
    double rate_ = 0.0;
};
