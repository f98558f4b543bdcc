// What the player's commands decide, and the texts and values of their boxes and dialogs.
// The Win32 window shows the boxes and calls the engine; the decisions are made here.
#pragma once

#include <cstdint>
#include <string>

#include "app/edition.h"
#include "app/update_dlg_state.h"

// Caption of the boxes the window owns: the program's name, as the about box names it.
constexpr const char* kAppCaption = "Update";

// The three-way question of a stop request while files download.
constexpr const char* kStopPromptText =
    " 是  - 保存已经下载成功的数据，并停留于当前界面\r\n 否  - 不保存任何数据，并退出更新界面\r\n取消 - 放弃中断操作";
constexpr const char* kStopPromptCaption = "更新操作正在进行中，请选择你所希望的中断方式";

constexpr const char* kTextLaunchFailed = "最终的游戏启动过程失败！";

// Initialisation failures of the window.
constexpr const char* kTextColourDepth = "请将桌面的色深设置为16位或32位";
constexpr const char* kTextProgressBarInit = "初始化更新进度条失败";
constexpr const char* kCaptionStartFailed = "启动失败";

// The offline package picker. The filter is in the '|'-separated form: the caller turns
// each '|' into a NUL.
constexpr const char* kOfflinePackageInitialName = "选择离线更新包";
constexpr const char* kOfflinePackageDefaultExt = "olp";
constexpr const char* kOfflinePackageFilter = "离线更新包 ( *.olp )|*.olp||";

// The product's web site, opened in the default browser by the website button.
constexpr const char* kWebsiteAddress = "https://kvo.example.com/";

// The system-menu commands (masked with 0xFFF0): the about box, and a repair run.
constexpr uint32_t kAboutCommand = 16;
constexpr uint32_t kRepairCommand = 32;
// The repair item of the system menu, and its answer while a run goes on.
constexpr const char* kRepairMenuText = "检查并修复游戏文件(&R)";
constexpr const char* kTextRepairBusy = "当前正在更新资源，请在更新结束后再检查并修复游戏文件";

enum class StartAction {
    kMoveOnly,       // nothing but the window move
    kUpdateAgain,    // start a new run (the last one stopped or lost files)
    kLaunchGame,     // start the game and end the dialog
    kAskGameOrRun,   // the last run could not update a whole installation: ask which
};

// The question of kAskGameOrRun: Yes starts the game, No starts a new run, Cancel neither.
constexpr const char* kGameOrRunPromptText =
    "本次未能完成更新检查，当前游戏文件完整。\r\n 是  - 开始游戏\r\n 否  - 重新更新\r\n取消 - 返回";
constexpr const char* kGameOrRunPromptCaption = "开始游戏";
// The start button, from the worker state, the offer of the game, the bar and StopFlag /
// FailedFileCount.
StartAction DecideStart(const UpdateDlgState& state);

enum class StopAction {
    kEndDialog,     // no worker: end the dialog as cancelled
    kNothing,       // the engine is already stopping
    kAskHowToStop,  // a file finished while downloading: Yes keep / No discard / Cancel
    kStopDiscard,   // ApplyStopDiscard, then stop the engine discarding
};
// The stop request (Esc, the system close).
StopAction DecideStop(const UpdateDlgState& state, bool engineStopping);

// StopFlag for a stop that keeps what was downloaded (the engine then stops keeping).
void ApplyStopAnswerKeep();
// StopFlag for a stop that discards (the engine then stops discarding).
void ApplyStopDiscard();
// Before stopping a running worker for a chosen offline package: the interrupted run then
// shows no text and the package's run follows.
void PrepareOfflinePackageStop();

// "更新工具2.23  [platform] [800版本]": the window title.
std::string WindowTitle(const char* platform, int32_t edition);
// The plug-in key of the web page the window shows for `edition`.
const char* BrowserPageKey(int32_t edition);
