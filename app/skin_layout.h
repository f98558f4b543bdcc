// The skinned main window's fixed geometry: the 800 x 600 client area, the hit rectangles
// of its six painted buttons, where each image, the progress bar, the status line and the
// web page go, the key colour that cuts the window outline, and the skin timer.
#pragma once

#include <cstdint>

#include "res/resource.h"

constexpr int kClientWidth = 800;
constexpr int kClientHeight = 600;

// Every background pixel of this colour lies outside the window; the close, minimise and
// start images are drawn with it as their transparent colour.
constexpr uint8_t kKeyColourRed = 255;
constexpr uint8_t kKeyColourGreen = 0;
constexpr uint8_t kKeyColourBlue = 255;

// Colour of the status line's text (drawn on a black box).
constexpr uint8_t kStatusTextRed = 0;
constexpr uint8_t kStatusTextGreen = 128;
constexpr uint8_t kStatusTextBlue = 128;

// A client rectangle; right and bottom are outside it.
struct SkinRect {
    int left, top, right, bottom;
    constexpr bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
};

// Hit rectangles of the buttons.
constexpr SkinRect kCloseRect{755, 109, 781, 135};
constexpr SkinRect kMinimiseRect{722, 109, 748, 135};
constexpr SkinRect kWebsiteRect{230, 515, 379, 543};
constexpr SkinRect kOfflinePackageRect{380, 515, 529, 543};
constexpr SkinRect kEditionSwitchRect{532, 515, 681, 543};
constexpr SkinRect kStartRect{680, 476, 800, 599};

// Where each button image is drawn and how large it is.
struct SkinImagePlace {
    int x, y, width, height;
    bool keyTransparent;  // drawn with the key colour as transparent (else opaque)
};
constexpr int kSmallButtonSide = 26;
constexpr int kWideButtonWidth = 149;
constexpr int kWideButtonHeight = 28;
constexpr int kStartButtonWidth = 120;
constexpr int kStartButtonHeight = 123;
constexpr SkinImagePlace kClosePlace{755, 109, kSmallButtonSide, kSmallButtonSide, true};
constexpr SkinImagePlace kMinimisePlace{722, 109, kSmallButtonSide, kSmallButtonSide, true};
constexpr SkinImagePlace kWebsitePlace{230, 515, kWideButtonWidth, kWideButtonHeight, false};
constexpr SkinImagePlace kOfflinePackagePlace{380, 515, kWideButtonWidth, kWideButtonHeight, false};
constexpr SkinImagePlace kEditionSwitchPlace{532, 515, kWideButtonWidth, kWideButtonHeight, false};
constexpr SkinImagePlace kStartPlace{680, 476, kStartButtonWidth, kStartButtonHeight, true};

// The buttons the skin refresh redraws with a hover image, in the order it draws them.
struct SkinHoverButton {
    SkinRect hit;
    SkinImagePlace place;
    uint32_t normalImage;
    uint32_t hoverImage;
};
constexpr SkinHoverButton kHoverButtons[] = {
    {kCloseRect, kClosePlace, IDB_CLOSE, IDB_CLOSE_HOVER},
    {kMinimiseRect, kMinimisePlace, IDB_MINIMISE, IDB_MINIMISE_HOVER},
    {kWebsiteRect, kWebsitePlace, IDB_WEBSITE, IDB_WEBSITE_HOVER},
    {kOfflinePackageRect, kOfflinePackagePlace, IDB_OFFLINE, IDB_OFFLINE_HOVER},
    {kEditionSwitchRect, kEditionSwitchPlace, IDB_EDITION, IDB_EDITION_HOVER},
};

// Progress bar: the background image (446 x 16) at this place; the fill image (446 x 14)
// is copied over it, as wide as the bar's share and 16 high.
constexpr int kBarX = 232;
constexpr int kBarY = 479;
constexpr int kBarWidth = 446;
constexpr int kBarHeight = 16;

// Status line: the box is cleared to black, then the text drawn from its top left corner.
constexpr SkinRect kStatusBox{232, 496, 678, 511};
constexpr int kStatusTextX = kStatusBox.left;
constexpr int kStatusTextY = kStatusBox.top;

// The web page control.
constexpr int kBrowserX = 233;
constexpr int kBrowserY = 140;
constexpr int kBrowserWidth = 548;
constexpr int kBrowserHeight = 337;

// The skin refresh timer.
constexpr uintptr_t kSkinTimerId = 12345;
constexpr uint32_t kSkinTimerPeriodMs = 100;

enum class SkinButton { kNone, kEditionSwitch, kOfflinePackage, kWebsite, kMinimise, kClose, kStart };

// The button under the client point, the rectangles tested in the order of the enum (the
// first that holds the point wins; the edition switch and start rectangles share a column).
SkinButton ButtonAt(int x, int y);

// True over the edition-switch, offline-package, website and start rectangles.
bool ShowsHandCursor(int x, int y);
