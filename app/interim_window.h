// INTERIM: a stand-in for the main window until CUpdateDlg exists. It shows the platform
// string in its title and the status lines, offers the start-game command, and closes on
// Esc. It is to be replaced by the main window, not grown.
#pragma once

constexpr const wchar_t* kInterimWindowClass = L"KvoUpdaterInterimWindow";
constexpr int kInterimStatusId = 100;     // the read-only edit control with the status lines
constexpr int kInterimStartGameId = 101;  // the start-game button

// Runs the window's loop on the calling thread until the window is closed.
void RunInterimWindow();
