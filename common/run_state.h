// Words shared by the main window and the worker thread of an update run. They are plain
// words without a lock: the window writes them, the worker (and the server probe) only read.
#pragma once

#include <atomic>
#include <cstdint>

// The stop states, of StopFlag and of the engine's own stop request.
constexpr int32_t kStopNone = 0;
constexpr int32_t kStopKeep = 1;      // interrupt, keep what was applied
constexpr int32_t kStopDiscard = -1;  // interrupt, discard

// kStopNone while a run goes on; kStopKeep or kStopDiscard once the player interrupts;
// kStopNone again before a new run. Readers test it for non-zero.
extern std::atomic<int32_t> StopFlag;
// Files whose download failed in this run; reset by the window before each run.
extern std::atomic<uint32_t> FailedFileCount;
// 0 at program start; 1 once the player starts a run (a later run, the offline package):
// an interrupted run that discarded then shows a notice instead of closing the window.
extern std::atomic<int32_t> InterruptNotice;
