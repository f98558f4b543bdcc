#include "app/update_run.h"

#include <process.h>

#include <memory>

#include "common/run_state.h"
#include "common/update_codes.h"
#include "engine/run_services.h"
#include "engine/self_update.h"
#include "engine/update_engine.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kDirectoryChars = 2048;
constexpr const wchar_t* kLauncherName = L"update.exe";
constexpr int kRestartExitCode = 1;

std::wstring& RestartCommandLine() {
    static std::wstring commandLine;
    return commandLine;
}

}  // namespace

void SetRestartCommandLine(const std::wstring& commandLine) { RestartCommandLine() = commandLine; }

void RestartThroughLauncher() {
    wchar_t directory[kDirectoryChars] = {};
    ::GetCurrentDirectoryW(kDirectoryChars, directory);
    std::wstring line = std::wstring(kLauncherName) + L" " + RestartCommandLine();
    // The new process learns through the inherited environment that it is this restart.
    ::SetEnvironmentVariableA(kRestartedEnvironmentName, "1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // No application name (taken from the command line); no security attributes; TRUE:
    // handles inherited as at start-up; no creation flags; the inherited environment.
    if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, directory, &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::PostQuitMessage(kRestartExitCode);
}

void WindowNotifier::SetWindow(HWND window) {
    std::lock_guard<std::mutex> hold(lock_);
    window_ = window;
}

void WindowNotifier::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
    std::lock_guard<std::mutex> hold(lock_);
    if (window_ != nullptr) ::PostMessageW(window_, message, wParam, lParam);
}

void WindowNotifier::PostRestart(const char* nextProgram) {
    std::lock_guard<std::mutex> hold(lock_);
    if (window_ != nullptr) ::PostMessageW(window_, UM_RESTART, reinterpret_cast<WPARAM>(nextProgram), 0);
}

WindowRuns& WindowRuns::Get() {
    static WindowRuns* runs = new WindowRuns();  // never destroyed: see the class
    return *runs;
}

std::string WindowRuns::TakeOfflinePackagePath() {
    std::lock_guard<std::mutex> hold(packageLock_);
    std::string path = offlinePackage_.empty() ? std::string() : WideToNarrow(offlinePackage_.c_str(), kTextFromSystem);
    offlinePackage_.clear();
    return path;
}

bool WindowRuns::Start() {
    if (worker_) return false;
    // No security attributes, default stack size, no creation flags, the id not needed.
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &WorkerMain, this, 0, nullptr);
    worker_.Reset(reinterpret_cast<HANDLE>(thread));
    return static_cast<bool>(worker_);
}

void WindowRuns::Finished() { worker_.Reset(); }

bool WindowRuns::EndRunsForClose() {
    if (!worker_) return true;
    // Discarding: closing asks for no rebuild, which could outlast the wait.
    StopFlag.store(kStopDiscard);
    UpdateEngine::StopCurrent(false);
    if (::WaitForSingleObject(worker_.get(), kWorkerEndWaitMs) != WAIT_OBJECT_0) return false;
    worker_.Reset();
    return true;
}

void WindowRuns::SetOfflinePackage(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(packageLock_);
    offlinePackage_ = path;
}

bool WindowRuns::HasOfflinePackage() {
    std::lock_guard<std::mutex> hold(packageLock_);
    return !offlinePackage_.empty();
}

unsigned __stdcall WindowRuns::WorkerMain(void* self) {
    std::unique_ptr<RunServices> services = CreateRunServices();
    UpdateThreadProc(static_cast<WindowRuns*>(self), *services);
    return 0;
}
