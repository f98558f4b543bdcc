// recordcfg.dll: a stand-in plug-in for the end-to-end tests, installed as updatecfg.dll.
// It appends every call it gets to plugin_calls.txt in the current directory, as
// "initialize <command line>" and "launch <name>", answers "platfrom string" with
// "recording", and refuses Initialize when a file named refuse_initialize sits beside it.
// Every other key is answered from the [updatecfg] section of updatecfg.ini in the current
// directory (the reference plug-in's settings), so a test can name its update server.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platformcfg/update_cfg.h"

namespace {

constexpr const char* kCallsFile = "plugin_calls.txt";
constexpr const char* kRefuseMarker = "refuse_initialize";
constexpr const char* kPlatformName = "recording";
constexpr const char* kSettingsFile = ".\\updatecfg.ini";  // with a directory: not the Windows one
constexpr const char* kSettingsSection = "updatecfg";
constexpr const char* kFtpIpKeyPrefix = "ftpip";  // settings keys ftpip0, ftpip1, ...
constexpr DWORD kValueChars = 1024;
constexpr int kAnswerSlots = 8;  // answers are lent: a few stay valid while the caller copies them

void Record(const char* what, const char* text) {
    if (FILE* f = std::fopen(kCallsFile, "ab")) {
        std::fprintf(f, "%s %s\n", what, text ? text : "(null)");
        std::fclose(f);
    }
}

std::string Setting(const char* key) {
    char value[kValueChars] = {0};
    ::GetPrivateProfileStringA(kSettingsSection, key, "", value, kValueChars, kSettingsFile);
    return value;
}

// A dotted IPv4 address in network byte order, 0 when the text is not one.
int ParseIpv4(const std::string& text) {
    unsigned a, b, c, d;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4 || a > 255 || b > 255 || c > 255 || d > 255) {
        return 0;
    }
    unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                              static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    int value;
    std::memcpy(&value, bytes, sizeof(value));  // first octet first
    return value;
}

class RecordingCfg : public iUpdateCfg {
public:
    int Initialize(const char* commandLine) override {
        Record("initialize", commandLine);
        return ::GetFileAttributesA(kRefuseMarker) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
    }
    const char* GetString(const char* key) override {
        if (key == nullptr) return "";
        if (std::strcmp(key, kCfgKeyPlatformString) == 0) return kPlatformName;
        std::string& slot = answers_[next_++ % kAnswerSlots];
        slot = Setting(key);
        return slot.c_str();
    }
    int GetInt(const char* key) override {
        if (key == nullptr) return 0;
        if (std::strcmp(key, kCfgKeyFtpIp) == 0) {
            unsigned index = static_cast<unsigned char>(key[kFtpIpIndexOffset]);
            return ParseIpv4(Setting((kFtpIpKeyPrefix + std::to_string(index)).c_str()));
        }
        return std::atoi(Setting(key).c_str());
    }
    int Launch(const char* exeName) override {
        Record("launch", exeName);
        return 1;
    }

private:
    std::string answers_[kAnswerSlots];
    std::atomic<unsigned> next_{0};
};

}  // namespace

iUpdateCfg* iUpdateCfg::GetInstance() {
    static RecordingCfg instance;
    return &instance;
}
