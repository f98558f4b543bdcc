// Process-wide configuration values, set once by start-up and never released: the plug-in,
// its platform string, the download-directory override and the installation directory.
#pragma once

#include <string>

#include "platformcfg/update_cfg.h"

// The plug-in's interface object; null until start-up has loaded the plug-in.
iUpdateCfg* GetPlatformConfig();
void SetPlatformConfig(iUpdateCfg* cfg);
// The plug-in's string for `key` ("" without a plug-in or a value), and the same of `cfg`.
const char* CfgString(const char* key);
const char* CfgString(iUpdateCfg* cfg, const char* key);

// The plug-in's "platfrom string" value (GBK), empty when it gave none.
const std::string& GetPlatformString();
void SetPlatformString(const char* text);

// The server directory named by curver.dat; empty means the default directory.
const std::string& GetDownloadDirOverride();
void SetDownloadDirOverride(const std::string& dir);

// The installation directory with a trailing backslash (GBK); "" until start-up sets it.
const std::string& GetInstallDir();
void SetInstallDir(const std::string& dir);
