#include "pak/rebuild_progress.h"

#include <cstdio>

#include "common/show_status.h"
#include "pak/pak_texts.h"

void StatusRebuildProgress::OnPercent(int percent) {
    char line[kStatusMaxLength];
    std::snprintf(line, sizeof(line), kRebuildTextPercentFormat, kRebuildTextRebuilding, percent);
    ShowStatus(line);
}

RebuildProgressThrottle::RebuildProgressThrottle(RebuildProgress* receiver, RebuildClock clock)
    : receiver_(receiver), clock_(clock) {}

void RebuildProgressThrottle::Start(uint64_t totalBytes) {
    total_ = totalBytes;
    done_ = 0;
    lastPercent_ = -1;
    Report(0);
}

void RebuildProgressThrottle::Advance(uint64_t bytes) {
    if (receiver_ == nullptr || total_ == 0) return;
    done_ += bytes;
    if (done_ > total_) done_ = total_;
    const int percent = static_cast<int>(done_ * kRebuildPercentDone / total_);
    // 100% is left to Finish, which comes once the pack is in place.
    if (percent <= lastPercent_ || percent >= kRebuildPercentDone) return;
    if (clock_() - lastReportMs_ < kRebuildReportGapMs) return;
    Report(percent);
}

void RebuildProgressThrottle::Finish() {
    if (lastPercent_ < kRebuildPercentDone) Report(kRebuildPercentDone);
}

void RebuildProgressThrottle::Report(int percent) {
    if (receiver_ == nullptr) return;
    lastPercent_ = percent;
    lastReportMs_ = clock_();
    receiver_->OnPercent(percent);
}
