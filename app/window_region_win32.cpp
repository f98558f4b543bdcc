#include "app/window_region.h"

#include <cstdint>
#include <vector>

#include "app/win32_handles.h"

namespace {

constexpr WORD kPixelBits = 32;
constexpr uint32_t kRgbMask = 0x00FFFFFF;

// The bitmap's pixels as top-down rows of 32-bit 0x00RRGGBB values.
bool ReadPixels(HDC dc, HBITMAP bitmap, int* width, int* height, std::vector<uint32_t>* pixels) {
    BITMAP info = {};
    if (::GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) return false;
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight;  // negative: top-down rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = kPixelBits;
    format.bmiHeader.biCompression = BI_RGB;
    pixels->assign(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight), 0);
    const int rows = ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels->data(), &format,
                                 DIB_RGB_COLORS);
    *width = info.bmWidth;
    *height = info.bmHeight;
    return rows == info.bmHeight;
}

// The runs of non-key pixels of every row, as one-pixel-high rectangles.
std::vector<RECT> OpaqueRuns(const std::vector<uint32_t>& pixels, int width, int height, uint32_t key) {
    std::vector<RECT> runs;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        int x = 0;
        while (x < width) {
            while (x < width && (row[x] & kRgbMask) == key) ++x;
            const int start = x;
            while (x < width && (row[x] & kRgbMask) != key) ++x;
            if (x > start) runs.push_back(RECT{start, y, x, y + 1});
        }
    }
    return runs;
}

// One region made of `runs` (an empty region when there are none).
Region RegionOfRuns(const std::vector<RECT>& runs) {
    const size_t bytes = sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT);
    std::vector<uint8_t> block(bytes, 0);
    auto* data = reinterpret_cast<RGNDATA*>(block.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(runs.size());
    data->rdh.nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
    RECT bounds = {0, 0, 0, 0};
    for (const RECT& r : runs) {
        if (r.right > bounds.right) bounds.right = r.right;
        if (r.bottom > bounds.bottom) bounds.bottom = r.bottom;
    }
    data->rdh.rcBound = bounds;
    if (!runs.empty()) ::CopyMemory(data->Buffer, runs.data(), runs.size() * sizeof(RECT));
    // Null transform: the rectangles are taken as they are.
    return Region(::ExtCreateRegion(nullptr, static_cast<DWORD>(bytes), data));
}

uint32_t PixelOfColour(COLORREF colour) {
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) | (static_cast<uint32_t>(GetGValue(colour)) << 8) |
           static_cast<uint32_t>(GetBValue(colour));
}

}  // namespace

bool SetWindowRgnFromBitmap(HDC windowDc, HBITMAP bitmap, COLORREF key) {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    if (!ReadPixels(windowDc, bitmap, &width, &height, &pixels)) return false;
    Region outline = RegionOfRuns(OpaqueRuns(pixels, width, height, PixelOfColour(key)));
    if (!outline) return false;
    HWND window = ::WindowFromDC(windowDc);
    // TRUE: redraw the window with its new outline. The region is the window's from now on.
    if (::SetWindowRgn(window, outline.get(), TRUE) == 0) return false;
    outline.Release();
    ::SetForegroundWindow(window);
    return true;
}
