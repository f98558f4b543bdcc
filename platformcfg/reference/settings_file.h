// The reference plug-in's settings file: a small INI file of GBK text, read byte for byte
// (no code page conversion), so it reads the same on every system language.
//
//   ; comment            # comment
//   [updatecfg]
//   ftp address = 127.0.0.1
//
// Only keys inside the [updatecfg] section count. Key names are matched exactly; spaces
// and tabs around keys and values are dropped. Lines end with LF or CR LF.
#pragma once

#include <cstddef>
#include <map>
#include <string>

constexpr const char* kSettingsFileName = "updatecfg.ini";
constexpr const char* kSettingsSection = "updatecfg";
constexpr size_t kSettingsMaxFileBytes = 64 * 1024;  // larger files are refused

class SettingsFile {
public:
    // Parses the text; false (and no keys) when it is larger than kSettingsMaxFileBytes.
    bool Parse(const char* data, size_t size);
    // The value of a key, or null when the file does not set it.
    const std::string* Find(const std::string& key) const;

private:
    std::map<std::string, std::string> values_;
};
