#include "app/update_commands.h"

#include <cstdio>

#include "common/run_state.h"
#include "common/update_codes.h"

namespace {

constexpr const char* kTitleFormat = "更新工具%.2f  [%s] [%s]";
constexpr const char* kTitle800 = "800版本";
constexpr const char* kTitle1024 = "1024版本";
constexpr double kVersionScale = 100.0;
constexpr size_t kTitleBytes = 512;

constexpr const char* kPageKeyClassic = "http_classic";
constexpr const char* kPageKey1024 = "http_1024";

}  // namespace

StartAction DecideStart(const UpdateDlgState& state) {
    if (state.workerRunning) return StartAction::kMoveOnly;
    if (state.gameOffered) return StartAction::kAskGameOrRun;
    if (StopFlag.load() != kStopNone || FailedFileCount.load() != 0) return StartAction::kUpdateAgain;
    const int32_t bar = state.progress.state();
    if (bar == kBarStepping || (bar == kBarCounting && state.progress.full())) return StartAction::kLaunchGame;
    return StartAction::kMoveOnly;
}

StopAction DecideStop(const UpdateDlgState& state, bool engineStopping) {
    if (!state.workerRunning) return StopAction::kEndDialog;
    if (engineStopping) return StopAction::kNothing;
    if (state.fileBase != 0 && state.phase == kPhaseDownloading) return StopAction::kAskHowToStop;
    return StopAction::kStopDiscard;
}

void ApplyStopAnswerKeep() { StopFlag.store(kStopKeep); }

void ApplyStopDiscard() { StopFlag.store(kStopDiscard); }

void PrepareOfflinePackageStop() {
    InterruptNotice.store(1);
    StopFlag.store(kStopDiscard);
}

std::string WindowTitle(const char* platform, int32_t edition) {
    char title[kTitleBytes];
    std::snprintf(title, sizeof(title), kTitleFormat, kToolVersion / kVersionScale, platform != nullptr ? platform : "",
                  edition == kEdition800 ? kTitle800 : kTitle1024);
    return title;
}

const char* BrowserPageKey(int32_t edition) { return edition == kEditionClassic ? kPageKey1024 : kPageKeyClassic; }
