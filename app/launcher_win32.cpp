// The launcher role: refresh update.dat (and, for a delivered build, update.exe) and the
// spare plug-in copy, start update.dat with the same command line, and end.
#include <windows.h>

#include "app/startup_rules.h"
#include "app/update_app.h"
#include "platformcfg/plugin_loader.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

std::wstring Wide(const char* name) { return NarrowToWide(name, kTextFromSystem); }

bool Exists(const std::wstring& name) { return ::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Clears the read-only and hidden attributes and keeps all others.
void ClearProtectiveAttributes(const std::wstring& name) {
    DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kClearedAttributes) == 0) return;
    attributes &= ~kClearedAttributes;
    ::SetFileAttributesW(name.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

void DeleteIfPresent(RetryBudget& budget, const std::wstring& name) {
    if (Exists(name)) budget.Run([&] { return ::DeleteFileW(name.c_str()) != 0; });
}

// Copies `from` over `to` (FALSE: overwrite an existing target).
void CopyOver(RetryBudget& budget, const std::wstring& from, const std::wstring& to) {
    budget.Run([&] { return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0; });
}

void StartUpdater(const std::wstring& directory, const std::wstring& commandLine, bool newBuild) {
    std::wstring path = RunningExecutablePath();
    if (path.empty()) return;
    std::wstring copyPath = UpdaterCopyPath(path, newBuild);
    if (copyPath.empty()) return;
    // Not cut to a fixed length: every argument reaches the updater unchanged.
    std::wstring line = L"\"" + copyPath + L"\" " + commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // No application name (taken from the command line); no security attributes; TRUE:
    // inheritable handles this process inherited (a parent's handle named in curver.dat)
    // pass on to the updater; no creation flags; the inherited environment.
    if (::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(), &startup,
                         &process)) {
        // Not waited for: the launcher ends at once.
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

}  // namespace

void RunLauncher(const std::wstring& directory, const std::wstring& commandLine, bool newBuild) {
    const std::wstring copyName = Wide(kUpdaterCopyName);
    const std::wstring toolName = Wide(kToolExeName);
    const std::wstring newBuildName = Wide(kNewBuildExeName);
    const std::wstring pluginName = Wide(kPluginFileName);
    const std::wstring spareName = Wide(kPluginSpareName);

    ClearProtectiveAttributes(copyName);
    ClearProtectiveAttributes(toolName);
    RetryBudget budget([](uint32_t ms) { ::Sleep(ms); });

    DeleteIfPresent(budget, copyName);
    CopyOver(budget, newBuild ? newBuildName : toolName, copyName);

    if (newBuild) {
        DeleteIfPresent(budget, toolName);
        CopyOver(budget, newBuildName, toolName);
    }

    ClearProtectiveAttributes(spareName);
    ClearProtectiveAttributes(pluginName);
    // Without a plug-in there is nothing to refresh the spare from: keep the spare rather
    // than delete the only copy left, and spend no retries on a copy that cannot succeed.
    if (Exists(pluginName)) {
        DeleteIfPresent(budget, spareName);
        CopyOver(budget, pluginName, spareName);
    }

    StartUpdater(directory, commandLine, newBuild);
}
