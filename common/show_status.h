// Status lines: every human-readable progress or result line goes through ShowStatus,
// which appends it to the debug log and hands a copy to whoever shows status lines (the
// main window in update.exe, the console in paktool).
#pragma once

#include <cstddef>

constexpr size_t kStatusMaxLength = 300;  // longer texts are dropped entirely
constexpr const char* kDebugLogFileName = "update_debug.txt";

// Receives the heap status copy: the text, CR, LF and NUL (length + 3 bytes), and
// `length` = text length + 2. Returns true when it took ownership (it will free the copy
// with FreeStatusCopy); false leaves the copy to ShowStatus, which frees it.
using StatusReceiver = bool (*)(char* copy, size_t length);

// Opens (truncating) the debug log in the current directory. update.exe calls it during
// static construction, before start-up changes the current directory.
void OpenDebugLog(const char* path = kDebugLogFileName);
void CloseDebugLog();

// Sets the receiver of status copies; nullptr drops them. Returns the previous one.
StatusReceiver SetStatusReceiver(StatusReceiver receiver);

// Logs and shows one status line (GBK text; null is ignored).
void ShowStatus(const char* text);

// Frees a status copy handed to a StatusReceiver.
void FreeStatusCopy(char* copy);
