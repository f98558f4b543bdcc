// boxwatch: reads and dismisses the windows update.exe shows, from outside the program, so
// the end-to-end tests see message boxes and the updater's window as a user would.
//
//   boxwatch.exe LOGFILE STEP...
//     box=S      wait up to S seconds for a message box; log "box: CAPTION|TEXT|icon=0/1"
//                and press its first button; "box: none" when none came
//     nobox=S    watch S seconds; log every box that comes (and press it), else "nobox"
//     window=S   wait up to S seconds for the updater's window; log "window: TITLE" or
//                "window: none"
//     status     log "status: TEXT" with the window's status lines ('|' between lines)
//     click=ID   press the window's control ID
//     text=ID    log "text: TEXT" with the text of the window's control ID
//     close      press Esc in the window and wait for it to go; log "closed" or "open"
//     sleep=MS   wait MS milliseconds
// The log is UTF-8, one line an observation, appended to.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const wchar_t* kDialogClass = L"#32770";
constexpr const wchar_t* kUpdaterWindowClass = L"KvoUpdaterInterimWindow";
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconIds[] = {0x14, 0x440};  // the icon control: Windows, Wine
constexpr int kBoxButtonIds[] = {IDOK, IDYES, IDCANCEL, IDNO};
constexpr int kStatusControlId = 100;
constexpr DWORD kPollMs = 100;
constexpr DWORD kCloseWaitMs = 5000;
constexpr int kTextChars = 4096;

FILE* g_log = nullptr;

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

void Log(const std::string& line) {
    std::fprintf(g_log, "%s\n", line.c_str());
    std::fflush(g_log);
}

std::wstring WindowText(HWND window) {
    wchar_t buf[kTextChars] = {0};
    // Works across processes: the system copies the text for us.
    ::SendMessageTimeoutW(window, WM_GETTEXT, kTextChars, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000,
                          nullptr);
    return buf;
}

struct Search {
    const wchar_t* className;
    bool messageBox;
    HWND found;
};

BOOL CALLBACK FindWindowOfClass(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t cls[64] = {0};
    ::GetClassNameW(window, cls, 64);
    if (!::IsWindowVisible(window) || std::wcscmp(cls, search->className) != 0) return TRUE;
    if (search->messageBox && ::GetDlgItem(window, kBoxTextId) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindTopLevel(const wchar_t* className, bool messageBox) {
    Search search = {className, messageBox, nullptr};
    ::EnumWindows(&FindWindowOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const wchar_t* className, bool messageBox, double seconds) {
    DWORD deadline = ::GetTickCount() + static_cast<DWORD>(seconds * 1000);
    for (;;) {
        if (HWND found = FindTopLevel(className, messageBox)) return found;
        if (static_cast<LONG>(::GetTickCount() - deadline) >= 0) return nullptr;
        ::Sleep(kPollMs);
    }
}

void RecordAndPress(HWND box) {
    bool icon = false;
    for (int id : kBoxIconIds) {
        HWND control = ::GetDlgItem(box, id);
        DWORD_PTR shown = 0;
        // The icon control holds an icon only when the box was asked for one.
        if (control != nullptr && ::SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &shown) &&
            shown != 0) {
            icon = true;
        }
    }
    Log("box: " + Utf8(WindowText(box)) + "|" + Utf8(WindowText(::GetDlgItem(box, kBoxTextId))) +
        "|icon=" + (icon ? "1" : "0"));
    for (int id : kBoxButtonIds) {
        if (HWND button = ::GetDlgItem(box, id)) {
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            break;
        }
    }
    DWORD deadline = ::GetTickCount() + kCloseWaitMs;
    while (::IsWindow(box) && ::IsWindowVisible(box) && static_cast<LONG>(::GetTickCount() - deadline) < 0) {
        ::Sleep(kPollMs);
    }
}

std::string StatusLines(HWND window) {
    std::string text = Utf8(WindowText(::GetDlgItem(window, kStatusControlId)));
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? '|' : c;
    }
    return out;
}

bool RunStep(const std::string& step) {
    size_t eq = step.find('=');
    std::string name = step.substr(0, eq);
    double value = eq == std::string::npos ? 0 : std::atof(step.c_str() + eq + 1);
    if (name == "box") {
        HWND box = WaitFor(kDialogClass, true, value);
        if (box == nullptr) Log("box: none");
        else RecordAndPress(box);
    } else if (name == "nobox") {
        bool any = false;
        DWORD deadline = ::GetTickCount() + static_cast<DWORD>(value * 1000);
        while (static_cast<LONG>(::GetTickCount() - deadline) < 0) {
            if (HWND box = FindTopLevel(kDialogClass, true)) {
                RecordAndPress(box);
                any = true;
            }
            ::Sleep(kPollMs);
        }
        if (!any) Log("nobox");
    } else if (name == "window") {
        HWND window = WaitFor(kUpdaterWindowClass, false, value);
        Log(window == nullptr ? "window: none" : "window: " + Utf8(WindowText(window)));
    } else if (name == "status") {
        HWND window = FindTopLevel(kUpdaterWindowClass, false);
        Log(window == nullptr ? "status: no window" : "status: " + StatusLines(window));
    } else if (name == "click") {
        HWND window = FindTopLevel(kUpdaterWindowClass, false);
        HWND control = window ? ::GetDlgItem(window, static_cast<int>(value)) : nullptr;
        if (control == nullptr) {
            Log("click: no control");
        } else {
            ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<int>(value), BN_CLICKED),
                           reinterpret_cast<LPARAM>(control));
        }
    } else if (name == "text") {
        HWND window = FindTopLevel(kUpdaterWindowClass, false);
        HWND control = window ? ::GetDlgItem(window, static_cast<int>(value)) : nullptr;
        Log(control == nullptr ? "text: no control" : "text: " + Utf8(WindowText(control)));
    } else if (name == "close") {
        HWND window = FindTopLevel(kUpdaterWindowClass, false);
        if (window != nullptr) {
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
            DWORD deadline = ::GetTickCount() + kCloseWaitMs;
            while (::IsWindow(window) && static_cast<LONG>(::GetTickCount() - deadline) < 0) ::Sleep(kPollMs);
        }
        Log(window != nullptr && ::IsWindow(window) ? "open" : "closed");
    } else if (name == "sleep") {
        ::Sleep(static_cast<DWORD>(value));
    } else {
        std::fprintf(stderr, "boxwatch: unknown step %s\n", step.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: boxwatch LOGFILE STEP...\n");
        return 2;
    }
    g_log = std::fopen(argv[1], "ab");
    if (g_log == nullptr) {
        std::fprintf(stderr, "boxwatch: cannot open %s\n", argv[1]);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (!RunStep(argv[i])) return 2;
    }
    std::fclose(g_log);
    return 0;
}
