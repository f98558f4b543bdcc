#include "app/update_dlg_state.h"

#include <algorithm>
#include <cstdio>

#include "common/gbk.h"
#include "common/run_state.h"
#include "common/update_codes.h"
#include "res/resource.h"

namespace {

constexpr const char* kCounterFormat = "[%d Files][%d KB] : ";
constexpr const char* kCounterWithRateFormat = "[%d Files][%d KB][%s] : ";
constexpr size_t kCounterBytes = 256;
constexpr uint32_t kBytesPerKb = 1024;
// The CR LF at the end of every status text is not drawn.
constexpr size_t kUndrawnTailChars = 2;

DlgReaction Handled() {
    DlgReaction reaction;
    reaction.handled = true;
    return reaction;
}

DlgReaction HandledThenDefault() {
    DlgReaction reaction = Handled();
    reaction.defaultProcessing = true;
    return reaction;
}

}  // namespace

UpdateDlgState::UpdateDlgState() { progress.Init(0, kRunStartBarTotal, kBarIdle); }

void UpdateDlgState::ResetCounters() {
    filesShown = 0;
    bytesLeft = 0;
    fileBase = 0;
    phase = kPhaseChecking;
    gameOffered = false;
    progress.Init(0, kRunStartBarTotal, kBarIdle);
    rate.Reset();
}

void UpdateDlgState::StartRun() {
    InterruptNotice.store(1);
    StopFlag.store(kStopNone);
    FailedFileCount.store(0);
    ResetCounters();
    workerRunning = true;
}

void UpdateDlgState::StartFirstRun() {
    gameOffered = false;
    progress.Init(0, kRunStartBarTotal, kBarIdle);
    rate.Reset();
    workerRunning = true;
}

DlgReaction UpdateDlgState::OnNotification(uint32_t message, uint32_t wParam, uint32_t lParam, uint64_t nowMs,
                                           bool packagePending) {
    switch (message) {
        case UM_PHASE_BEGIN: return OnPhaseBegin(wParam, lParam, nowMs);
        case UM_FILE_BEGIN: return OnFileBegin();
        case UM_FILE_PROGRESS:
        case UM_FILE_END: return OnFileProgress(wParam, nowMs);
        case UM_STEP_BEGIN: return OnStepBegin(wParam, lParam);
        case UM_STEP:
            progress.SetPosition(wParam);
            return HandledThenDefault();
        case UM_STEP_END:
            progress.SetPosition(wParam);
            return Handled();
        case UM_FILES_LEFT: return OnFilesLeft(wParam, lParam);
        case UM_UPDATE_DONE: return OnUpdateDone(static_cast<int32_t>(wParam), lParam, packagePending);
        case UM_RESTART: {
            restarting_ = true;
            DlgReaction reaction = Handled();
            reaction.restart = true;
            return reaction;
        }
        default: return DlgReaction();  // 1128, UM_STATUS_TEXT and every other message
    }
}

DlgReaction UpdateDlgState::OnPhaseBegin(uint32_t files, uint32_t bytes, uint64_t nowMs) {
    phase = kPhaseDownloading;
    filesShown = static_cast<int32_t>(files);
    bytesLeft = bytes;
    fileBase = 0;
    progress.SetTotal(bytes);
    progress.SetState(kBarCounting);
    rate.Reset();
    rate.Sample(nowMs, progress.position());
    return Handled();
}

DlgReaction UpdateDlgState::OnFileBegin() {
    fileBase = progress.position();
    bytesLeft = progress.total() - progress.position();
    return Handled();
}

DlgReaction UpdateDlgState::OnFileProgress(uint32_t bytesInFile, uint64_t nowMs) {
    if (phase != kPhaseChecking) {
        // Summed wide, so a count near 2^32 cannot wrap below the total.
        const uint64_t reached = static_cast<uint64_t>(fileBase) + bytesInFile;
        progress.SetPosition(static_cast<uint32_t>(std::min<uint64_t>(reached, progress.total())));
    }
    bytesLeft = progress.total() - progress.position();
    if (phase == kPhaseDownloading) rate.Sample(nowMs, progress.position());
    return Handled();
}

DlgReaction UpdateDlgState::OnStepBegin(uint32_t steps, uint32_t first) {
    phase = kPhaseStepping;
    progress.SetTotal(steps);
    progress.SetPosition(first);
    progress.SetState(kBarStepping);
    return RefreshCounter();
}

DlgReaction UpdateDlgState::OnFilesLeft(uint32_t done, uint32_t total) {
    const int32_t left = static_cast<int32_t>(total - done);
    if (left == filesShown) return HandledThenDefault();
    filesShown = left;
    return RefreshCounter();
}

DlgReaction UpdateDlgState::OnUpdateDone(int32_t result, uint32_t info, bool packagePending) {
    workerRunning = false;
    DlgReaction reaction = Handled();
    // The run ended by replacing the tool or plug-in: the restart is on its way, so no result
    // is shown for the moment the window has left.
    if (restarting_) return reaction;
    if (result == UPD_INTERRUPTED && packagePending) {
        // The run was stopped for a chosen offline package: its run follows, without a text.
        reaction.startPendingRun = true;
        return reaction;
    }
    RunEnd end;
    end.result = result;
    end.phase = phase;
    end.failedFiles = FailedFileCount.load();
    end.stopFlag = StopFlag.load();
    end.interruptNotice = InterruptNotice.load() != 0;
    const RunEndView view = ViewOfRunEnd(end, UnpackRunEndInfo(info));
    gameOffered = view.gameOffered;
    if (view.stopKeep) StopFlag.store(kStopKeep);
    if (view.fullBar) progress.Fill();
    if (view.barState != kBarUnchanged) progress.SetState(view.barState);
    reaction.resultText = view.text;
    reaction.closeDialog = view.closeWindow;
    return reaction;
}

DlgReaction UpdateDlgState::OnStatusText(const char* textWithCrLf) {
    statusText = textWithCrLf != nullptr ? textWithCrLf : "";
    return RefreshCounter();
}

DlgReaction UpdateDlgState::OnTimer(uint64_t nowMs) {
    DlgReaction reaction = Handled();
    if (phase != kPhaseDownloading || !workerRunning) return reaction;
    // Samples between progress messages let a stalled line's speed fall.
    rate.Sample(nowMs, progress.position());
    if (nowMs - lastTimerRefreshMs_ < kCounterRefreshMs) return reaction;
    lastTimerRefreshMs_ = nowMs;
    const std::string prefix = CounterPrefix();
    if (prefix == counterPrefix) return reaction;
    counterPrefix = prefix;
    reaction.redrawStatusLine = true;
    return reaction;
}

std::string UpdateDlgState::CounterPrefix() const {
    if (filesShown == 0) return std::string();
    char text[kCounterBytes];
    const int kb = static_cast<int>(bytesLeft / kBytesPerKb);
    // Speed and time left only while the run goes on: a finished run has neither.
    if (phase == kPhaseDownloading && workerRunning && rate.Known()) {
        std::snprintf(text, sizeof(text), kCounterWithRateFormat, filesShown, kb, rate.Text(bytesLeft).c_str());
    } else {
        std::snprintf(text, sizeof(text), kCounterFormat, filesShown, kb);
    }
    return text;
}

DlgReaction UpdateDlgState::RefreshCounter() {
    counterPrefix = CounterPrefix();
    DlgReaction reaction = HandledThenDefault();
    reaction.redrawStatusLine = true;
    return reaction;
}

std::string UpdateDlgState::StatusLine() const { return counterPrefix + statusText; }

std::string UpdateDlgState::StatusLineToDraw() const {
    const std::string line = StatusLine();
    // Start of each character, so a double-byte character is dropped whole.
    size_t starts[kUndrawnTailChars] = {};
    size_t seen = 0;
    for (size_t i = 0; i < line.size(); i += gbk::CharLength(line.data(), i, line.size())) {
        starts[seen % kUndrawnTailChars] = i;
        ++seen;
    }
    if (seen < kUndrawnTailChars) return std::string();
    // The oldest start kept in the ring is the first of the last two characters.
    return line.substr(0, starts[seen % kUndrawnTailChars]);
}

uint32_t UpdateDlgState::StartButtonImage(bool hover) const {
    const int32_t state = progress.state();
    if (gameOffered && !workerRunning) return hover ? IDB_START_HOVER : IDB_START;
    if (state == kBarError || state == kBarInterrupted) return hover ? IDB_START_RETRY_HOVER : IDB_START_RETRY;
    if (progress.full() && !workerRunning) return hover ? IDB_START_HOVER : IDB_START;
    return IDB_START_UNAVAILABLE;
}
