#include "app/update_run.h"

#include <process.h>

#include <memory>
#include <mutex>
#include <string>

#include "app/update_result.h"
#include "common/notifier.h"
#include "common/run_state.h"
#include "common/show_status.h"
#include "common/update_codes.h"
#include "engine/run_services.h"
#include "engine/update_driver.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kDirectoryChars = 2048;
constexpr const wchar_t* kLauncherName = L"update.exe";
constexpr int kRestartExitCode = 1;

// Posts notifications to the window; a window that is gone simply receives nothing.
class WindowNotifier : public Notifier {
public:
    void SetWindow(HWND window) { window_ = window; }
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override {
        ::PostMessageW(window_, message, wParam, lParam);
    }
    // wParam: the name of the program that should run next (a literal of the program, so
    // it outlives the message), or 0 for the running program itself.
    void PostRestart(const char* nextProgram) override {
        ::PostMessageW(window_, UM_RESTART, reinterpret_cast<WPARAM>(nextProgram), 0);
    }

private:
    HWND window_ = nullptr;
};

// The window as the runs see it. Process-wide: a worker may still post while the window
// closes, so the object lives until the process ends.
class WindowRuns : public RunWindow {
public:
    Notifier* notifier() override { return &notifier_; }
    std::string TakeOfflinePackagePath() override {
        std::lock_guard<std::mutex> hold(lock_);
        std::string path = offlinePackage_.empty() ? std::string() : WideToNarrow(offlinePackage_.c_str(), kTextFromSystem);
        offlinePackage_.clear();
        return path;
    }

    // Starts a run on a new worker thread; false when one is going on or no thread can be made.
    bool Start(HWND window) {
        if (worker_ != nullptr) return false;
        notifier_.SetWindow(window);
        phase_ = kPhaseChecking;
        StopFlag.store(0);
        FailedFileCount.store(0);
        // No security attributes, default stack size, no creation flags, the id not needed.
        uintptr_t thread = ::_beginthreadex(nullptr, 0, &WorkerMain, this, 0, nullptr);
        worker_ = reinterpret_cast<HANDLE>(thread);
        return worker_ != nullptr;
    }
    void Finished() {
        if (worker_ != nullptr) ::CloseHandle(worker_);
        worker_ = nullptr;
    }
    void SetPhase(uint32_t phase) { phase_ = phase; }
    uint32_t phase() const { return phase_; }

private:
    static unsigned __stdcall WorkerMain(void* self) {
        std::unique_ptr<RunServices> services = CreateFtpRunServices();
        UpdateThreadProc(static_cast<WindowRuns*>(self), *services);
        return 0;
    }

    WindowNotifier notifier_;
    std::mutex lock_;
    std::wstring offlinePackage_;
    HANDLE worker_ = nullptr;
    uint32_t phase_ = kPhaseChecking;
};

WindowRuns& Runs() {
    static WindowRuns* runs = new WindowRuns();  // never destroyed: see WindowRuns
    return *runs;
}

std::wstring& RestartCommandLine() {
    static std::wstring commandLine;
    return commandLine;
}

void ShowRunEnd(HWND window, int32_t result) {
    Runs().Finished();
    RunEnd end;
    end.result = result;
    end.phase = Runs().phase();
    end.failedFiles = FailedFileCount.load();
    end.stopFlag = StopFlag.load();
    const RunEndView view = ViewOfRunEnd(end);
    if (!view.text.empty()) ShowStatus(view.text.c_str());
    if (view.closeWindow) ::DestroyWindow(window);
}

// Starts the launcher "update.exe" with the tool's command line, then ends the window's loop.
void RestartThroughLauncher() {
    wchar_t directory[kDirectoryChars] = {};
    ::GetCurrentDirectoryW(kDirectoryChars, directory);
    std::wstring line = std::wstring(kLauncherName) + L" " + RestartCommandLine();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // No application name (taken from the command line); no security attributes; TRUE:
    // handles inherited as at start-up; no creation flags; the inherited environment.
    if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, directory, &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    // The new launcher waits on the single-instance lock until this process has ended.
    ::PostQuitMessage(kRestartExitCode);
}

}  // namespace

void SetRestartCommandLine(const std::wstring& commandLine) { RestartCommandLine() = commandLine; }

void StartFirstUpdateRun(HWND window) { Runs().Start(window); }

bool HandleRunNotification(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case UM_PHASE_BEGIN: Runs().SetPhase(kPhaseDownloading); return true;
        case UM_STEP_BEGIN: Runs().SetPhase(kPhaseStepping); return true;
        case UM_UPDATE_DONE: ShowRunEnd(window, static_cast<int32_t>(wParam)); return true;
        case UM_RESTART: RestartThroughLauncher(); return true;
        case UM_FILE_BEGIN:
        case UM_FILE_PROGRESS:
        case UM_FILE_END:
        case UM_STEP:
        case UM_STEP_END:
        case UM_FILES_LEFT:
            return true;  // the interim window has no progress bar
        default: return false;
    }
}
