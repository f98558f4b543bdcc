// INTERIM: see interim_window.h. Replaced by the main window (CUpdateDlg) later.
#include "app/interim_window.h"

#include <windows.h>

#include <string>

#include "common/show_status.h"
#include "app/status_window.h"
#include "app/update_run.h"
#include "common/update_codes.h"
#include "engine/game_launch.h"
#include "platformcfg/platform_config.h"
#include "text/text_convert.h"

namespace {

constexpr int kWindowWidth = 520;
constexpr int kWindowHeight = 320;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 28;
constexpr const char* kStartGameText = "开始游戏";
constexpr const char* kDefaultTitle = "更新工具";

HWND g_status = nullptr;

void AppendStatusLine(const char* copy) {
    // Caret to the end, then replace the empty selection: appends without redrawing all.
    int end = ::GetWindowTextLengthW(g_status);
    ::SendMessageW(g_status, EM_SETSEL, end, end);
    ::SendMessageW(g_status, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(NarrowToWide(copy, kTextOwn)));
}

// Frees status copies still queued for a window that is going away.
void DropQueuedStatusCopies(HWND window) {
    MSG msg;
    while (::PeekMessageW(&msg, window, UM_STATUS_TEXT, UM_STATUS_TEXT, PM_REMOVE)) {
        FreeStatusCopy(reinterpret_cast<char*>(msg.wParam));
    }
}

void CreateChildren(HWND window) {
    RECT client;
    ::GetClientRect(window, &client);
    HINSTANCE instance = ::GetModuleHandleW(nullptr);  // null: this executable
    // No extra creation data (last argument null) for either control.
    g_status = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                                 kMargin, kMargin, client.right - 2 * kMargin,
                                 client.bottom - 3 * kMargin - kButtonHeight, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInterimStatusId)), instance, nullptr);
    ::CreateWindowExW(0, L"BUTTON", NarrowToWide(kStartGameText, kTextOwn), WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                      client.right - kMargin - kButtonWidth, client.bottom - kMargin - kButtonHeight, kButtonWidth,
                      kButtonHeight, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInterimStartGameId)),
                      instance, nullptr);
}

LRESULT CALLBACK InterimWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateChildren(window);
            SetStatusWindow(window);
            StartFirstUpdateRun(window);
            return 0;
        case UM_STATUS_TEXT: {
            char* copy = reinterpret_cast<char*>(wParam);
            AppendStatusLine(copy);
            FreeStatusCopy(copy);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {  // Esc, through IsDialogMessage
                ::DestroyWindow(window);
                return 0;
            }
            if (LOWORD(wParam) == kInterimStartGameId) {
                StartGameClient();
                return 0;
            }
            break;
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            SetStatusWindow(nullptr);
            DropQueuedStatusCopies(window);
            ::PostQuitMessage(0);
            return 0;
        default:
            if (HandleRunNotification(window, message, wParam, lParam)) return 0;
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::wstring WindowTitle() {
    const std::string& platform = GetPlatformString();
    return NarrowToWide(platform.empty() ? kDefaultTitle : platform.c_str(), kTextOwn);
}

}  // namespace

void RunInterimWindow() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);  // null: this executable
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &InterimWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));  // null: a system cursor
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kInterimWindowClass;
    ::RegisterClassW(&windowClass);

    // No parent, no menu, no creation data.
    HWND window = ::CreateWindowExW(WS_EX_APPWINDOW, kInterimWindowClass, WindowTitle().c_str(),
                                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return;
    ::ShowWindow(window, SW_SHOWNORMAL);

    MSG msg;
    // Null window: every message of this thread; 0, 0: no filter.
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            ::DestroyWindow(window);
            continue;
        }
        if (::IsDialogMessageW(window, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}
