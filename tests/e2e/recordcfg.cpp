// recordcfg.dll: a stand-in plug-in for the end-to-end tests, installed as updatecfg.dll.
// It appends every call it gets to plugin_calls.txt in the current directory, as
// "initialize <command line>" and "launch <name>", answers "platfrom string" with
// "recording", and refuses Initialize when a file named refuse_initialize sits beside it.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platformcfg/update_cfg.h"

namespace {

constexpr const char* kCallsFile = "plugin_calls.txt";
constexpr const char* kRefuseMarker = "refuse_initialize";
constexpr const char* kPlatformName = "recording";

void Record(const char* what, const char* text) {
    if (FILE* f = std::fopen(kCallsFile, "ab")) {
        std::fprintf(f, "%s %s\n", what, text ? text : "(null)");
        std::fclose(f);
    }
}

class RecordingCfg : public iUpdateCfg {
public:
    int Initialize(const char* commandLine) override {
        Record("initialize", commandLine);
        return ::GetFileAttributesA(kRefuseMarker) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
    }
    const char* GetString(const char* key) override {
        return key != nullptr && std::strcmp(key, kCfgKeyPlatformString) == 0 ? kPlatformName : "";
    }
    int GetInt(const char*) override { return 0; }
    int Launch(const char* exeName) override {
        Record("launch", exeName);
        return 1;
    }
};

}  // namespace

iUpdateCfg* iUpdateCfg::GetInstance() {
    static RecordingCfg instance;
    return &instance;
}
