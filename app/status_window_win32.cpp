#include "app/status_window.h"

#include <atomic>

#include "common/show_status.h"
#include "common/update_codes.h"

namespace {

std::atomic<HWND> g_statusWindow{nullptr};

// Posts the copy; the window owns it once the post succeeded. Without a window, or when
// the post fails (the window has just gone), ShowStatus keeps and frees it.
bool PostStatusCopy(char* copy, size_t length) {
    HWND window = g_statusWindow.load();
    if (window == nullptr) return false;
    return ::PostMessageA(window, UM_STATUS_TEXT, reinterpret_cast<WPARAM>(copy), static_cast<LPARAM>(length)) != 0;
}

}  // namespace

void SetStatusWindow(HWND window) {
    g_statusWindow.store(window);
    SetStatusReceiver(window != nullptr ? &PostStatusCopy : nullptr);
}
