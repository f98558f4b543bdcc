// Our reference platform configuration plug-in, built as updatecfg.dll. It answers every key
// of the interface from updatecfg.ini beside the DLL and starts the game executable in the
// current directory. Operators replace it with their own; the tool relies only on the
// interface.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platformcfg/reference/settings_file.h"
#include "platformcfg/update_cfg.h"

namespace {

constexpr unsigned kGbkCodePage = 936;
constexpr DWORD kPathChars = 1024;
constexpr int kDefaultFtpPort = 21;
constexpr const char* kFtpIpKeyPrefix = "ftpip";  // settings keys ftpip0 ... ftpip254
constexpr const char* kMissingSettingsText = "找不到平台设置文件 updatecfg.ini，或它无法读取。";
constexpr const char* kPluginCaption = "updatecfg";

// String keys that always get an answer (empty when the settings leave them out), because
// callers use the text without testing it for null. "platfrom string" is not among them:
// a plug-in without a platform name answers null, which callers handle.
const char* const kAnsweredStringKeys[] = {
    kCfgKeyHttpClassic,  kCfgKeyHttp1024,       kCfgKeyFtpAddress,   kCfgKeyFtpAccount,
    kCfgKeyFtpPassword, kCfgKeyFtpDirectory, kCfgKeyFileVersion, kCfgKeyFileUpdate,
};

class Win32File {
public:
    explicit Win32File(HANDLE h) : h_(h) {}
    ~Win32File() {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// The directory of this DLL, with a trailing backslash.
std::wstring ModuleDirectory() {
    HMODULE self = nullptr;
    // FROM_ADDRESS: find the module holding this function; UNCHANGED_REFCOUNT: no new
    // reference to release.
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModuleDirectory), &self);
    std::vector<wchar_t> path(kPathChars);
    DWORD n = ::GetModuleFileNameW(self, path.data(), kPathChars);
    if (n == 0 || n >= kPathChars) return std::wstring();
    std::wstring dir(path.data(), n);
    size_t cut = dir.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : dir.substr(0, cut + 1);
}

bool ReadWholeFile(const std::wstring& path, std::vector<char>& out) {
    // FILE_SHARE_READ: an editor may have it open; no security attributes, no template.
    Win32File file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kSettingsMaxFileBytes)) {
        return false;
    }
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    // No OVERLAPPED: a plain synchronous read.
    if (!out.empty() && (!::ReadFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr) ||
                         got != out.size())) {
        return false;
    }
    return true;
}

std::wstring GbkToWide(const char* text) {
    int n = ::MultiByteToWideChar(kGbkCodePage, 0, text, -1, nullptr, 0);  // 0: default flags
    if (n <= 0) return std::wstring();
    std::vector<wchar_t> wide(n);
    ::MultiByteToWideChar(kGbkCodePage, 0, text, -1, wide.data(), n);
    return std::wstring(wide.data());
}

bool IsAnsweredStringKey(const char* key) {
    for (const char* known : kAnsweredStringKeys) {
        if (std::strcmp(known, key) == 0) return true;
    }
    return false;
}

// A dotted IPv4 address in network byte order, 0 when the text is not one.
int ParseIpv4(const std::string& text) {
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return 0;
    if (a > 255 || b > 255 || c > 255 || d > 255) return 0;
    unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                              static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    int value;
    std::memcpy(&value, bytes, sizeof(value));  // first octet first: network byte order
    return value;
}

class ReferenceCfg : public iUpdateCfg {
public:
    int Initialize(const char* /*commandLine*/) override {
        std::vector<char> data;
        if (!ReadWholeFile(ModuleDirectory() + GbkToWide(kSettingsFileName), data) ||
            !settings_.Parse(data.data(), data.size())) {
            // No owner window: the tool has none yet.
            ::MessageBoxW(nullptr, GbkToWide(kMissingSettingsText).c_str(), GbkToWide(kPluginCaption).c_str(),
                          MB_OK | MB_ICONERROR);
            return 0;
        }
        return 1;
    }

    const char* GetString(const char* key) override {
        if (key == nullptr) return nullptr;
        if (const std::string* value = settings_.Find(key)) return value->c_str();
        return IsAnsweredStringKey(key) ? "" : nullptr;
    }

    int GetInt(const char* key) override {
        if (key == nullptr) return 0;
        if (std::strcmp(key, kCfgKeyFtpIp) == 0) return FtpIp(static_cast<unsigned char>(key[kFtpIpIndexOffset]));
        const std::string* value = settings_.Find(key);
        if (value == nullptr) return std::strcmp(key, kCfgKeyFtpPort) == 0 ? kDefaultFtpPort : 0;
        return static_cast<int>(std::strtol(value->c_str(), nullptr, 10));
    }

    int Launch(const char* exeName) override {
        if (exeName == nullptr || *exeName == '\0') return 0;
        std::vector<wchar_t> dir(kPathChars);
        DWORD n = ::GetCurrentDirectoryW(kPathChars, dir.data());
        if (n == 0 || n >= kPathChars) return 0;
        std::wstring path = std::wstring(dir.data(), n) + L"\\" + GbkToWide(exeName);
        std::wstring commandLine = L"\"" + path + L"\"";  // CreateProcessW may write to it
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        // Application name given, so the game is never looked for on the PATH; no security
        // attributes; no handle inheritance; no creation flags; the tool's environment;
        // the current directory as the game's.
        BOOL ok = ::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   dir.data(), &startup, &process);
        if (!ok) return 0;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return 1;
    }

private:
    int FtpIp(unsigned index) const {
        const std::string* value = settings_.Find(kFtpIpKeyPrefix + std::to_string(index));
        return value == nullptr ? 0 : ParseIpv4(*value);
    }

    SettingsFile settings_;
};

}  // namespace

iUpdateCfg* iUpdateCfg::GetInstance() {
    static ReferenceCfg instance;
    return &instance;
}
