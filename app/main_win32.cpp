// update.exe: the Windows entry point.
#include <windows.h>

#include "common/show_status.h"
#include "app/startup_rules.h"
#include "app/update_app.h"

namespace {

// The debug log is opened while static objects are constructed, before start-up makes the
// tool's directory current, and closed when they are destroyed at exit.
struct DebugLogLifetime {
    DebugLogLifetime() { OpenDebugLog(); }
    ~DebugLogLifetime() { CloseDebugLog(); }
} g_debugLog;

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*narrowCommandLine*/, int /*show*/) {
    CUpdateApp app(CommandLineArguments(::GetCommandLineW()));
    app.InitInstance();
    // A restart ends the window's loop with a quit message that carries the exit code; the
    // modal loop leaves it queued for us.
    MSG quit;
    // Null window: any quit message of this thread.
    if (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return static_cast<int>(quit.wParam);
    return 0;
}
