// The window's side of update runs (Windows only): the worker thread of each run, the
// notifications it posts to the window, the result shown when it ends, and the restart of
// the tool through its launcher.
#pragma once

#include <windows.h>

#include <string>

// The command line the tool was started with (the text after the program name); a restart
// passes it on. Set once by start-up.
void SetRestartCommandLine(const std::wstring& commandLine);

// Starts the first run for the window that just opened: the run's notifications go to
// `window`. Nothing happens when a run is already going on.
void StartFirstUpdateRun(HWND window);

// Handles a run notification (UM_FILE_BEGIN ... UM_FILES_LEFT other than UM_STATUS_TEXT):
// keeps the phase, shows the result text when the run ends (through ShowStatus, so it is
// logged) and restarts the tool on UM_RESTART. False for any other message.
bool HandleRunNotification(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
