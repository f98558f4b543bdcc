// How far a pack rebuild is: the rebuild counts the bytes of entries it has written against
// the bytes it will write in all (kept entries and new ones) and reports whole percentages
// through a RebuildProgress the caller sets. The throttle keeps the reports few, since each
// one may become a status line in the debug log.
#pragma once

#include <cstdint>

// Receives the percentage of the rebuild done (0..100).
class RebuildProgress {
public:
    virtual void OnPercent(int percent) = 0;
    virtual ~RebuildProgress() = default;
};

// Shows "正在重组文件包 N%" as a status line.
class StatusRebuildProgress : public RebuildProgress {
public:
    void OnPercent(int percent) override;
};

// Milliseconds since an arbitrary start.
using RebuildClock = uint32_t (*)();

constexpr int kRebuildPercentDone = 100;
constexpr uint32_t kRebuildReportGapMs = 250;  // at most about four reports a second

// Turns byte counts into reports: 0% on Start, then a new whole percentage at most every
// kRebuildReportGapMs, and 100% on Finish. Each percentage is reported at most once.
// A null receiver makes every call do nothing.
class RebuildProgressThrottle {
public:
    RebuildProgressThrottle(RebuildProgress* receiver, RebuildClock clock);
    void Start(uint64_t totalBytes);
    void Advance(uint64_t bytes);
    void Finish();

private:
    void Report(int percent);

    RebuildProgress* receiver_;
    RebuildClock clock_;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    int lastPercent_ = -1;
    uint32_t lastReportMs_ = 0;
};
