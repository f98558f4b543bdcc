// Drawing the skinned window: its bitmaps, the buttons with their hover images, the
// progress bar, the start button and the status line, straight onto the window's kept
// drawing context (Windows only). What to show comes from UpdateDlgState.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "app/skin_layout.h"
#include "app/win32_handles.h"

class CSkinProgress;
class UpdateDlgState;

// The key colour as the GDI calls take it: cut out of the outline, see-through in images.
constexpr COLORREF kSkinKeyColour = RGB(kKeyColourRed, kKeyColourGreen, kKeyColourBlue);

// The skin bitmaps of the executable's resources, by resource id.
class SkinImages {
public:
    // Loads every button and bar image, then the background. False when the background is
    // missing (a missing button image is simply not drawn).
    bool Load(HINSTANCE module);
    // The image, or null when it is not loaded.
    HBITMAP Get(uint32_t id) const;
    void Clear() { images_.clear(); }

private:
    std::map<uint32_t, Bitmap> images_;
};

// The background over the whole client area, through a temporary memory context.
void DrawBackground(HDC target, const SkinImages& images);

// The timer's refresh: the five buttons (hover image under `cursor`, client coordinates),
// the progress bar and the start button, copied from `imageDc`.
void DrawSkin(HDC target, HDC imageDc, const SkinImages& images, const UpdateDlgState& state, POINT cursor);

// The progress bar: its background image, then the fill image as wide as the bar's share.
void DrawSkinProgress(HDC target, HDC imageDc, HBITMAP back, const CSkinProgress& progress);

// The status line: the black box cleared (with the context's brush and pen), then `text`
// (GBK) in the status colour from the box's top left corner, without clipping.
void DrawStatusLine(HDC target, const std::string& text);
