// The window outline cut from a picture: magenta pixels are outside, every other pixel is
// inside, row by row, also where a row starts or ends with magenta or holds several runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/window_region.h"

namespace {

const COLORREF kKey = RGB(255, 0, 255);
constexpr int kBytesPerPixel = 3;
constexpr int kRowAlignment = 4;

// One picture row: 'M' the key colour, 'n' a colour next to it, '.' dark blue.
COLORREF ColourOf(char c) {
    switch (c) {
        case 'M': return kKey;
        case 'n': return RGB(254, 0, 255);
        default: return RGB(10, 20, 90);
    }
}

// A 24-bit picture (as the skin's bitmaps are) from its rows, top row first.
HBITMAP MakePicture(HDC dc, const std::vector<std::string>& rows) {
    const int width = static_cast<int>(rows.front().size());
    const int height = static_cast<int>(rows.size());
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr) return nullptr;
    const int stride = (width * kBytesPerPixel + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    for (int y = 0; y < height; ++y) {
        auto* row = static_cast<uint8_t*>(bits) + y * stride;
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = ColourOf(rows[y][x]);
            row[x * kBytesPerPixel + 0] = GetBValue(colour);
            row[x * kBytesPerPixel + 1] = GetGValue(colour);
            row[x * kBytesPerPixel + 2] = GetRValue(colour);
        }
    }
    ::GdiFlush();
    return picture;
}

TEST(WindowRegion, KeyColouredPixelsAreCutOutOfTheWindow) {
    struct Case {
        const char* name;
        std::vector<std::string> rows;
    };
    // Width 7: the 24-bit rows carry padding, so a row read with the wrong length shifts.
    const Case cases[] = {
        {"rows beginning and ending with the key", {"MM...MM", "M.....M", ".......", "MMM.MMM"}},
        {"a row all key adds nothing", {"MMMMMMM", ".......", "MMMMMMM", "..MMM.."}},
        {"several runs in one row", {".M.M.M.", "M.M.M.M", "..MM..M", "M..MM.."}},
        {"only the exact key colour is outside", {"nnnMnnn", "MnMnMnM", "n.....n", "MMMnMMM"}},
        {"no key at all", {".......", ".......", ".......", "......."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int width = static_cast<int>(c.rows.front().size());
        const int height = static_cast<int>(c.rows.size());
        // A hidden popup of the picture's size; "STATIC" needs no class of our own. No
        // parent, menu or creation data.
        HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        HDC dc = ::GetWindowDC(window);
        HBITMAP picture = MakePicture(dc, c.rows);
        ASSERT_NE(picture, nullptr);
        EXPECT_TRUE(SetWindowRgnFromBitmap(dc, picture, kKey));
        ::ReleaseDC(window, dc);

        HRGN outline = ::CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(::GetWindowRgn(window, outline), ERROR);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                EXPECT_EQ(::PtInRegion(outline, x, y) != FALSE, c.rows[y][x] != 'M') << "pixel " << x << "," << y;
            }
        }
        // Nothing beyond the picture.
        EXPECT_FALSE(::PtInRegion(outline, width, 0));
        EXPECT_FALSE(::PtInRegion(outline, 0, height));
        ::DeleteObject(outline);
        ::DeleteObject(picture);
        ::DestroyWindow(window);
    }
}

TEST(WindowRegion, AnAllKeyPictureLeavesAnEmptyOutline) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 4, 2, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    HDC dc = ::GetWindowDC(window);
    HBITMAP picture = MakePicture(dc, {"MMMM", "MMMM"});
    EXPECT_TRUE(SetWindowRgnFromBitmap(dc, picture, kKey));
    ::ReleaseDC(window, dc);
    HRGN outline = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(window, outline), NULLREGION);
    ::DeleteObject(outline);
    ::DeleteObject(picture);
    ::DestroyWindow(window);
}

}  // namespace
