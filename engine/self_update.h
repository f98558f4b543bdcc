// Self-update: before an online run looks at the game's files, the tool and its plug-in
// are compared with the versions the server announces, and a newer one is fetched.
//
// A new "update.exe" or "updatecfg.dll" is downloaded to a temporary file beside the
// installed one and put in its place in one step only once it is complete, so a failed or
// stalled download never leaves a truncated or missing tool or plug-in.
#pragma once

#include <cstdint>

#include "engine/own_files.h"

class ProgressSink;
class ServerSession;

// CheckSelfUpdate's answers besides UPD_E_FETCH (a local file could not be made writable,
// a download or the replacement failed).
constexpr int32_t kSelfUpdateGoOn = 1;  // nothing to replace: the run goes on
constexpr int32_t kSelfUpdateStop = 0;  // unusable version file, failed size query, or replaced (UM_RESTART posted)

constexpr uint32_t kVersionFileBytes = 128;  // only this much of the version file is read

// The environment variable a restart after a replaced tool or plug-in sets for the new
// process (inherited through the launcher); start-up takes it out again.
constexpr const char* kRestartedEnvironmentName = "KVO_UPDATE_RESTARTED";

// Whether this process is the restart that follows a replaced tool or plug-in; set once at
// start-up. Such a process that still finds itself older than the version file announces
// (a tool published with a lower version than announced) does not fetch itself again: it
// says so in a status line and goes on, instead of replacing and restarting itself on
// every start.
void SetStartedByRestart(bool restarted);
bool StartedByRestart();

// Reads the version file named by the plug-in's "file version" and replaces the tool
// ("file update") and the plug-in ("<ftp directory><version>_updatecfg.dll") when the
// server has newer ones. Files are addressed in the current (installation) directory.
int32_t CheckSelfUpdate(ServerSession& session, ProgressSink* sink);
