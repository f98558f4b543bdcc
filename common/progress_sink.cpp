#include "common/progress_sink.h"

#include "common/notifier.h"
#include "common/update_codes.h"

int32_t ProgressSink::OnProgress(uint32_t progress, uint32_t maximum, uint32_t statusCode) {
    if (statusCode < kProgressStatusMin || statusCode > kProgressStatusMax) statusCode = kProgressStatusOther;
    switch (statusCode) {
        case kProgressBegin: Post(UM_FILE_BEGIN, 0, maximum); break;
        case kProgressData: Post(UM_FILE_PROGRESS, progress, maximum); break;
        case kProgressEnd: Post(UM_FILE_END, progress, maximum); break;
        default: break;
    }
    return 0;
}

int32_t ProgressSink::ReportStage(uint32_t key, uint32_t a, uint32_t b, uint32_t stage, uint32_t extra) {
    if (key == kStageKeySteps) {
        if (stage == kStageBegin) Post(UM_STEP_BEGIN, b, extra);
        else if (stage == kStageStep) Post(UM_STEP, a, extra);
        else if (stage == kStageEnd) Post(UM_STEP_END, a, extra);
    } else if (key == kStageKeyFilesLeft) {
        Post(UM_FILES_LEFT, a, b);
    }
    return 0;
}

void ProgressSink::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
    if (window_ != nullptr) window_->Post(message, wParam, lParam);
}

void ProgressSink::PostRestart(const char* nextProgram) {
    if (window_ != nullptr) window_->PostRestart(nextProgram);
}
