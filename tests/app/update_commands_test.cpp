// What the player's commands decide from the window's state and the run words, and the
// window's title and page.
#include "app/update_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/update_codes.h"
#include "tests/app/run_words.h"

namespace {

struct Note {
    uint32_t message;
    uint32_t wParam;
    uint32_t lParam;
};

void Feed(UpdateDlgState& state, const std::vector<Note>& notes) {
    for (const Note& n : notes) state.OnNotification(n.message, n.wParam, n.lParam, 0, false);
}

const std::vector<Note> kDownloadedAll = {{UM_PHASE_BEGIN, 2, 500}, {UM_FILE_BEGIN, 0, 0}, {UM_FILE_END, 500, 0},
                                          {UM_UPDATE_DONE, static_cast<uint32_t>(UPD_DONE), 0}};
const std::vector<Note> kSteppedToEnd = {{UM_STEP_BEGIN, 8, 0}, {UM_STEP_END, 8, 0},
                                         {UM_UPDATE_DONE, static_cast<uint32_t>(UPD_DONE), 0}};

struct StartCase {
    const char* name;
    std::vector<Note> run;
    bool workerRunning;
    int32_t stopFlag;
    uint32_t failedFiles;
    StartAction action;
};

TEST(UpdateCommandsTest, StartButton) {
    const std::vector<StartCase> cases = {
        {"all files downloaded", kDownloadedAll, false, 0, 0, StartAction::kLaunchGame},
        {"stepping ended", kSteppedToEnd, false, 0, 0, StartAction::kLaunchGame},
        {"stepping, bar short of its end", {{UM_STEP_BEGIN, 8, 0}, {UM_UPDATE_DONE, 1, 0}}, false, 0, 0,
         StartAction::kLaunchGame},
        {"full bar but the worker still runs", kDownloadedAll, true, 0, 0, StartAction::kMoveOnly},
        {"download stopped short", {{UM_PHASE_BEGIN, 2, 500}, {UM_FILE_END, 100, 0}, {UM_UPDATE_DONE, 1, 0}},
         false, 0, 0, StartAction::kMoveOnly},
        {"up to date before any phase", {{UM_UPDATE_DONE, static_cast<uint32_t>(UPD_UP_TO_DATE), 0}}, false, 0, 0,
         StartAction::kMoveOnly},
        {"failed downloads update again", kDownloadedAll, false, 0, 2, StartAction::kUpdateAgain},
        {"stopped run updates again", kSteppedToEnd, false, 1, 0, StartAction::kUpdateAgain},
        {"discarded run updates again", {}, false, -1, 0, StartAction::kUpdateAgain},
        {"failures while the worker runs: only the move", kDownloadedAll, true, 1, 3, StartAction::kMoveOnly},
    };
    for (const StartCase& c : cases) {
        RunWords words(c.stopFlag, c.failedFiles, 0);
        UpdateDlgState state;
        state.StartFirstRun();
        Feed(state, c.run);
        state.workerRunning = c.workerRunning;
        EXPECT_EQ(DecideStart(state), c.action) << c.name;
    }
}

struct StopCase {
    const char* name;
    std::vector<Note> run;
    bool workerRunning;
    bool engineStopping;
    StopAction action;
};

TEST(UpdateCommandsTest, StopRequest) {
    const std::vector<Note> fileDone = {{UM_PHASE_BEGIN, 3, 900}, {UM_FILE_BEGIN, 0, 0}, {UM_FILE_END, 300, 0},
                                        {UM_FILE_BEGIN, 0, 0}};
    const std::vector<StopCase> cases = {
        {"no worker ends the dialog", fileDone, false, false, StopAction::kEndDialog},
        {"engine already stopping", fileDone, true, true, StopAction::kNothing},
        {"a file finished while downloading asks", fileDone, true, false, StopAction::kAskHowToStop},
        {"first file still downloading", {{UM_PHASE_BEGIN, 3, 900}, {UM_FILE_BEGIN, 0, 0}, {UM_FILE_PROGRESS, 50, 0}},
         true, false, StopAction::kStopDiscard},
        {"still checking", {}, true, false, StopAction::kStopDiscard},
        {"stepping after downloads", {{UM_PHASE_BEGIN, 3, 900}, {UM_FILE_BEGIN, 0, 0}, {UM_FILE_END, 300, 0},
                                      {UM_FILE_BEGIN, 0, 0}, {UM_STEP_BEGIN, 5, 0}},
         true, false, StopAction::kStopDiscard},
    };
    for (const StopCase& c : cases) {
        RunWords words;
        UpdateDlgState state;
        state.StartFirstRun();
        Feed(state, c.run);
        state.workerRunning = c.workerRunning;
        EXPECT_EQ(DecideStop(state, c.engineStopping), c.action) << c.name;
    }
}

TEST(UpdateCommandsTest, StopAnswersSetTheStopFlag) {
    RunWords words;
    ApplyStopAnswerKeep();
    EXPECT_EQ(StopFlag.load(), 1);
    ApplyStopDiscard();
    EXPECT_EQ(StopFlag.load(), -1);
}

// Choosing an offline package during the automatic first run: the run is stopped
// discarding, the package's run follows without a text in between, and interrupting that
// later run discarding leaves the window open with its notice.
TEST(UpdateCommandsTest, OfflinePackageDuringTheFirstRun) {
    RunWords words;
    UpdateDlgState state;
    state.StartFirstRun();
    Feed(state, {{UM_PHASE_BEGIN, 3, 900}, {UM_FILE_BEGIN, 0, 0}, {UM_FILE_PROGRESS, 100, 0}});

    PrepareOfflinePackageStop();
    EXPECT_EQ(StopFlag.load(), -1);
    DlgReaction end = state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(UPD_INTERRUPTED), 0, 0, true);
    EXPECT_TRUE(end.startPendingRun);
    EXPECT_TRUE(end.resultText.empty());
    EXPECT_FALSE(end.closeDialog);

    state.StartRun();
    Feed(state, {{UM_PHASE_BEGIN, 0, 12}, {UM_FILE_PROGRESS, 4, 0}});
    ApplyStopDiscard();
    end = state.OnNotification(UM_UPDATE_DONE, static_cast<uint32_t>(UPD_INTERRUPTED), 0, 0, false);
    EXPECT_FALSE(end.closeDialog);
    EXPECT_EQ(end.resultText, "更新已经中断！");
    EXPECT_EQ(state.progress.state(), kBarInterrupted);
    EXPECT_EQ(DecideStart(state), StartAction::kUpdateAgain);
}

struct TitleCase {
    const char* name;
    const char* platform;
    int32_t edition;
    std::string title;
    std::string pageKey;
};

TEST(UpdateCommandsTest, TitleAndPageFollowTheEdition) {
    const TitleCase cases[] = {
        {"800", "TW", kEdition800, "更新工具2.23  [TW] [800版本]", "http_classic"},
        {"1024", "TW", kEdition1024, "更新工具2.23  [TW] [1024版本]", "http_classic"},
        {"classic", "CN", kEditionClassic, "更新工具2.23  [CN] [1024版本]", "http_1024"},
        {"no patch.dat", "CN", kEditionNone, "更新工具2.23  [CN] [1024版本]", "http_classic"},
        {"no platform string", nullptr, kEdition800, "更新工具2.23  [] [800版本]", "http_classic"},
    };
    for (const TitleCase& c : cases) {
        EXPECT_EQ(WindowTitle(c.platform, c.edition), c.title) << c.name;
        EXPECT_EQ(std::string(BrowserPageKey(c.edition)), c.pageKey) << c.name;
    }
}

}  // namespace
