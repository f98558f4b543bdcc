#include "platformcfg/platform_config.h"

#include <atomic>

namespace {

std::atomic<iUpdateCfg*> g_platformConfig{nullptr};
std::string g_platformString;
std::string g_downloadDirOverride;

}  // namespace

iUpdateCfg* GetPlatformConfig() { return g_platformConfig.load(); }
void SetPlatformConfig(iUpdateCfg* cfg) { g_platformConfig.store(cfg); }

const char* CfgString(iUpdateCfg* cfg, const char* key) {
    const char* value = cfg != nullptr ? cfg->GetString(key) : nullptr;
    return value != nullptr ? value : "";
}

const char* CfgString(const char* key) { return CfgString(GetPlatformConfig(), key); }

const std::string& GetPlatformString() { return g_platformString; }
void SetPlatformString(const char* text) { g_platformString = text != nullptr ? text : ""; }

const std::string& GetDownloadDirOverride() { return g_downloadDirOverride; }
void SetDownloadDirOverride(const std::string& dir) { g_downloadDirOverride = dir; }

namespace {
std::string g_installDir;
}  // namespace

const std::string& GetInstallDir() { return g_installDir; }
void SetInstallDir(const std::string& dir) { g_installDir = dir; }
