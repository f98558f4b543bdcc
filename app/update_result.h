// What the window shows when an update run ends: the result text for each run result
// code, and when an interrupted run closes the window instead.
#pragma once

#include <cstdint>
#include <string>

#include "app/skin_progress.h"
#include "common/failure_cause.h"

// The window's phase of a run.
constexpr uint32_t kPhaseChecking = 1;     // set when a run starts
constexpr uint32_t kPhaseDownloading = 2;  // UM_PHASE_BEGIN
constexpr uint32_t kPhaseStepping = 3;     // UM_STEP_BEGIN

struct RunEnd {
    int32_t result = 0;
    uint32_t phase = kPhaseChecking;
    uint32_t failedFiles = 0;       // FailedFileCount when the result arrived
    int32_t stopFlag = 0;           // StopFlag when the result arrived
    bool interruptNotice = false;   // the run was started by a command
};

// The bar state a result leaves alone.
constexpr int32_t kBarUnchanged = -1;

struct RunEndView {
    std::string text;          // GBK; empty: nothing to show (the sender showed its own)
    bool fullBar = false;      // bar to its total
    bool closeWindow = false;  // an interrupted first run that discarded: the window closes
    int32_t barState = kBarUnchanged;  // kBarError or kBarInterrupted with a full bar
    bool stopKeep = false;     // StopFlag := 1: the start button offers a new run
    bool gameOffered = false;  // the start button offers the game beside a new run
};

// `info`: the run's most specific failure cause, shown ahead of a failure's text, and whether
// the game may start although the run could not update.
RunEndView ViewOfRunEnd(const RunEnd& end, const RunEndInfo& info = RunEndInfo());
