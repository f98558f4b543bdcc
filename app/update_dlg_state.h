// Everything the main window counts and shows about an update run, as plain values: the
// progress bar, the file and byte counters, the phase, the status line and whether a worker
// runs. The window feeds it the worker's notifications and its timer; each answer says
// what the window has to do (redraw the status line, show a result text, start the pending
// offline run, close, restart). Nothing here touches a window.
#pragma once

#include <cstdint>
#include <string>

#include "app/skin_progress.h"
#include "app/transfer_rate.h"
#include "app/update_result.h"

// What the window does after a notification.
struct DlgReaction {
    bool handled = false;           // false: not ours, default processing only
    bool defaultProcessing = false; // after handling, pass on to the dialog's default processing
    bool redrawStatusLine = false;  // draw prefix + status text now
    std::string resultText;         // non-empty: show through ShowStatus (GBK)
    bool startPendingRun = false;   // UPD_INTERRUPTED with a pending offline package: StartRun() now
    bool closeDialog = false;       // end the dialog as cancelled
    bool restart = false;           // UM_RESTART: restart through the launcher
};

// The bar's values when a run starts.
constexpr uint32_t kRunStartBarTotal = 100;
// How often the timer renews the counter prefix while files download.
constexpr uint64_t kCounterRefreshMs = 1000;

class UpdateDlgState {
public:
    UpdateDlgState();

    // A run started by a command: resets the process-wide words (InterruptNotice := 1,
    // StopFlag := 0, FailedFileCount := 0), the counters, phase 1 and the bar (0 of 100,
    // idle); the worker counts as running.
    void StartRun();
    // The automatic first run when the window opens: the worker counts as running and the
    // bar starts at 0 of 100; the process-wide words keep their start values.
    void StartFirstRun();

    // UM_FILE_BEGIN .. UM_FILES_LEFT except UM_STATUS_TEXT (OnStatusText). `packagePending`:
    // an offline package waits to be applied.
    DlgReaction OnNotification(uint32_t message, uint32_t wParam, uint32_t lParam, uint64_t nowMs,
                               bool packagePending);
    // UM_STATUS_TEXT: the text as posted (ending in CR LF); the caller frees its copy.
    DlgReaction OnStatusText(const char* textWithCrLf);
    // The skin timer: while files download, the counter prefix is renewed once a second so
    // the speed, time left and KB move.
    DlgReaction OnTimer(uint64_t nowMs);

    // The counter prefix followed by the status text.
    std::string StatusLine() const;
    // The status line without its last two characters (the CR LF), as drawn; GBK characters
    // are counted whole, and a shorter text gives an empty one.
    std::string StatusLineToDraw() const;
    // Resource id of the start button image for the bar state and whether a worker runs.
    uint32_t StartButtonImage(bool hover) const;

    CSkinProgress progress;
    int32_t filesShown = 0;      // "[%d Files]"; 0 hides the counter prefix
    uint32_t bytesLeft = 0;      // shown as KB, rounded down
    uint32_t fileBase = 0;       // bar position when the current file began
    uint32_t phase = kPhaseChecking;
    std::string counterPrefix;
    std::string statusText;      // the last status text, with its CR LF
    bool workerRunning = false;
    // The last run could not update a whole installation (no server reached, an offline
    // package applied): the start button offers the game beside a new run.
    bool gameOffered = false;
    TransferRate rate;

private:
    DlgReaction OnPhaseBegin(uint32_t files, uint32_t bytes, uint64_t nowMs);
    DlgReaction OnFileBegin();
    DlgReaction OnFileProgress(uint32_t bytesInFile, uint64_t nowMs);
    DlgReaction OnStepBegin(uint32_t steps, uint32_t first);
    DlgReaction OnFilesLeft(uint32_t done, uint32_t total);
    DlgReaction OnUpdateDone(int32_t result, uint32_t info, bool packagePending);
    bool restarting_ = false;  // UM_RESTART arrived: the tool is being restarted
    // Renews the counter prefix; answers a redraw with default processing.
    DlgReaction RefreshCounter();
    std::string CounterPrefix() const;
    void ResetCounters();

    uint64_t lastTimerRefreshMs_ = 0;
};
