// boxwatch: reads and dismisses the windows update.exe shows, from outside the program, so
// the end-to-end tests see message boxes and the updater's window as a user would.
//
//   boxwatch.exe LOGFILE STEP...
//     box=S[:B]  wait up to S seconds for a message box; log "box: CAPTION|TEXT|icon=0/1"
//                and press its button B (ok, yes, no, cancel; without B the first of
//                OK, Yes, Cancel, No it has); "box: none" when none came
//     nobox=S    watch S seconds; log every box that comes (and press it), else "nobox"
//     window=S   wait up to S seconds for the updater's window; log "window: TITLE" or
//                "window: none"
//     esc        press Esc in the window (the key as the dialog's own loop gets it); log
//                "esc: no window" when there is none
//     close      press Esc in the window and wait for it to go; log "closed" or "open"
//     syscommand=N  send the window system command N, as its system-menu item does; log
//                "syscommand: no window" when there is none
//     sleep=MS   wait MS milliseconds
// The updater's window is the dialog whose title begins with kUpdaterTitlePrefix; a message
// box is a dialog with the box's text control and no edit field (a file dialog has one).
// The log is UTF-8, one line an observation, appended to.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr const wchar_t* kDialogClass = L"#32770";
constexpr const wchar_t* kUpdaterTitlePrefix = L"\x66F4\x65B0\x5DE5\x5177";  // "更新工具"
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconIds[] = {0x14, 0x440};  // the icon control: Windows, Wine
constexpr int kBoxButtonIds[] = {IDOK, IDYES, IDCANCEL, IDNO};
constexpr DWORD kPollMs = 100;
// A stop request may wait for the update run to wind down before the window goes.
constexpr DWORD kCloseWaitMs = 20000;
constexpr int kTextChars = 4096;
constexpr int kClassChars = 64;

struct NamedButton {
    const char* name;
    int id;
};
constexpr NamedButton kNamedButtons[] = {{"ok", IDOK}, {"yes", IDYES}, {"no", IDNO}, {"cancel", IDCANCEL}};

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

enum class Kind { kMessageBox, kUpdater };

bool IsMessageBox(HWND window) {
    // A file dialog may also hold a static with the box's text id, but never lacks its edit.
    return ::GetDlgItem(window, kBoxTextId) != nullptr && ::FindWindowExW(window, nullptr, L"Edit", nullptr) == nullptr &&
           ::FindWindowExW(window, nullptr, L"ComboBoxEx32", nullptr) == nullptr;
}

bool IsUpdaterWindow(HWND window) {
    if (IsMessageBox(window)) return false;
    std::wstring title = WindowText(window);
    return title.compare(0, std::wcslen(kUpdaterTitlePrefix), kUpdaterTitlePrefix) == 0;
}

struct Search {
    Kind kind;
    HWND found;
};

BOOL CALLBACK FindWindowOfKind(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t cls[kClassChars] = {0};
    ::GetClassNameW(window, cls, kClassChars);
    if (!::IsWindowVisible(window) || std::wcscmp(cls, kDialogClass) != 0) return TRUE;
    if (search->kind == Kind::kMessageBox ? !IsMessageBox(window) : !IsUpdaterWindow(window)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindTopLevel(Kind kind) {
    Search search = {kind, nullptr};
    ::EnumWindows(&FindWindowOfKind, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(Kind kind, double seconds) {
    DWORD deadline = ::GetTickCount() + static_cast<DWORD>(seconds * 1000);
    for (;;) {
        if (HWND found = FindTopLevel(kind)) return found;
        if (static_cast<LONG>(::GetTickCount() - deadline) >= 0) return nullptr;
        ::Sleep(kPollMs);
    }
}

// The id of a button name, 0 for none (the box's first button), -1 for an unknown name.
int ButtonId(const std::string& name) {
    if (name.empty()) return 0;
    for (const NamedButton& button : kNamedButtons) {
        if (name == button.name) return button.id;
    }
    return -1;
}

// Logs the box and presses the button `chosen` (0: the first the box has).
void RecordAndPress(HWND box, int chosen = 0) {
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
        if (chosen != 0 && id != chosen) continue;
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

// Sends the window system command `command`, as a click on its system-menu item does (the
// menu itself is the other process's: Wine does not share it).
void SendSystemCommand(HWND window, UINT command) {
    if (window == nullptr) {
        Log("syscommand: no window");
        return;
    }
    ::PostMessageW(window, WM_SYSCOMMAND, command, 0);
}

// The dialog's own loop turns Esc into its cancel command.
void PressEscape(HWND window) { ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0); }

bool RunStep(const std::string& step) {
    size_t eq = step.find('=');
    std::string name = step.substr(0, eq);
    std::string argument = eq == std::string::npos ? std::string() : step.substr(eq + 1);
    size_t colon = argument.find(':');
    double value = std::atof(argument.c_str());
    if (name == "box") {
        int chosen = ButtonId(colon == std::string::npos ? std::string() : argument.substr(colon + 1));
        if (chosen < 0) {
            std::fprintf(stderr, "boxwatch: unknown button in %s\n", step.c_str());
            return false;
        }
        HWND box = WaitFor(Kind::kMessageBox, value);
        if (box == nullptr) Log("box: none");
        else RecordAndPress(box, chosen);
    } else if (name == "nobox") {
        bool any = false;
        DWORD deadline = ::GetTickCount() + static_cast<DWORD>(value * 1000);
        while (static_cast<LONG>(::GetTickCount() - deadline) < 0) {
            if (HWND box = FindTopLevel(Kind::kMessageBox)) {
                RecordAndPress(box);
                any = true;
            }
            ::Sleep(kPollMs);
        }
        if (!any) Log("nobox");
    } else if (name == "window") {
        HWND window = WaitFor(Kind::kUpdater, value);
        Log(window == nullptr ? "window: none" : "window: " + Utf8(WindowText(window)));
    } else if (name == "esc") {
        HWND window = FindTopLevel(Kind::kUpdater);
        if (window == nullptr) Log("esc: no window");
        else PressEscape(window);
    } else if (name == "close") {
        HWND window = FindTopLevel(Kind::kUpdater);
        if (window != nullptr) {
            PressEscape(window);
            DWORD deadline = ::GetTickCount() + kCloseWaitMs;
            while (::IsWindow(window) && ::IsWindowVisible(window) &&
                   static_cast<LONG>(::GetTickCount() - deadline) < 0) {
                ::Sleep(kPollMs);
            }
        }
        Log(window != nullptr && ::IsWindow(window) && ::IsWindowVisible(window) ? "open" : "closed");
    } else if (name == "syscommand") {
        SendSystemCommand(FindTopLevel(Kind::kUpdater), static_cast<UINT>(value));
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
