#include "app/transfer_rate.h"

#include <cstdio>

namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr double kBytesPerKb = 1024.0;
constexpr double kBytesPerMb = 1024.0 * 1024.0;
// Below this many KB/s the speed keeps one decimal, so a slow line does not read "0 KB/s".
constexpr double kKbWholeFrom = 10.0;
constexpr uint64_t kSecondsPerMinute = 60;
constexpr uint64_t kSecondsPerHour = 3600;
// A time left beyond this is no estimate worth showing.
constexpr uint64_t kLongestShownSeconds = 100 * kSecondsPerHour - 1;
constexpr const char* kUnknownTime = "--:--";
constexpr size_t kTextBytes = 64;

std::string SpeedText(double bytesPerSecond) {
    char text[kTextBytes];
    if (bytesPerSecond >= kBytesPerMb) {
        std::snprintf(text, sizeof(text), "%.1f MB/s", bytesPerSecond / kBytesPerMb);
    } else if (bytesPerSecond >= kKbWholeFrom * kBytesPerKb) {
        std::snprintf(text, sizeof(text), "%.0f KB/s", bytesPerSecond / kBytesPerKb);
    } else {
        std::snprintf(text, sizeof(text), "%.1f KB/s", bytesPerSecond / kBytesPerKb);
    }
    return text;
}

std::string TimeText(double bytesPerSecond, uint64_t bytesLeft) {
    if (bytesPerSecond <= 0.0) return kUnknownTime;
    const double seconds = static_cast<double>(bytesLeft) / bytesPerSecond;
    if (seconds > static_cast<double>(kLongestShownSeconds)) return kUnknownTime;
    // Rounded up: the last second of a download still shows 00:01.
    uint64_t whole = static_cast<uint64_t>(seconds);
    if (static_cast<double>(whole) < seconds) ++whole;
    const uint64_t hours = whole / kSecondsPerHour;
    const uint64_t minutes = whole % kSecondsPerHour / kSecondsPerMinute;
    const uint64_t secs = whole % kSecondsPerMinute;
    char text[kTextBytes];
    if (hours > 0) {
        std::snprintf(text, sizeof(text), "%u:%02u:%02u", static_cast<unsigned>(hours), static_cast<unsigned>(minutes),
                      static_cast<unsigned>(secs));
    } else {
        std::snprintf(text, sizeof(text), "%02u:%02u", static_cast<unsigned>(minutes), static_cast<unsigned>(secs));
    }
    return text;
}

}  // namespace

void TransferRate::Reset() { *this = TransferRate(); }

void TransferRate::Sample(uint64_t nowMs, uint64_t bytesDone) {
    if (!started_) {
        started_ = true;
        firstMs_ = windowMs_ = lastMs_ = nowMs;
        windowBytes_ = bytesDone;
        return;
    }
    if (nowMs < lastMs_ || bytesDone < windowBytes_) {
        // A file started again (or the clock went back): measuring starts anew from here,
        // without a speed for the broken window.
        if (nowMs < firstMs_) firstMs_ = nowMs;
        windowMs_ = lastMs_ = nowMs;
        windowBytes_ = bytesDone;
        return;
    }
    lastMs_ = nowMs;
    const uint64_t elapsed = nowMs - windowMs_;
    if (elapsed < kRateWindowMs) return;
    const double windowRate = static_cast<double>(bytesDone - windowBytes_) * kMsPerSecond / static_cast<double>(elapsed);
    rate_ = seeded_ ? rate_ + kRateSmoothing * (windowRate - rate_) : windowRate;
    seeded_ = true;
    windowMs_ = nowMs;
    windowBytes_ = bytesDone;
}

bool TransferRate::Known() const { return seeded_ && lastMs_ - firstMs_ >= kRateShownAfterMs; }

std::string TransferRate::Text(uint64_t bytesLeft) const {
    return SpeedText(rate_) + " " + TimeText(rate_, bytesLeft);
}
