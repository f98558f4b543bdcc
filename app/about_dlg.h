// The about box (template 100), shown from the main window's system menu (Windows only).
#pragma once

#include <windows.h>

// Shows the about box modally, owned by `owner`, until OK or Esc.
void ShowAboutBox(HWND owner);
