// Self-update: before an online run looks at the game's files, the tool and its plug-in
// are compared with the versions the server announces, and a newer one is fetched.
//
// A new "update.exe" or "updatecfg.dll" is downloaded to a temporary file beside the
// installed one and put in its place in one step only once it is complete, so a failed or
// stalled download never leaves a truncated or missing tool or plug-in.
#pragma once

#include <cstdint>

class ProgressSink;
class ServerSession;

// CheckSelfUpdate's answers besides UPD_E_FETCH (a local file could not be made writable,
// a download or the replacement failed).
constexpr int32_t kSelfUpdateGoOn = 1;  // nothing to replace: the run goes on
constexpr int32_t kSelfUpdateStop = 0;  // unusable version file, failed size query, or replaced (UM_RESTART posted)

constexpr uint32_t kVersionFileBytes = 128;  // only this much of the version file is read
constexpr int32_t kPluginVersionBase = 10000;  // plug-in versions: major x 10000 + minor

constexpr const char* kInstalledToolName = "update.exe";
constexpr const char* kInstalledPluginName = "updatecfg.dll";
// A loaded plug-in cannot be replaced in place; it is moved aside under this suffix and
// the left-over is removed by a later run.
constexpr const char* kSelfUpdateAsideSuffix = ".kvoold";

// Reads the version file named by the plug-in's "file version" and replaces the tool
// ("file update") and the plug-in ("<ftp directory><version>_updatecfg.dll") when the
// server has newer ones. Files are addressed in the current (installation) directory.
int32_t CheckSelfUpdate(ServerSession& session, ProgressSink* sink);

// Whether the installed plug-in version `installed` must give way to the server's `server`:
// the majors differ (in either direction) or the installed minor is lower.
bool PluginNeedsUpdate(int32_t installed, int32_t server);
