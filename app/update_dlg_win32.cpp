#include "app/update_dlg.h"

#include <string>

#include "app/about_dlg.h"
#include "app/edition.h"
#include "app/skin_layout.h"
#include "app/status_window.h"
#include "app/update_commands.h"
#include "app/update_run.h"
#include "app/window_region.h"
#include "common/run_state.h"
#include "common/show_status.h"
#include "common/update_codes.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "res/resource.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kInstallDirChars = 255;
constexpr const char* kPathSeparator = "\\";
constexpr UINT kStringChars = 256;
// System commands carry the hit-test code (or other flags) in their low four bits.
constexpr WPARAM kSysCommandMask = 0xFFF0;
constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);
constexpr uint64_t kTickWrap = uint64_t{1} << 32;
const COLORREF kBlack = RGB(0, 0, 0);

// Whether the press that began the move command still holds. After a command's box or
// dialog the button has been released, and a move loop started then would drag the window
// along until the next click.
bool PrimaryButtonDown() {
    const int button = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (::GetKeyState(button) & kKeyDownBit) != 0;
}

bool IsRunNotification(UINT message) { return message >= UM_FILE_BEGIN && message <= UM_FILES_LEFT; }

// Frees status copies still queued for a window that is going away.
void DropQueuedStatusCopies(HWND window) {
    MSG msg;
    while (::PeekMessageW(&msg, window, UM_STATUS_TEXT, UM_STATUS_TEXT, PM_REMOVE)) {
        FreeStatusCopy(reinterpret_cast<char*>(msg.wParam));
    }
}

// A small icon needs its own size, or the system scales the large one.
HICON LoadAppIcon(int sizeMetricX, int sizeMetricY) {
    // Null module would mean a system icon: this executable's icon 128, shared (never destroyed).
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                           ::GetSystemMetrics(sizeMetricX), ::GetSystemMetrics(sizeMetricY),
                                           LR_SHARED));
}

}  // namespace

CUpdateDlg::CUpdateDlg() {
    StopFlag.store(kStopNone);
    // Null module: the system's cursors.
    arrow_ = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    hand_ = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    if (hand_ == nullptr) hand_ = arrow_;
}

CUpdateDlg::~CUpdateDlg() = default;

INT_PTR CUpdateDlg::DoModal() {
    // Null module: the template is in this executable; no owner window.
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UPDATE_DIALOG), nullptr, &DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CUpdateDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CUpdateDlg*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->OnInitDialog();
        // The window has no control that takes the keyboard, so it takes it itself: Esc
        // then reaches the stop request from the start.
        ::SetFocus(window);
        return FALSE;  // the focus was set here, not by the system
    }
    auto* self = reinterpret_cast<CUpdateDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;  // messages before initialisation: default processing
    return self->OnMessage(message, wParam, lParam);
}

INT_PTR CUpdateDlg::Answer(LRESULT result) {
    ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CUpdateDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR answer = FALSE;
    if (OnRunNotification(message, wParam, lParam, &answer)) return answer;
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wParam & kSysCommandMask) == SC_MOVE && (wParam & ~kSysCommandMask) == HTCAPTION) {
                if (OnMoveCommand() || !PrimaryButtonDown()) return Answer(0);
                return FALSE;  // the system's move follows
            }
            if ((wParam & kSysCommandMask) == kAboutCommand) {
                ShowAboutBox(window_);
                return Answer(0);
            }
            if ((wParam & kSysCommandMask) == kRepairCommand) {
                RepairCommand();
                return Answer(0);
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                return Answer(0);
            }
            return FALSE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            ::BeginPaint(window_, &paint);  // erases through WM_ERASEBKGND
            ::EndPaint(window_, &paint);
            RedrawStatusLine();
            RefreshSkin();
            return Answer(0);
        }
        case WM_ERASEBKGND:
            if (images_.Get(IDB_BACKGROUND) == nullptr) return FALSE;
            DrawBackground(reinterpret_cast<HDC>(wParam), images_);
            return Answer(TRUE);
        case WM_TIMER:
            if (wParam != kSkinTimerId) return FALSE;
            RefreshSkin();
            Apply(state_.OnTimer(NowMs()));
            return Answer(0);
        case WM_SETCURSOR:
            // Only over the window itself; the web page sets its own cursors.
            if (reinterpret_cast<HWND>(wParam) != window_) return FALSE;
            if (!fileDialogOpen_) ::SetCursor(arrow_);
            {
                const POINT cursor = CursorInClient();
                if (ShowsHandCursor(cursor.x, cursor.y)) ::SetCursor(hand_);
            }
            return Answer(TRUE);
        case WM_NCHITTEST: {
            // Presses on the client area become the system's move command (SC_MOVE + caption).
            const LRESULT hit = ::DefWindowProcW(window_, message, wParam, lParam);
            return Answer(hit == HTCLIENT ? HTCAPTION : hit);
        }
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(::GetStockObject(BLACK_BRUSH));
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

void CUpdateDlg::OnInitDialog() {
    SetStatusWindow(window_);
    WindowRuns::Get().SetWindow(window_);
    AddAboutMenuItem();
    SetIcons();
    SetTitle();
    if (!LoadSkin()) return;
    {
        WindowDc whole(window_, WindowDc::Area::kWholeWindow);
        SetWindowRgnFromBitmap(whole.get(), images_.Get(IDB_BACKGROUND), kSkinKeyColour);
    }
    windowDc_ = WindowDc(window_, WindowDc::Area::kClient);
    HDC dc = windowDc_.get();
    // The template's font, kept selected like the brush: the context is released with the window.
    ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(window_, WM_GETFONT, 0, 0)));
    ::SelectObject(dc, ::GetStockObject(BLACK_BRUSH));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetBkColor(dc, kBlack);
    if (!PrepareSurfaces()) return;
    PlaceWindow();
    OpenWebPage();
    state_.StartFirstRun();
    StartWorker();
    // Null callback: WM_TIMER messages.
    timerStarted_ = ::SetTimer(window_, kSkinTimerId, kSkinTimerPeriodMs, nullptr) != 0;
}

void CUpdateDlg::AddAboutMenuItem() {
    HMENU menu = ::GetSystemMenu(window_, FALSE);  // FALSE: the window's own copy
    if (menu == nullptr) return;
    wchar_t text[kStringChars] = {};
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, kStringChars) <= 0) return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);  // a separator has no command or text
    ::AppendMenuW(menu, MF_STRING, kRepairCommand, NarrowToWide(kRepairMenuText, kTextOwn));
    ::AppendMenuW(menu, MF_STRING, kAboutCommand, text);
}

void CUpdateDlg::SetIcons() {
    icon_ = LoadAppIcon(SM_CXICON, SM_CYICON);
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadAppIcon(SM_CXSMICON, SM_CYSMICON)));
}

void CUpdateDlg::SetTitle() {
    const std::string& platformName = GetPlatformString();
    openingEdition_ = GetEdition();
    const std::string title = WindowTitle(platformName.empty() ? nullptr : platformName.c_str(), openingEdition_);
    ::SetWindowTextW(window_, NarrowToWide(title.c_str(), kTextOwn));
}

bool CUpdateDlg::LoadSkin() { return images_.Load(::GetModuleHandleW(nullptr)); }

bool CUpdateDlg::PrepareSurfaces() {
    wchar_t directory[kInstallDirChars + 1] = {};
    ::GetCurrentDirectoryW(kInstallDirChars, directory);
    SetInstallDir(std::string(WideToNarrow(directory, kTextFromSystem)) + kPathSeparator);

    offscreen_.Reset(::CreateCompatibleBitmap(windowDc_.get(), kClientWidth, kClientHeight));
    imageDc_ = MemoryDc(windowDc_.get());
    BITMAP info = {};
    if (offscreen_) ::GetObjectW(offscreen_.get(), sizeof(info), &info);
    colourDepth_ = info.bmBitsPixel;
    if (colourDepth_ != kFillDepth16 && colourDepth_ != kFillDepth32) {
        Box(kTextColourDepth, kCaptionStartFailed, MB_OK);
        return false;
    }
    if (!state_.progress.AttachFillImage(images_.Get(IDB_BAR_FILL), colourDepth_)) {
        Box(kTextProgressBarInit, kCaptionStartFailed, MB_OK);
        return false;
    }
    return true;
}

void CUpdateDlg::PlaceWindow() {
    RECT outer = {0, 0, kClientWidth, kClientHeight};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);  // FALSE: no menu bar
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    RECT work = {};
    // Centre on the work area (the screen without the task bar).
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const int x = work.left + ((work.right - work.left) - width) / 2;
    const int y = work.top + ((work.bottom - work.top) - height) / 2;
    // Null: no change of the z-order.
    ::SetWindowPos(window_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CUpdateDlg::OpenWebPage() {
    // Made here rather than from the template, so a control that cannot be made (no
    // browser on the system) leaves the window working without a page.
    if (!browser_.Create(window_, IDC_EXPLORER, kBrowserX, kBrowserY, kBrowserWidth, kBrowserHeight)) return;
    iUpdateCfg* cfg = GetPlatformConfig();
    if (cfg == nullptr) return;
    const char* address = cfg->GetString(BrowserPageKey(openingEdition_));
    if (address == nullptr) return;
    browser_.Navigate(NarrowToWide(address, kTextOwn));
}

void CUpdateDlg::OnDestroy() {
    // The control goes with its window; its interface is let go now, with OLE still up.
    browser_.Release();
    if (timerStarted_) ::KillTimer(window_, kSkinTimerId);
    timerStarted_ = false;
    SetStatusWindow(nullptr);
    WindowRuns::Get().SetWindow(nullptr);
    DropQueuedStatusCopies(window_);
    windowDc_ = WindowDc();
    imageDc_ = MemoryDc();
    images_.Clear();
    offscreen_.Reset();
}

POINT CUpdateDlg::CursorInClient() const {
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    ::ScreenToClient(window_, &cursor);
    return cursor;
}

void CUpdateDlg::RefreshSkin() {
    if (!timerStarted_ || !windowDc_ || !imageDc_) return;
    DrawSkin(windowDc_.get(), imageDc_.get(), images_, state_, CursorInClient());
}

void CUpdateDlg::RedrawStatusLine() {
    if (!windowDc_) return;
    DrawStatusLine(windowDc_.get(), state_.StatusLineToDraw());
}

uint64_t CUpdateDlg::NowMs() {
    const uint32_t tick = platform::TickCountMs();
    if (tick < lastTick_) tickHigh_ += kTickWrap;
    lastTick_ = tick;
    return tickHigh_ + tick;
}

bool CUpdateDlg::OnRunNotification(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* answer) {
    if (!IsRunNotification(message)) return false;
    DlgReaction reaction;
    if (message == UM_STATUS_TEXT) {
        char* copy = reinterpret_cast<char*>(wParam);
        reaction = state_.OnStatusText(copy);
        FreeStatusCopy(copy);
    } else {
        const bool packagePending = WindowRuns::Get().HasOfflinePackage();
        reaction = state_.OnNotification(message, static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam),
                                         NowMs(), packagePending);
        if (message == UM_UPDATE_DONE) WindowRuns::Get().Finished();
    }
    if (!reaction.handled) return false;
    Apply(reaction);
    *answer = reaction.defaultProcessing ? FALSE : Answer(0);
    return true;
}

void CUpdateDlg::Apply(const DlgReaction& reaction) {
    if (reaction.redrawStatusLine) RedrawStatusLine();
    if (!reaction.resultText.empty()) ShowStatus(reaction.resultText.c_str());
    if (reaction.startPendingRun) StartUpdateRun();
    if (reaction.closeDialog) ::EndDialog(window_, IDCANCEL);
    if (reaction.restart) RestartThroughLauncher();
}
