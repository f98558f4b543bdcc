#include "app/update_result.h"

#include <cstdio>

#include "common/run_state.h"
#include "common/update_codes.h"

namespace {

constexpr const char* kTextFailedFiles = "下载过程中有%d个文件下载失败，请重新更新，继续下载剩余的文件！";
constexpr const char* kTextDone = "更新完毕，请点击开始游戏按扭，启动游戏";
constexpr const char* kTextUpToDate = "已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏";
constexpr const char* kTextPackageApplied = "已经成功应用更新包，请重新更新，继续下载剩余的文件！";
constexpr const char* kTextFetchInfoFailed = "获取更新信息失败";
constexpr const char* kTextFileFailed = "文件下载失败";
constexpr const char* kTextBadData = "更新相关数据有误";
constexpr const char* kTextOpenPackFailed = "打开本地压缩包失败";
constexpr const char* kTextRebuildFailed = "本地压缩包重组失败";
constexpr const char* kTextInterruptedResume = "更新已经中断，请重新更新，继续下载剩余的文件！";
constexpr const char* kTextInterrupted = "更新已经中断！";
constexpr size_t kFailedTextBytes = 1024;
// Between the cause and the result text, and before the offer of the game.
constexpr const char* kTextJoin = "，";
constexpr const char* kTextGameOffered = "无法检查更新，可开始游戏";

RunEndView Plain(const char* text) { return RunEndView{text, false, false, kBarUnchanged, false, false}; }
// A run that installed everything: the bar ends full, whatever the byte counts reached (a
// file that travelled wrapped arrives in fewer bytes than its record says), so the start
// button starts the game.
RunEndView Finished(const char* text) { return RunEndView{text, true, false, kBarUnchanged, false, false}; }
// A partial or failed run: the bar full in the error state.
RunEndView Full(const char* text) { return RunEndView{text, true, false, kBarError, false, false}; }
// As Full, and the run counts as stopped, so the start button offers a new run.
RunEndView FullStopped(const char* text) { return RunEndView{text, true, false, kBarError, true, false}; }
RunEndView FullInterrupted(const char* text, bool close) {
    return RunEndView{text, true, close, kBarInterrupted, false, false};
}

RunEndView Interrupted(const RunEnd& end) {
    const bool midway = end.phase == kPhaseDownloading || end.phase == kPhaseStepping;
    if (midway && end.stopFlag != kStopDiscard) return FullInterrupted(kTextInterruptedResume, false);
    if (end.interruptNotice) return FullInterrupted(kTextInterrupted, false);
    return FullInterrupted("", true);
}

// A failed run's text: its cause first (the window may cut a long line at its end), then the
// result text; a check that reached no server on a whole installation also offers the game.
RunEndView Failed(const RunEndInfo& info, RunEndView view) {
    const char* cause = FailureCauseText(info.cause);
    if (*cause != '\0' && !view.text.empty()) view.text = cause + std::string(kTextJoin) + view.text;
    if (info.gameStartable) {
        view.gameOffered = true;
        if (!view.text.empty()) view.text += kTextJoin;
        view.text += kTextGameOffered;
    }
    return view;
}

RunEndView ViewOfResult(const RunEnd& end) {
    switch (end.result) {
        case UPD_DONE:
            if (end.failedFiles != 0) {
                char text[kFailedTextBytes];
                std::snprintf(text, sizeof(text), kTextFailedFiles, static_cast<int>(end.failedFiles));
                return Full(text);
            }
            return Finished(kTextDone);
        case UPD_UP_TO_DATE: return Plain(kTextUpToDate);
        case UPD_PACKAGE_APPLIED: return FullStopped(kTextPackageApplied);
        // Every failed run leaves the start button offering a new run ("重新更新"): the player
        // never has to restart the program to try again.
        case UPD_E_FETCH: return FullStopped(end.phase == kPhaseChecking ? kTextFetchInfoFailed : kTextFileFailed);
        case UPD_E_DATA: return FullStopped(kTextBadData);
        case UPD_E_OPEN_PACK: return FullStopped(kTextOpenPackFailed);
        case UPD_E_REBUILD_PACK: return FullStopped(kTextRebuildFailed);
        case UPD_INTERRUPTED: return Interrupted(end);
        // The status line already names the space still needed; it stays.
        case UPD_E_DISK_SPACE: return FullStopped("");
        // A run that ended another way (no server, no version file, a request given up): its
        // sender's line says why; the run's text and the new run follow all the same.
        default: return FullStopped(end.phase == kPhaseChecking ? kTextFetchInfoFailed : kTextFileFailed);
    }
}

}  // namespace

RunEndView ViewOfRunEnd(const RunEnd& end, const RunEndInfo& info) {
    RunEndView view = ViewOfResult(end);
    switch (end.result) {
        case UPD_UP_TO_DATE:
        case UPD_INTERRUPTED: return view;
        case UPD_DONE: return end.failedFiles != 0 ? Failed(info, view) : view;
        // The package's text stays as it is; the start button also offers the game.
        case UPD_PACKAGE_APPLIED:
            view.gameOffered = info.gameStartable;
            return view;
        default: return Failed(info, view);
    }
}
