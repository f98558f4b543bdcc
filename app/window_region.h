// The skinned window's outline, cut from its background picture (Windows only).
#pragma once

#include <windows.h>

// Builds the outline of the window that owns `windowDc` from `bitmap`: every pixel that
// is not `key` is inside, row by row, in runs. Installs it as the window's region (with
// redraw; the window then owns the region) and brings the window to the foreground.
// False when the bitmap's pixels cannot be read or the region cannot be made.
bool SetWindowRgnFromBitmap(HDC windowDc, HBITMAP bitmap, COLORREF key);
