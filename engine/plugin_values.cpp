#include "engine/plugin_values.h"

#include <atomic>

namespace {
std::atomic<PluginValues*> g_pluginValues{nullptr};
}

void SetPluginValues(PluginValues* values) { g_pluginValues.store(values); }

const char* CurrentPlatformString() {
    PluginValues* values = g_pluginValues.load();
    const char* text = values != nullptr ? values->PlatformString() : nullptr;
    return text != nullptr ? text : "";
}

int32_t CurrentPlatformVersion() {
    PluginValues* values = g_pluginValues.load();
    return values != nullptr ? values->PlatformVersion() : 0;
}
