// Game launch: write the game executable out of patch.dat to a numbered copy and have the
// platform plug-in start it.
#pragma once

#include <string>

#include "platformcfg/update_cfg.h"

constexpr const char* kGameExecutableMember = "mainclient.exe";
constexpr const char* kGameCopyFormat = "kvo%02d.exe";  // kvo00.exe ... kvo09.exe
constexpr int kGameCopySlots = 10;
constexpr const char* kDownloadTempPattern = "KVO*.*";
constexpr const char* kGameDataErrorText = "patch.dat数据错误";

// With the process-wide plug-in and installation directory.
bool StartGameClient();

// Opens installDir + "patch.dat" (failure ignored) and reads "mainclient.exe" with the
// current pack open mode; clears the downloads' KVO* temporary files; reuses the first of
// kvo00.exe..kvo09.exe in the current directory that is identical to it, or writes the
// copy to the first name that is free or can be freed, and calls cfg->Launch with that
// name. False (after the message "patch.dat数据错误") when the executable cannot be read
// whole; true otherwise, whether or not a copy could be started.
bool StartGameClient(iUpdateCfg* cfg, const std::string& installDir);
