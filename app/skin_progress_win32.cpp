// Drawing the main progress bar (declared in app/skin_paint.h).
#include "app/skin_layout.h"
#include "app/skin_paint.h"
#include "app/skin_progress.h"

void DrawSkinProgress(HDC target, HDC imageDc, HBITMAP back, const CSkinProgress& progress) {
    if (back != nullptr) {
        SelectedObject selected(imageDc, back);
        ::BitBlt(target, kBarX, kBarY, kBarWidth, kBarHeight, imageDc, 0, 0, SRCCOPY);
    }
    // The fill image was accepted for this screen's depth when the window opened.
    HBITMAP fill = static_cast<HBITMAP>(const_cast<void*>(progress.fillImage()));
    const int width = progress.FillWidth(kBarWidth);
    if (fill == nullptr || width <= 0) return;
    SelectedObject selected(imageDc, fill);
    ::BitBlt(target, kBarX, kBarY, width, kBarHeight, imageDc, 0, 0, SRCCOPY);
}
