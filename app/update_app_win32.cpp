#include "app/update_app.h"

#include <windows.h>

#include <vector>

#include "app/app_texts.h"
#include "app/single_instance.h"
#include "app/startup_rules.h"
#include "platform/platform.h"
#include "text/message_box.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kModulePathChars = 260;

// The running executable's full path; empty when it is not available or does not fit.
std::wstring ModulePath() {
    std::vector<wchar_t> buf(kModulePathChars + 1);
    // Null module: this process's executable.
    DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), kModulePathChars);
    if (n == 0 || n >= kModulePathChars) return std::wstring();
    return std::wstring(buf.data(), n);
}

}  // namespace

std::wstring RunningExecutablePath() { return ModulePath(); }

void CUpdateApp::InitInstance() {
    std::wstring directory, fileName;
    if (!SplitModulePath(ModulePath(), directory, fileName)) return;
    ::SetCurrentDirectoryW(directory.c_str());

    SingleInstanceLock lock;
    if (!lock.Acquire()) {
        MessageBoxNarrow(kTextAlreadyRunning, nullptr, platform::kMbOk | platform::kMbIconError);
        return;
    }

    switch (RoleFromFileName(WideToNarrow(fileName.c_str(), kTextFromSystem))) {
        case ToolRole::kUpdater:
            RunUpdater(directory, commandLine_);
            return;
        case ToolRole::kLauncher:
            RunLauncher(directory, commandLine_, false);
            return;
        case ToolRole::kNewBuildLauncher:
            RunLauncher(directory, commandLine_, true);
            return;
        case ToolRole::kRenamed:
            MessageBoxNarrow(kTextRenamed, kCaptionRenamed, platform::kMbOk | platform::kMbIconError);
            return;
    }
}
