#include "platform/system_proxy.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

constexpr const char kInternetSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char kProxyEnableValue[] = "ProxyEnable";
constexpr const char kProxyServerValue[] = "ProxyServer";
constexpr const char kProxyOverrideValue[] = "ProxyOverride";
// A longer setting than this is no proxy setting a player made.
constexpr DWORD kMaxSettingBytes = 8192;

// Closes the key when the holder goes.
class OpenedKey {
public:
    OpenedKey() = default;
    ~OpenedKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string ReadText(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    // No reserved argument; the first call only asks for the size.
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size == 0 || size > kMaxSettingBytes) {
        return std::string();
    }
    std::vector<char> text(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
        return std::string();
    }
    return std::string(text.data());
}

}  // namespace

SystemProxySettings ReadSystemProxySettings() {
    SystemProxySettings settings;
    OpenedKey key;
    // No options; read access only.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        return settings;
    }
    DWORD enabled = 0;
    DWORD type = 0;
    DWORD size = sizeof(enabled);
    // No reserved argument.
    if (RegQueryValueExA(key.get(), kProxyEnableValue, nullptr, &type, reinterpret_cast<BYTE*>(&enabled), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || enabled == 0) {
        return settings;
    }
    settings.servers = ReadText(key.get(), kProxyServerValue);
    settings.bypass = ReadText(key.get(), kProxyOverrideValue);
    return settings;
}

}  // namespace platform
