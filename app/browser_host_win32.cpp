#include "app/browser_host.h"

#include <exdisp.h>
#include <ole2.h>
#include <oleauto.h>

namespace {

constexpr const wchar_t* kAtlLibrary = L"atl.dll";
constexpr const char* kAtlInitExport = "AtlAxWinInit";
constexpr const char* kAtlGetControlExport = "AtlAxGetControl";
constexpr const wchar_t* kAtlHostClass = L"AtlAxWin";

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// atl.dll's two entry points, looked up once. The library stays loaded for the process:
// its host windows live until their parent is destroyed, after the dialog's own clean-up.
struct AtlEntries {
    HMODULE module = nullptr;
    AtlAxGetControlFn getControl = nullptr;
    bool ready = false;
};

const AtlEntries& Atl() {
    static const AtlEntries entries = [] {
        AtlEntries e;
        e.module = ::LoadLibraryW(kAtlLibrary);
        if (e.module == nullptr) return e;
        auto init = reinterpret_cast<AtlAxWinInitFn>(
            reinterpret_cast<void*>(::GetProcAddress(e.module, kAtlInitExport)));
        e.getControl = reinterpret_cast<AtlAxGetControlFn>(
            reinterpret_cast<void*>(::GetProcAddress(e.module, kAtlGetControlExport)));
        e.ready = init != nullptr && e.getControl != nullptr && init() != FALSE;
        return e;
    }();
    return entries;
}

}  // namespace

OleScope::OleScope() {
    // Null: reserved, must be null.
    const HRESULT result = ::OleInitialize(nullptr);
    initialised_ = SUCCEEDED(result);
}

OleScope::~OleScope() {
    if (initialised_) ::OleUninitialize();
}

BrowserHost::~BrowserHost() { Release(); }

void BrowserHost::Release() {
    if (browser_ != nullptr) browser_->Release();
    browser_ = nullptr;
}

bool BrowserHost::Create(HWND parent, int controlId, int x, int y, int width, int height) {
    const AtlEntries& atl = Atl();
    if (!atl.ready) return false;
    // The host class creates the control named by the window text. No extended style, no
    // creation data; the host class is atl.dll's, so its module is the instance.
    window_ = ::CreateWindowExW(0, kAtlHostClass, kWebBrowserClassId, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y,
                                width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                atl.module, nullptr);
    if (window_ == nullptr) return false;
    IUnknown* control = nullptr;
    if (FAILED(atl.getControl(window_, &control)) || control == nullptr) return false;
    const HRESULT asked = control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
    control->Release();
    if (FAILED(asked)) browser_ = nullptr;
    return browser_ != nullptr;
}

void BrowserHost::Navigate(const wchar_t* address) {
    if (browser_ == nullptr || address == nullptr || *address == L'\0') return;
    BSTR url = ::SysAllocString(address);
    if (url == nullptr) return;
    VARIANT none;
    ::VariantInit(&none);  // VT_EMPTY: no flags, target frame, post data or headers
    browser_->Navigate(url, &none, &none, &none, &none);
    ::SysFreeString(url);
}
