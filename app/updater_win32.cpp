// The updater role: load and initialise the plug-in, follow curver.dat, run the window.
#include <windows.h>

#include <commctrl.h>

#include "app/app_texts.h"
#include "app/startup_instruction.h"
#include "app/update_app.h"
#include "app/update_dlg.h"
#include "app/update_run.h"
#include "engine/plugin_values.h"
#include "engine/self_update.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "platformcfg/plugin_loader.h"
#include "text/message_box.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kParentSettleMs = 1000;
constexpr DWORD kParentWaitMs = 10000;
constexpr UINT kExitRunStillGoing = 2;

// Lends the plug-in's values to the engine for the rest of the process.
class LoadedPluginValues : public PluginValues {
public:
    const char* PlatformString() override {
        return GetPlatformString().empty() ? nullptr : GetPlatformString().c_str();
    }
    int32_t PlatformVersion() override {
        iUpdateCfg* cfg = GetPlatformConfig();
        return cfg != nullptr ? cfg->GetInt(kCfgKeyPlatformVersion) : 0;
    }
};

// Loads the plug-in and initialises it with the command line. False ends start-up.
bool StartPlugin(const std::wstring& commandLine) {
    PluginLoad load = LoadPlatformPlugin();
    if (load.result != PluginLoadResult::kLoaded) {
        MessageBoxNarrow(kTextNoPlugin, nullptr, platform::kMbOk);
        return false;
    }
    SetPlatformConfig(load.cfg);
    if (load.cfg->Initialize(WideToNarrow(commandLine.c_str(), kTextOwn)) == 0) return false;
    if (const char* platformName = load.cfg->GetString(kCfgKeyPlatformString)) SetPlatformString(platformName);
    static LoadedPluginValues values;
    SetPluginValues(&values);
    return true;
}

// Waits for the process whose inherited handle curver.dat named. False ends start-up.
bool WaitForParent(uint32_t handleValue) {
    HANDLE parent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handleValue));
    ::Sleep(kParentSettleMs);
    DWORD wait = ::WaitForSingleObject(parent, kParentWaitMs);
    if (wait == WAIT_TIMEOUT) {
        MessageBoxNarrow(kTextParentStillRunning, nullptr, platform::kMbOk);
        return false;
    }
    if (wait != WAIT_FAILED) ::CloseHandle(parent);
    return true;
}

}  // namespace

void RunUpdater(const std::wstring& /*directory: current, recorded by the window*/, const std::wstring& commandLine) {
    // A restart after a replaced tool or plug-in marks itself in the environment (null
    // buffer, size 0: only whether it is there). Taken out again, so that nothing this
    // process starts (the game, a later restart's launcher) inherits a stale mark.
    SetStartedByRestart(::GetEnvironmentVariableA(kRestartedEnvironmentName, nullptr, 0) != 0);
    ::SetEnvironmentVariableA(kRestartedEnvironmentName, nullptr);  // null value: removes it
    if (!StartPlugin(commandLine)) return;

    StartupInstruction instruction = ConsumeStartupInstruction();
    SetDownloadDirOverride(instruction.downloadDir);
    if (instruction.waitForParent && !WaitForParent(instruction.parentHandle)) return;

    ::InitCommonControls();
    SetRestartCommandLine(commandLine);
    // The main window records the installation directory when it opens.
    {
        CUpdateDlg dialog;
        dialog.DoModal();
    }
    if (!WindowRuns::Get().EndRunsForClose()) {
        // A run that did not stop in time still uses the status line, the engine's locks and
        // the program's statics: the process ends here, before any of them is destroyed and
        // while the single-instance lock is still held, so no second copy starts under it.
        ::ExitProcess(kExitRunStillGoing);
    }
}
