#include "common/progress_sink.h"

#include <cstring>

#include "common/notifier.h"
#include "common/update_codes.h"

const ComGuid kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const ComGuid kIidBindStatusCallback = {0x79EAC9C1, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

bool operator==(const ComGuid& a, const ComGuid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof(a.data4)) == 0;
}

int32_t ProgressSink::QueryInterface(const ComGuid& iid, void** object) {
    if (object == nullptr) return kComBadPointer;
    if (iid == kIidUnknown || iid == kIidBindStatusCallback) {
        *object = this;
        AddRef();
        return kComOk;
    }
    *object = nullptr;
    return kComNoInterface;
}

uint32_t ProgressSink::AddRef() { return ++references_; }

uint32_t ProgressSink::Release() { return --references_; }

int32_t ProgressSink::OnStartBinding(uint32_t, void*) { return kComOk; }

int32_t ProgressSink::GetPriority(int32_t*) { return kComNotImplemented; }

int32_t ProgressSink::OnLowResource(uint32_t) { return kComOk; }

int32_t ProgressSink::OnProgress(uint32_t progress, uint32_t maximum, uint32_t statusCode, const wchar_t*) {
    if (statusCode < kProgressStatusMin || statusCode > kProgressStatusMax) statusCode = kProgressStatusOther;
    switch (statusCode) {
        case kProgressBegin: Post(UM_FILE_BEGIN, 0, maximum); break;
        case kProgressData: Post(UM_FILE_PROGRESS, progress, maximum); break;
        case kProgressEnd: Post(UM_FILE_END, progress, maximum); break;
        default: break;
    }
    return kComOk;
}

int32_t ProgressSink::OnStopBinding(int32_t, const wchar_t*) { return kComOk; }

int32_t ProgressSink::GetBindInfo(uint32_t*, void*) { return kComOk; }

int32_t ProgressSink::OnDataAvailable(uint32_t, uint32_t, void*, void*) { return kComOk; }

int32_t ProgressSink::OnObjectAvailable(const ComGuid&, void*) { return kComOk; }

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
