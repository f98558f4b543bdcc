// The progress object of one update run: every download, the engine, offline packages and
// the pack rebuild report through it. It turns transfer progress and stage reports into
// window notifications. Without a notifier (no main window) nothing is posted.
#pragma once

#include <cstdint>

class Notifier;

// Transfer status codes handed to OnProgress (the binding status values of the transfer).
constexpr uint32_t kProgressBegin = 4;
constexpr uint32_t kProgressData = 5;
constexpr uint32_t kProgressEnd = 6;
constexpr uint32_t kProgressStatusMin = 1;
constexpr uint32_t kProgressStatusMax = 24;
constexpr uint32_t kProgressStatusOther = 25;  // out-of-range codes: nothing posted

// ReportStage keys: the step bar of the driver, and the files-left counter.
constexpr uint32_t kStageKeySteps = 0x129E9BE8;
constexpr uint32_t kStageKeyFilesLeft = 0;
constexpr uint32_t kStageBegin = 0;
constexpr uint32_t kStageStep = 1;
constexpr uint32_t kStageEnd = 2;

class ProgressSink {
public:
    explicit ProgressSink(Notifier* window = nullptr) : window_(window) {}
    virtual ~ProgressSink() = default;
    ProgressSink(const ProgressSink&) = delete;
    ProgressSink& operator=(const ProgressSink&) = delete;

    // Download progress: status 4 posts UM_FILE_BEGIN (0, maximum), 5 UM_FILE_PROGRESS
    // (progress, maximum), 6 UM_FILE_END (progress, maximum). Always answers 0.
    virtual int32_t OnProgress(uint32_t progress, uint32_t maximum, uint32_t statusCode);
    // Step bar and files-left counter. Always answers 0.
    virtual int32_t ReportStage(uint32_t key, uint32_t a, uint32_t b, uint32_t stage, uint32_t extra);
    // Any other notification to the window (phase begin, restart).
    virtual void Post(uint32_t message, uint32_t wParam, uint32_t lParam);
    virtual void PostRestart(const char* nextProgram);

    Notifier* window() const { return window_; }

private:
    Notifier* window_;
};
