#include "app/skin_progress.h"

#include <algorithm>

void CSkinProgress::Init(uint32_t position, uint32_t total, int32_t state) {
    total_ = total;
    position_ = std::min(position, total);
    state_ = state;
}

void CSkinProgress::SetTotal(uint32_t total) {
    total_ = total;
    position_ = std::min(position_, total_);
}

void CSkinProgress::SetPosition(uint32_t position) { position_ = std::min(position, total_); }

int CSkinProgress::FillWidth(int fullWidth) const {
    if (total_ == 0) return 0;
    const double share = static_cast<double>(position_) / static_cast<double>(total_);
    return static_cast<int>(share * fullWidth);
}

bool CSkinProgress::AttachFillImage(const void* image, int colourDepth) {
    if (image == nullptr) return false;
    if (colourDepth != kFillDepth16 && colourDepth != kFillDepth32) return false;
    fillImage_ = image;
    return true;
}
