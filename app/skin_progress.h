// The main progress bar's values: position, total, the bar state the start button and the
// commands look at, and the fill image. Plain fields only; the Win32 side draws it.
#pragma once

#include <cstdint>

// Bar states.
constexpr int32_t kBarIdle = 0;         // a run has started
constexpr int32_t kBarCounting = 1;     // counting bytes (UM_PHASE_BEGIN)
constexpr int32_t kBarStepping = 2;     // stepping (UM_STEP_BEGIN)
constexpr int32_t kBarError = 3;        // stopped with an error or a partial result
constexpr int32_t kBarInterrupted = 4;  // interrupted

// Colour depths the fill image can be drawn in.
constexpr int kFillDepth16 = 16;
constexpr int kFillDepth32 = 32;

class CSkinProgress {
public:
    void Init(uint32_t position, uint32_t total, int32_t state);
    // total := v; a position above it comes down to it.
    void SetTotal(uint32_t total);
    // position := min(v, total).
    void SetPosition(uint32_t position);
    void SetState(int32_t state) { state_ = state; }
    // The bar to its total.
    void Fill() { position_ = total_; }

    uint32_t position() const { return position_; }
    uint32_t total() const { return total_; }
    int32_t state() const { return state_; }
    bool full() const { return position_ == total_; }

    // Width in pixels of the fill for a bar `fullWidth` wide: position / total of it,
    // truncated; 0 when the total is 0.
    int FillWidth(int fullWidth) const;

    // Takes the fill image when the screen's depth is 16 or 32 bits and the image exists.
    bool AttachFillImage(const void* image, int colourDepth);
    const void* fillImage() const { return fillImage_; }

private:
    uint32_t position_ = 0;
    uint32_t total_ = 0;
    int32_t state_ = kBarIdle;
    const void* fillImage_ = nullptr;  // not owned: the window keeps the bitmap
};
