// Notifications posted to the main window.
#pragma once

// WM_USER + 109: wParam is a heap status copy (text, CR, LF, NUL) that the window frees
// with FreeStatusCopy; lParam is the text length including CR LF.
constexpr unsigned kUmStatusText = 1133;
