#include "app/skin_layout.h"

namespace {

struct ButtonArea {
    SkinButton button;
    SkinRect rect;
};

// In the order the commands test them: the first rectangle holding the point wins.
constexpr ButtonArea kButtonAreas[] = {
    {SkinButton::kEditionSwitch, kEditionSwitchRect},
    {SkinButton::kOfflinePackage, kOfflinePackageRect},
    {SkinButton::kWebsite, kWebsiteRect},
    {SkinButton::kMinimise, kMinimiseRect},
    {SkinButton::kClose, kCloseRect},
    {SkinButton::kStart, kStartRect},
};

constexpr SkinRect kHandCursorRects[] = {kEditionSwitchRect, kOfflinePackageRect, kWebsiteRect, kStartRect};

}  // namespace

SkinButton ButtonAt(int x, int y) {
    for (const ButtonArea& area : kButtonAreas) {
        if (area.rect.Contains(x, y)) return area.button;
    }
    return SkinButton::kNone;
}

bool ShowsHandCursor(int x, int y) {
    for (const SkinRect& rect : kHandCursorRects) {
        if (rect.Contains(x, y)) return true;
    }
    return false;
}
