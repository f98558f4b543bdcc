#include "app/skin_paint.h"

#include "app/skin_layout.h"
#include "app/update_dlg_state.h"
#include "res/resource.h"
#include "text/text_convert.h"

namespace {

// Every image but the background, loaded first.
constexpr uint32_t kButtonImages[] = {
    IDB_BAR_BACK,   IDB_BAR_FILL,       IDB_CLOSE_HOVER, IDB_CLOSE,   IDB_MINIMISE_HOVER,    IDB_MINIMISE,
    IDB_WEBSITE_HOVER, IDB_WEBSITE,     IDB_OFFLINE_HOVER, IDB_OFFLINE, IDB_EDITION_HOVER,   IDB_EDITION,
    IDB_START_UNAVAILABLE, IDB_START,   IDB_START_HOVER, IDB_START_RETRY, IDB_START_RETRY_HOVER,
};

const COLORREF kStatusColour = RGB(kStatusTextRed, kStatusTextGreen, kStatusTextBlue);

Bitmap LoadSkinBitmap(HINSTANCE module, uint32_t id) {
    // Default size (0, 0) and flags: the bitmap as stored, converted to the screen's format.
    return Bitmap(static_cast<HBITMAP>(
        ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

// Copies `image` to `place`, with the key colour as transparent when the place says so.
void DrawImage(HDC target, HDC imageDc, HBITMAP image, const SkinImagePlace& place) {
    if (image == nullptr) return;
    SelectedObject selected(imageDc, image);
    if (place.keyTransparent) {
        ::TransparentBlt(target, place.x, place.y, place.width, place.height, imageDc, 0, 0, place.width,
                         place.height, kSkinKeyColour);
    } else {
        ::BitBlt(target, place.x, place.y, place.width, place.height, imageDc, 0, 0, SRCCOPY);
    }
}

}  // namespace

bool SkinImages::Load(HINSTANCE module) {
    for (uint32_t id : kButtonImages) {
        Bitmap image = LoadSkinBitmap(module, id);
        if (image) images_[id] = std::move(image);
    }
    Bitmap background = LoadSkinBitmap(module, IDB_BACKGROUND);
    if (!background) return false;
    images_[IDB_BACKGROUND] = std::move(background);
    return true;
}

HBITMAP SkinImages::Get(uint32_t id) const {
    const auto found = images_.find(id);
    return found != images_.end() ? found->second.get() : nullptr;
}

void DrawBackground(HDC target, const SkinImages& images) {
    HBITMAP background = images.Get(IDB_BACKGROUND);
    if (background == nullptr) return;
    MemoryDc source(target);
    if (!source) return;
    SelectedObject selected(source.get(), background);
    ::BitBlt(target, 0, 0, kClientWidth, kClientHeight, source.get(), 0, 0, SRCCOPY);
}

void DrawSkin(HDC target, HDC imageDc, const SkinImages& images, const UpdateDlgState& state, POINT cursor) {
    for (const SkinHoverButton& button : kHoverButtons) {
        const bool hover = button.hit.Contains(cursor.x, cursor.y);
        DrawImage(target, imageDc, images.Get(hover ? button.hoverImage : button.normalImage), button.place);
    }
    DrawSkinProgress(target, imageDc, images.Get(IDB_BAR_BACK), state.progress);
    const bool overStart = kStartRect.Contains(cursor.x, cursor.y);
    DrawImage(target, imageDc, images.Get(state.StartButtonImage(overStart)), kStartPlace);
}

void DrawStatusLine(HDC target, const std::string& text) {
    ::SetTextColor(target, kStatusColour);
    // The selected black brush fills, the default pen outlines: the box is black.
    ::Rectangle(target, kStatusBox.left, kStatusBox.top, kStatusBox.right, kStatusBox.bottom);
    const wchar_t* wide = NarrowToWide(text.c_str(), kTextOwn);
    ::TextOutW(target, kStatusTextX, kStatusTextY, wide, static_cast<int>(::lstrlenW(wide)));
}
