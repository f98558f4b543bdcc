// What the main window counts and shows for the worker's notifications: message sequences
// against the bar, the counters, the prefix and the window's reaction.
#include "app/update_dlg_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/update_commands.h"
#include "common/update_codes.h"
#include "res/resource.h"
#include "tests/app/run_words.h"

namespace {

// A pseudo message number for the skin timer in a sequence.
constexpr uint32_t kTimerTick = 0;

struct Step {
    uint32_t message;
    uint32_t wParam;
    uint32_t lParam;
    const char* text;  // UM_STATUS_TEXT
    uint64_t ms;
};

Step Msg(uint32_t message, uint32_t wParam = 0, uint32_t lParam = 0, uint64_t ms = 0) {
    return Step{message, wParam, lParam, nullptr, ms};
}
Step Status(const char* text) { return Step{UM_STATUS_TEXT, 0, 0, text, 0}; }
Step Tick(uint64_t ms) { return Step{kTimerTick, 0, 0, nullptr, ms}; }

DlgReaction Feed(UpdateDlgState& state, const Step& step, bool packagePending = false) {
    if (step.message == UM_STATUS_TEXT) return state.OnStatusText(step.text);
    if (step.message == kTimerTick) return state.OnTimer(step.ms);
    return state.OnNotification(step.message, step.wParam, step.lParam, step.ms, packagePending);
}

// What the last step of a sequence answers.
struct Answer {
    bool handled;
    bool defaultProcessing;
    bool redraw;
};

struct Counters {
    uint32_t position;
    uint32_t total;
    int32_t barState;
    uint32_t phase;
    int32_t files;
    uint32_t bytesLeft;
    uint32_t fileBase;
};

struct SequenceCase {
    const char* name;
    std::vector<Step> steps;  // fed after StartRun()
    Counters expect;
    std::string prefix;
    Answer answer;
};

void ExpectCounters(const UpdateDlgState& s, const Counters& c, const char* name) {
    EXPECT_EQ(s.progress.position(), c.position) << name;
    EXPECT_EQ(s.progress.total(), c.total) << name;
    EXPECT_EQ(s.progress.state(), c.barState) << name;
    EXPECT_EQ(s.phase, c.phase) << name;
    EXPECT_EQ(s.filesShown, c.files) << name;
    EXPECT_EQ(s.bytesLeft, c.bytesLeft) << name;
    EXPECT_EQ(s.fileBase, c.fileBase) << name;
}

TEST(UpdateDlgStateTest, NotificationSequences) {
    const uint32_t big = 4000000000u;
    const std::vector<SequenceCase> cases = {
        {"phase begin counts bytes without a redraw",
         {Msg(UM_PHASE_BEGIN, 3, 5000)},
         {0, 5000, kBarCounting, kPhaseDownloading, 3, 5000, 0},
         "",
         {true, false, false}},
        {"progress adds to the position the file began at",
         {Msg(UM_PHASE_BEGIN, 2, 5000), Msg(UM_FILE_BEGIN), Msg(UM_FILE_PROGRESS, 1000), Msg(UM_FILE_END, 2000),
          Msg(UM_FILE_BEGIN), Msg(UM_FILE_PROGRESS, 500)},
         {2500, 5000, kBarCounting, kPhaseDownloading, 2, 2500, 2000},
         "",
         {true, false, false}},
        {"progress while checking leaves the bar but recomputes bytes left",
         {Msg(UM_FILE_BEGIN), Msg(UM_FILE_PROGRESS, 40), Msg(UM_FILE_END, 90)},
         {0, 100, kBarIdle, kPhaseChecking, 0, 100, 0},
         "",
         {true, false, false}},
        {"an over-long count stops at the total",
         {Msg(UM_PHASE_BEGIN, 1, 1000), Msg(UM_FILE_BEGIN), Msg(UM_FILE_PROGRESS, 5000)},
         {1000, 1000, kBarCounting, kPhaseDownloading, 1, 0, 0},
         "",
         {true, false, false}},
        {"a count near 2^32 does not wrap below the total",
         {Msg(UM_PHASE_BEGIN, 2, big), Msg(UM_FILE_BEGIN), Msg(UM_FILE_END, 3000000000u), Msg(UM_FILE_BEGIN),
          Msg(UM_FILE_PROGRESS, 2000000000u)},
         {big, big, kBarCounting, kPhaseDownloading, 2, 0, 3000000000u},
         "",
         {true, false, false}},
        {"a smaller phase total pulls the position down",
         {Msg(UM_STEP_BEGIN, 100, 80), Msg(UM_PHASE_BEGIN, 4, 50)},
         {50, 50, kBarCounting, kPhaseDownloading, 4, 50, 0},
         "",
         {true, false, false}},
        {"2047 bytes left show as 1 KB",
         {Msg(UM_PHASE_BEGIN, 3, 2047), Status("下载\r\n")},
         {0, 2047, kBarCounting, kPhaseDownloading, 3, 2047, 0},
         "[3 Files][1 KB] : ",
         {true, true, true}},
        {"2048 bytes left show as 2 KB",
         {Msg(UM_PHASE_BEGIN, 3, 2048), Status("下载\r\n")},
         {0, 2048, kBarCounting, kPhaseDownloading, 3, 2048, 0},
         "[3 Files][2 KB] : ",
         {true, true, true}},
        {"no files shown: no prefix",
         {Status("检查\r\n")},
         {0, 100, kBarIdle, kPhaseChecking, 0, 0, 0},
         "",
         {true, true, true}},
        {"step begin steps with a redraw",
         {Msg(UM_STEP_BEGIN, 10, 3)},
         {3, 10, kBarStepping, kPhaseStepping, 0, 0, 0},
         "",
         {true, true, true}},
        {"step begin clamps its start",
         {Msg(UM_STEP_BEGIN, 10, 30)},
         {10, 10, kBarStepping, kPhaseStepping, 0, 0, 0},
         "",
         {true, true, true}},
        {"a step goes on to default processing without a redraw",
         {Msg(UM_STEP_BEGIN, 10, 3), Msg(UM_STEP, 7)},
         {7, 10, kBarStepping, kPhaseStepping, 0, 0, 0},
         "",
         {true, true, false}},
        {"step end clamps and answers alone",
         {Msg(UM_STEP_BEGIN, 10, 3), Msg(UM_STEP_END, 20)},
         {10, 10, kBarStepping, kPhaseStepping, 0, 0, 0},
         "",
         {true, false, false}},
        {"files left shows the remaining count",
         {Msg(UM_STEP_BEGIN, 5, 0), Msg(UM_FILES_LEFT, 2, 5)},
         {0, 5, kBarStepping, kPhaseStepping, 3, 0, 0},
         "[3 Files][0 KB] : ",
         {true, true, true}},
        {"the same files-left count twice redraws once",
         {Msg(UM_STEP_BEGIN, 5, 0), Msg(UM_FILES_LEFT, 2, 5), Msg(UM_FILES_LEFT, 2, 5)},
         {0, 5, kBarStepping, kPhaseStepping, 3, 0, 0},
         "[3 Files][0 KB] : ",
         {true, true, false}},
        {"files left down to none hides the prefix",
         {Msg(UM_FILES_LEFT, 2, 5), Msg(UM_FILES_LEFT, 5, 5)},
         {0, 100, kBarIdle, kPhaseChecking, 0, 0, 0},
         "",
         {true, true, true}},
        {"file progress while stepping moves the bar",
         {Msg(UM_STEP_BEGIN, 10, 2), Msg(UM_FILE_BEGIN), Msg(UM_FILE_PROGRESS, 5)},
         {7, 10, kBarStepping, kPhaseStepping, 0, 3, 2},
         "",
         {true, false, false}},
        {"the message nobody sends is left to default processing",
         {Msg(1128, 1, 1)},
         {0, 100, kBarIdle, kPhaseChecking, 0, 0, 0},
         "",
         {false, false, false}},
    };
    for (const SequenceCase& c : cases) {
        RunWords words;
        UpdateDlgState state;
        state.StartRun();
        DlgReaction last;
        for (const Step& step : c.steps) last = Feed(state, step);
        ExpectCounters(state, c.expect, c.name);
        EXPECT_EQ(state.counterPrefix, c.prefix) << c.name;
        EXPECT_EQ(last.handled, c.answer.handled) << c.name;
        EXPECT_EQ(last.defaultProcessing, c.answer.defaultProcessing) << c.name;
        EXPECT_EQ(last.redrawStatusLine, c.answer.redraw) << c.name;
        EXPECT_TRUE(last.resultText.empty()) << c.name;
    }
}

TEST(UpdateDlgStateTest, StatusLineKeepsTextAndPrefix) {
    UpdateDlgState state;
    state.StartFirstRun();
    Feed(state, Msg(UM_PHASE_BEGIN, 2, 4096));
    Feed(state, Status("正在下载 a.dat\r\n"));
    EXPECT_EQ(state.StatusLine(), "[2 Files][4 KB] : 正在下载 a.dat\r\n");
    EXPECT_EQ(state.StatusLineToDraw(), "[2 Files][4 KB] : 正在下载 a.dat");
    // The prefix follows the counters only when the status line is renewed.
    Feed(state, Msg(UM_FILE_BEGIN));
    Feed(state, Msg(UM_FILE_END, 2048));
    EXPECT_EQ(state.counterPrefix, "[2 Files][4 KB] : ");
    Feed(state, Status("完成\r\n"));
    EXPECT_EQ(state.StatusLineToDraw(), "[2 Files][2 KB] : 完成");
}

struct DrawCase {
    const char* name;
    const char* text;
    std::string drawn;
};

TEST(UpdateDlgStateTest, DrawnLineLosesItsLastTwoCharacters) {
    const DrawCase cases[] = {
        {"status with CR LF", "更新完毕\r\n", "更新完毕"},
        {"only CR LF", "\r\n", ""},
        {"one character", "\n", ""},
        {"empty", "", ""},
        {"double-byte characters are dropped whole", "ab中文", "ab"},
        {"a lone lead byte at the end", "abc\xD6", "ab"},
    };
    for (const DrawCase& c : cases) {
        UpdateDlgState state;
        state.OnStatusText(c.text);
        EXPECT_EQ(state.StatusLineToDraw(), c.drawn) << c.name;
    }
}

struct ResultCase {
    const char* name;
    std::vector<Step> run;  // before UM_UPDATE_DONE
    int32_t stopFlag;
    uint32_t failedFiles;
    int32_t interruptNotice;
    bool packagePending;
    int32_t result;
    std::string text;
    uint32_t position;
    int32_t barState;
    int32_t stopFlagAfter;
    bool startPendingRun;
    bool close;
};

TEST(UpdateDlgStateTest, RunResults) {
    const std::vector<Step> downloading = {Msg(UM_PHASE_BEGIN, 4, 1000), Msg(UM_FILE_BEGIN),
                                           Msg(UM_FILE_PROGRESS, 300)};
    const std::vector<Step> checking = {};
    const std::vector<ResultCase> cases = {
        // A wrapped file arrives in fewer bytes than its record: the bar still ends full.
        {"done short of the announced bytes", downloading, 0, 0, 0, false, UPD_DONE,
         "更新完毕，请点击开始游戏按扭，启动游戏", 1000, kBarCounting, 0, false, false},
        {"done with 2 failed downloads", downloading, 0, 2, 0, false, UPD_DONE,
         "下载过程中有2个文件下载失败，请重新更新，继续下载剩余的文件！", 1000, kBarError, 0, false, false},
        {"up to date", checking, 0, 0, 0, false, UPD_UP_TO_DATE,
         "已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏", 0, kBarIdle, 0, false, false},
        {"package applied stops", checking, 0, 0, 1, false, UPD_PACKAGE_APPLIED,
         "已经成功应用更新包，请重新更新，继续下载剩余的文件！", 100, kBarError, 1, false, false},
        // Every failure leaves the retry: the bar full in the error state, StopFlag set.
        {"fetch failed while checking", checking, 0, 0, 0, false, UPD_E_FETCH, "获取更新信息失败", 100, kBarError, 1,
         false, false},
        {"fetch failed while downloading", downloading, 0, 0, 0, false, UPD_E_FETCH, "文件下载失败", 1000,
         kBarError, 1, false, false},
        {"bad data", checking, 0, 0, 0, false, UPD_E_DATA, "更新相关数据有误", 100, kBarError, 1, false, false},
        {"pack not opened stops", downloading, 0, 0, 0, false, UPD_E_OPEN_PACK, "打开本地压缩包失败", 1000,
         kBarError, 1, false, false},
        {"rebuild failed stops", downloading, 0, 0, 0, false, UPD_E_REBUILD_PACK, "本地压缩包重组失败", 1000,
         kBarError, 1, false, false},
        // The status line names the space still needed: the result puts no text over it.
        {"short of disk space while checking", checking, 0, 0, 0, false, UPD_E_DISK_SPACE, "", 100, kBarError, 1,
         false, false},
        {"a run ended by its sender while downloading", downloading, 0, 0, 0, false, -1, "文件下载失败", 1000,
         kBarError, 1, false, false},
        {"a skipped request while checking", checking, 0, 0, 0, false, static_cast<int32_t>(0x80000007),
         "获取更新信息失败", 100, kBarError, 1, false, false},
        {"interrupted with a package pending starts its run", downloading, -1, 0, 1, true, UPD_INTERRUPTED, "", 300,
         kBarCounting, -1, true, false},
        {"interrupted keeping data midway", downloading, 1, 0, 0, false, UPD_INTERRUPTED,
         "更新已经中断，请重新更新，继续下载剩余的文件！", 1000, kBarInterrupted, 1, false, false},
        {"interrupted discarding in a later run", downloading, -1, 0, 1, false, UPD_INTERRUPTED, "更新已经中断！",
         1000, kBarInterrupted, -1, false, false},
        {"interrupted while checking in a later run", checking, 1, 0, 1, false, UPD_INTERRUPTED, "更新已经中断！",
         100, kBarInterrupted, 1, false, false},
        {"interrupted discarding the first run closes", downloading, -1, 0, 0, false, UPD_INTERRUPTED, "", 1000,
         kBarInterrupted, -1, false, true},
        {"interrupted while the first run checks closes", checking, 1, 0, 0, false, UPD_INTERRUPTED, "", 100,
         kBarInterrupted, 1, false, true},
    };
    for (const ResultCase& c : cases) {
        RunWords words(c.stopFlag, c.failedFiles, c.interruptNotice);
        UpdateDlgState state;
        state.StartFirstRun();
        for (const Step& step : c.run) Feed(state, step);
        DlgReaction r = state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(c.result), 0, 0, c.packagePending);
        EXPECT_TRUE(r.handled) << c.name;
        EXPECT_FALSE(state.workerRunning) << c.name;
        EXPECT_EQ(r.resultText, c.text) << c.name;
        EXPECT_EQ(state.progress.position(), c.position) << c.name;
        EXPECT_EQ(state.progress.state(), c.barState) << c.name;
        EXPECT_EQ(StopFlag.load(), c.stopFlagAfter) << c.name;
        EXPECT_EQ(r.startPendingRun, c.startPendingRun) << c.name;
        EXPECT_EQ(r.closeDialog, c.close) << c.name;
        EXPECT_FALSE(r.restart) << c.name;
    }
}

TEST(UpdateDlgStateTest, RestartIsPassedOn) {
    UpdateDlgState state;
    DlgReaction r = state.OnNotification(UM_RESTART, 0, 0, 0, false);
    EXPECT_TRUE(r.handled);
    EXPECT_TRUE(r.restart);
    EXPECT_FALSE(r.closeDialog);
    // The run that asked for the restart ends without a failure text on its way out.
    r = state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(-1), 0, 0, false);
    EXPECT_TRUE(r.handled);
    EXPECT_EQ(r.resultText, "");
}

TEST(UpdateDlgStateTest, LaterRunResetsWhatTheFirstRunKeeps) {
    RunWords words(-1, 3, 0);
    UpdateDlgState state;
    for (const Step& step : {Msg(UM_PHASE_BEGIN, 4, 1000), Msg(UM_FILE_BEGIN), Msg(UM_FILE_END, 400),
                             Msg(UM_FILE_BEGIN)}) {
        Feed(state, step);
    }
    state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(UPD_E_OPEN_PACK), 0, 0, false);

    state.StartFirstRun();
    EXPECT_TRUE(state.workerRunning);
    EXPECT_EQ(StopFlag.load(), 1);
    EXPECT_EQ(FailedFileCount.load(), 3u);
    EXPECT_EQ(InterruptNotice.load(), 0);

    state.StartRun();
    ExpectCounters(state, {0, kRunStartBarTotal, kBarIdle, kPhaseChecking, 0, 0, 0}, "later run");
    EXPECT_TRUE(state.workerRunning);
    EXPECT_EQ(StopFlag.load(), 0);
    EXPECT_EQ(FailedFileCount.load(), 0u);
    EXPECT_EQ(InterruptNotice.load(), 1);
}

struct ImageCase {
    const char* name;
    std::vector<Step> run;
    bool workerRunning;
    uint32_t normal;
    uint32_t hover;
};

TEST(UpdateDlgStateTest, StartButtonImage) {
    const std::vector<ImageCase> cases = {
        {"run in progress", {Msg(UM_PHASE_BEGIN, 1, 10), Msg(UM_FILE_PROGRESS, 4)}, true, IDB_START_UNAVAILABLE,
         IDB_START_UNAVAILABLE},
        {"full bar while the worker still runs", {Msg(UM_STEP_BEGIN, 5, 5)}, true, IDB_START_UNAVAILABLE,
         IDB_START_UNAVAILABLE},
        {"full bar, run over", {Msg(UM_STEP_BEGIN, 5, 5)}, false, IDB_START, IDB_START_HOVER},
        {"counted to the end", {Msg(UM_PHASE_BEGIN, 1, 10), Msg(UM_FILE_END, 10)}, false, IDB_START,
         IDB_START_HOVER},
        {"bar short of its total, run over", {Msg(UM_PHASE_BEGIN, 1, 10), Msg(UM_FILE_END, 9)}, false,
         IDB_START_UNAVAILABLE, IDB_START_UNAVAILABLE},
        {"error state with a full bar", {Msg(UM_UPDATE_DONE, static_cast<uint32_t>(UPD_E_REBUILD_PACK))}, false,
         IDB_START_RETRY, IDB_START_RETRY_HOVER},
        {"interrupted", {Msg(UM_UPDATE_DONE, static_cast<uint32_t>(UPD_INTERRUPTED))}, false, IDB_START_RETRY,
         IDB_START_RETRY_HOVER},
    };
    for (const ImageCase& c : cases) {
        RunWords words(0, 0, 1);
        UpdateDlgState state;
        state.StartRun();
        for (const Step& step : c.run) Feed(state, step);
        state.workerRunning = c.workerRunning;
        EXPECT_EQ(state.StartButtonImage(false), c.normal) << c.name;
        EXPECT_EQ(state.StartButtonImage(true), c.hover) << c.name;
    }
}

struct WayForwardCase {
    const char* name;
    std::vector<Step> run;  // before UM_UPDATE_DONE
    int32_t result;
    uint32_t failedFiles;
    uint32_t image;
    StartAction action;
};

// Whatever a run ends with, the start button then does something: it starts the game after
// a complete run, or a new run after any failure (no restart of the program needed).
TEST(UpdateDlgStateTest, EveryRunEndLeavesTheStartButtonAWayForward) {
    const std::vector<Step> shortOfBytes = {Msg(UM_PHASE_BEGIN, 2, 1000), Msg(UM_FILE_BEGIN),
                                            Msg(UM_FILE_END, 700)};
    const std::vector<WayForwardCase> cases = {
        {"done with a wrapped file short of its bytes", shortOfBytes, UPD_DONE, 0, IDB_START,
         StartAction::kLaunchGame},
        {"no server or version file", {}, UPD_E_FETCH, 0, IDB_START_RETRY, StartAction::kUpdateAgain},
        {"update list missing", {}, UPD_E_DATA, 0, IDB_START_RETRY, StartAction::kUpdateAgain},
        {"every file failed", shortOfBytes, UPD_DONE, 2, IDB_START_RETRY, StartAction::kUpdateAgain},
        {"file failed mid-run", shortOfBytes, UPD_E_FETCH, 0, IDB_START_RETRY, StartAction::kUpdateAgain},
        {"general failure", {}, static_cast<int32_t>(0x80004005), 0, IDB_START_RETRY, StartAction::kUpdateAgain},
    };
    for (const WayForwardCase& c : cases) {
        RunWords words(0, 0, 1);
        UpdateDlgState state;
        state.StartRun();
        for (const Step& step : c.run) Feed(state, step);
        FailedFileCount.store(c.failedFiles);  // the engine counts them during the run
        state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(c.result), 0, 0, false);
        EXPECT_EQ(state.StartButtonImage(false), c.image) << c.name;
        EXPECT_EQ(DecideStart(state), c.action) << c.name;
    }
}

struct CauseCase {
    const char* name;
    std::vector<Step> run;  // before UM_UPDATE_DONE
    int32_t result;
    uint32_t failedFiles;
    RunEndInfo info;
    std::string text;
    uint32_t image;
    StartAction action;
};

// The run's most specific cause stays in view beside the result text, ahead of it so a cut
// line keeps it; a check that could not update a whole installation, or an applied offline
// package on one, also offers the game: the start button asks which the player wants, and
// the next run takes the offer back.
TEST(UpdateDlgStateTest, ACauseStaysInViewAndAWholeInstallationOffersTheGame) {
    const std::vector<Step> downloaded = {Msg(UM_PHASE_BEGIN, 2, 1000), Msg(UM_FILE_BEGIN), Msg(UM_FILE_END, 1000)};
    const std::vector<Step> stepping = {Msg(UM_STEP_BEGIN, 8, 3)};
    const std::vector<CauseCase> cases = {
        {"no server reached, whole", {}, -1, 0, {FailureCause::kConnectionRefused, true},
         "服务器拒绝连接，获取更新信息失败，无法检查更新，可开始游戏", IDB_START, StartAction::kAskGameOrRun},
        {"version file missing, whole, no cause known", {}, UPD_E_FETCH, 0, {FailureCause::kNone, true},
         "获取更新信息失败，无法检查更新，可开始游戏", IDB_START, StartAction::kAskGameOrRun},
        {"timed out, installation not whole", {}, -1, 0, {FailureCause::kTimedOut, false},
         "连接服务器超时，获取更新信息失败", IDB_START_RETRY, StartAction::kUpdateAgain},
        {"certificate refused", {}, -1, 0, {FailureCause::kCertificateExpired, false},
         "服务器证书不受信任：已过期，获取更新信息失败", IDB_START_RETRY, StartAction::kUpdateAgain},
        {"signature refused", {}, UPD_E_DATA, 0, {FailureCause::kSignature, false},
         "更新数据签名无效，更新相关数据有误", IDB_START_RETRY, StartAction::kUpdateAgain},
        {"rollback refused", {}, -1, 0, {FailureCause::kRollback, false},
         "服务器的版本比本地旧，已拒绝，获取更新信息失败", IDB_START_RETRY, StartAction::kUpdateAgain},
        {"disk full in the rebuild", stepping, UPD_E_REBUILD_PACK, 0, {FailureCause::kDiskFull, false},
         "磁盘空间不足，本地压缩包重组失败", IDB_START_RETRY, StartAction::kUpdateAgain},
        {"disk full while downloading", downloaded, UPD_DONE, 2, {FailureCause::kDiskFull, false},
         "磁盘空间不足，下载过程中有2个文件下载失败，请重新更新，继续下载剩余的文件！", IDB_START_RETRY,
         StartAction::kUpdateAgain},
        // A retried timeout does not spoil a run that installed everything.
        {"done after a timeout", downloaded, UPD_DONE, 0, {FailureCause::kTimedOut, false},
         "更新完毕，请点击开始游戏按扭，启动游戏", IDB_START, StartAction::kLaunchGame},
        // The package's own text stays; the button offers the game beside the new run.
        {"package applied, whole", {}, UPD_PACKAGE_APPLIED, 0, {FailureCause::kNone, true},
         "已经成功应用更新包，请重新更新，继续下载剩余的文件！", IDB_START, StartAction::kAskGameOrRun},
        {"package applied, not whole", {}, UPD_PACKAGE_APPLIED, 0, {FailureCause::kNone, false},
         "已经成功应用更新包，请重新更新，继续下载剩余的文件！", IDB_START_RETRY, StartAction::kUpdateAgain},
    };
    for (const CauseCase& c : cases) {
        RunWords words(0, 0, 1);
        UpdateDlgState state;
        state.StartRun();
        for (const Step& step : c.run) Feed(state, step);
        FailedFileCount.store(c.failedFiles);
        const DlgReaction r =
            state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(c.result), PackRunEndInfo(c.info), 0, false);
        EXPECT_EQ(r.resultText, c.text) << c.name;
        EXPECT_EQ(state.StartButtonImage(false), c.image) << c.name;
        EXPECT_EQ(DecideStart(state), c.action) << c.name;
        state.StartRun();
        EXPECT_FALSE(state.gameOffered) << c.name;
        EXPECT_EQ(DecideStart(state), StartAction::kMoveOnly) << c.name;
    }
}

// 1000 KiB per second in steps of 100 ms.
constexpr uint32_t kMiB = 1024 * 1024;
constexpr uint64_t kStepMs = 100;
constexpr uint32_t kBytesPerStep = 100 * 1024;

TEST(UpdateDlgStateTest, DownloadShowsSpeedAndTimeLeftOncePerSecond) {
    RunWords words;
    UpdateDlgState state;
    state.StartFirstRun();
    Feed(state, Msg(UM_PHASE_BEGIN, 3, 10 * kMiB, 0));
    Feed(state, Msg(UM_FILE_BEGIN));
    Feed(state, Status("下载\r\n"));
    EXPECT_EQ(state.counterPrefix, "[3 Files][10240 KB] : ") << "no speed before a second of data";

    int redraws = 0;
    for (uint64_t ms = kStepMs; ms <= 2000; ms += kStepMs) {
        Feed(state, Msg(UM_FILE_PROGRESS, static_cast<uint32_t>(ms / kStepMs * kBytesPerStep), 0, ms));
        if (Feed(state, Tick(ms)).redrawStatusLine) ++redraws;
    }
    // Refreshed at 1 s and 2 s only, each time with the bytes left then.
    EXPECT_EQ(redraws, 2);
    const uint32_t left = 10 * kMiB - 20 * kBytesPerStep;
    EXPECT_EQ(state.bytesLeft, left);
    EXPECT_EQ(state.counterPrefix, "[3 Files][" + std::to_string(left / 1024) + " KB][1000 KB/s 00:09] : ");
    EXPECT_EQ(state.StatusLine(), state.counterPrefix + "下载\r\n");

    // The result's text after the run has ended shows no stale speed.
    Feed(state, Msg(UM_UPDATE_DONE, static_cast<uint32_t>(UPD_INTERRUPTED)));
    Feed(state, Status("中断\r\n"));
    EXPECT_EQ(state.counterPrefix, "[3 Files][" + std::to_string(left / 1024) + " KB] : ");
}

TEST(UpdateDlgStateTest, TimerLeavesOtherPhasesAlone) {
    RunWords words;
    const std::vector<std::vector<Step>> runs = {
        {Status("检查\r\n")},
        {Msg(UM_STEP_BEGIN, 10, 0), Msg(UM_FILES_LEFT, 0, 4), Msg(UM_STEP, 5)},
    };
    for (const auto& run : runs) {
        UpdateDlgState state;
        state.StartFirstRun();
        for (const Step& step : run) Feed(state, step);
        const std::string prefix = state.counterPrefix;
        for (uint64_t ms = 1000; ms <= 5000; ms += 1000) {
            DlgReaction r = state.OnTimer(ms);
            EXPECT_TRUE(r.handled);
            EXPECT_FALSE(r.redrawStatusLine);
        }
        EXPECT_EQ(state.counterPrefix, prefix);
    }
}

}  // namespace
