// Delivery of status lines to the window that shows them (Windows only).
#pragma once

#include <windows.h>

// Makes `window` the receiver of ShowStatus copies (posted as UM_STATUS_TEXT); null stops
// delivery, after which ShowStatus frees each copy itself.
void SetStatusWindow(HWND window);
