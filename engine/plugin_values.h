// The plug-in values the engine reads: the platform string ("platfrom string", kept for the
// whole process) and the plug-in's own version ("platfrom version", major x 10000 + minor).
// update.exe lends its plug-in adapter once at start-up; paktool and tests lend their own.
#pragma once

#include <cstdint>

class PluginValues {
public:
    virtual ~PluginValues() = default;
    // Null when the plug-in gave none.
    virtual const char* PlatformString() = 0;
    virtual int32_t PlatformVersion() = 0;
};

// Process-wide; the object stays the caller's. Null: no platform string, version 0.
void SetPluginValues(PluginValues* values);
// The platform string, "" when there is none.
const char* CurrentPlatformString();
int32_t CurrentPlatformVersion();

// A fixed set of values (paktool, tests).
class FixedPluginValues : public PluginValues {
public:
    FixedPluginValues(const char* platform, int32_t version) : platform_(platform), version_(version) {}
    const char* PlatformString() override { return platform_; }
    int32_t PlatformVersion() override { return version_; }

private:
    const char* platform_;
    int32_t version_;
};
