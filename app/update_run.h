// The window's side of update runs (Windows only): the worker thread of each run, the
// notifications it posts to the main window, the offline package handed to the next run,
// and the restart of the tool through its launcher.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "app/win32_handles.h"
#include "common/notifier.h"
#include "engine/update_driver.h"

// How long a run still going when the window closes is given to stop.
constexpr DWORD kWorkerEndWaitMs = 5000;

// The command line the tool was started with (the text after the program name); a restart
// passes it on. Set once by start-up.
void SetRestartCommandLine(const std::wstring& commandLine);

// Starts the launcher "update.exe" with the tool's command line in the current directory
// (a failure is not reported), then posts the quit message with exit code 1, which ends the
// dialog and the process. The new launcher waits on the single-instance lock meanwhile.
void RestartThroughLauncher();

// Posts notifications to the main window; once the window is gone they go nowhere.
class WindowNotifier : public Notifier {
public:
    void SetWindow(HWND window);
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override;
    // wParam: the name of the program that should run next (a literal of the program, so it
    // outlives the message), or 0 for the running program itself.
    void PostRestart(const char* nextProgram) override;

private:
    std::mutex lock_;
    HWND window_ = nullptr;
};

// The main window as the runs see it. Process-wide and never destroyed: a worker may still
// post while the window closes and the process ends.
class WindowRuns : public RunWindow {
public:
    static WindowRuns& Get();

    Notifier* notifier() override { return &notifier_; }
    // Hands the pending offline package (8-bit path) to the run and clears it.
    std::string TakeOfflinePackagePath() override;

    // Where notifications go; null once the window is gone.
    void SetWindow(HWND window) { notifier_.SetWindow(window); }
    // Starts a run on a new worker thread. False when the previous worker's end was not
    // handled yet or no thread could be made.
    bool Start();
    // The worker's UM_UPDATE_DONE was handled: its thread handle is closed.
    void Finished();
    // The window has closed: a run still going is asked to stop (discarding, as the close
    // button's stop does) and given kWorkerEndWaitMs to end. True when no worker is left; false when one still
    // runs, and the caller must then end the process without destroying anything it uses.
    bool EndRunsForClose();

    // The next run is a repair.
    void RequestRepair() { repairRequested_.store(true); }
    bool TakeRepairRequest() override { return repairRequested_.exchange(false); }

    // The offline package the player picked, for the next run.
    void SetOfflinePackage(const std::wstring& path);
    bool HasOfflinePackage();

private:
    WindowRuns() = default;
    static unsigned __stdcall WorkerMain(void* self);

    WindowNotifier notifier_;
    std::mutex packageLock_;
    std::wstring offlinePackage_;
    std::atomic<bool> repairRequested_{false};
    KernelHandle worker_;  // main thread only
};
