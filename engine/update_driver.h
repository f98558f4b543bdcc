// The update driver: the body of the worker thread of one update run. A run either applies
// the offline package the player picked, or performs the online update: choose a server,
// check the tool's and the plug-in's own versions, compare the remote update list with the
// local one, then download, verify and apply what is missing. Each stage is announced by a
// status line; progress reaches the window as posted notifications; the run ends by posting
// its result code (UM_UPDATE_DONE).
#pragma once

#include <cstdint>
#include <string>

class Notifier;
class RunServices;
class UpdateEngine;

// The main window as a run sees it.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    // Where the run's notifications go; null when there is no main window.
    virtual Notifier* notifier() = 0;
    // The offline package the player picked (8-bit path), emptied in the window; "" for an
    // online run.
    virtual std::string TakeOfflinePackagePath() = 0;
    // Whether the player asked for this run to be a repair (every installed file checked,
    // what is missing or damaged fetched again); the request is cleared.
    virtual bool TakeRepairRequest() { return false; }
};

// The up-to-date animation: frames per bar, the pause per frame, and the pause once the
// player has interrupted.
constexpr uint32_t kAnimationFrames = 50;
constexpr uint32_t kAnimationFrameMs = 25;
constexpr uint32_t kAnimationStoppedFrameMs = 1;

constexpr const char* kRemoteListFormat = "%supdate.pak";
constexpr const char* kLocalPackName = "patch.dat";

// A full disk met by a write of the run (GBK).
constexpr const char* kTextDiskFull = "磁盘空间不足，文件写入失败，请清理磁盘后重新更新";

// One run: UPD_UP_TO_DATE, UPD_INTERRUPTED, -1 (no server, or the self-update ended the run,
// also after fetching a new tool or plug-in), or the result of the engine or of the offline
// package routine passed through. `window` may be null. *downloadsBegan, when given, tells
// whether the run got as far as fetching the files of an update.
int32_t RunUpdate(UpdateEngine& engine, RunWindow* window, RunServices& services, bool* downloadsBegan = nullptr);

// Whether the installation at the current directory is whole as its last run left it: the
// pack `localPack` holds a readable manifest and the game executable, and no partial
// download waits to be continued.
bool InstallationWhole(const std::string& localPack);

// The worker thread's body: the engine for this run, RunUpdate, the engine released, then
// UM_UPDATE_DONE (result, info) posted to the window, the info (PackRunEndInfo) carrying the
// run's most specific failure cause and whether the game may start although the run could
// not update (a check that reached no server, an applied offline package, on a whole
// installation). A write that met a full disk is named by a status line. Returns the result.
int32_t UpdateThreadProc(RunWindow* window, RunServices& services);
