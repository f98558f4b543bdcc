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
    return 0;
}
