// Loading the platform configuration plug-in (Windows only).
#pragma once

#include "platformcfg/update_cfg.h"

constexpr const char* kPluginFileName = "updatecfg.dll";

enum class PluginLoadResult {
    kLoaded,
    kLibraryMissing,  // the DLL could not be loaded
    kFactoryMissing,  // the DLL has no factory export under its exact decorated name
    kNoInstance,      // the factory returned null
};

struct PluginLoad {
    PluginLoadResult result;
    iUpdateCfg* cfg;  // set only for kLoaded
};

// Loads `dllName` and calls its factory. On success the module stays loaded for the rest of
// the process (the interface object is never released); on any failure it is unloaded.
PluginLoad LoadPlatformPlugin(const char* dllName = kPluginFileName);
