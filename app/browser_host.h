// The web page of the main window: the platform's web browser control, hosted in a child
// window through atl.dll's ActiveX host class (Windows only).
#pragma once

#include <windows.h>

struct IWebBrowser2;

// Text of the browser control's class id; the host window takes it as its window text.
constexpr const wchar_t* kWebBrowserClassId = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// COM (single-threaded apartment, with OLE) on the calling thread for a scope. The browser
// control needs it on the window's thread.
class OleScope {
public:
    OleScope();
    ~OleScope();
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool initialised_ = false;
};

class BrowserHost {
public:
    BrowserHost() = default;
    ~BrowserHost();
    BrowserHost(const BrowserHost&) = delete;
    BrowserHost& operator=(const BrowserHost&) = delete;

    // Creates the control as child `controlId` of `parent` at the given client place and
    // shows it. False when atl.dll, its host class or the control is not available: the
    // window then simply has no page.
    bool Create(HWND parent, int controlId, int x, int y, int width, int height);
    // Opens `address` in the control (no flags, target, post data or headers). Nothing
    // without a control or for an empty address.
    void Navigate(const wchar_t* address);
    HWND window() const { return window_; }
    // Lets the control's interface go (the window goes with its parent); the destructor does
    // the same. Call it while OLE is still initialised on this thread.
    void Release();

private:
    HWND window_ = nullptr;            // destroyed with its parent
    IWebBrowser2* browser_ = nullptr;  // released with the host
};
