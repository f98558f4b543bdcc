// The progress object's mapping of transfer states and stage reports to notifications.
#include <gtest/gtest.h>

#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "tests/engine/engine_test_support.h"

namespace {

using enginetest::Posted;
using enginetest::RecordingNotifier;

struct ProgressCase {
    const char* name;
    uint32_t status;
    std::vector<Posted> posts;
};

TEST(ProgressSink, TransferStatesBecomeFileNotifications) {
    const std::vector<ProgressCase> cases = {
        {"begin", kProgressBegin, {{UM_FILE_BEGIN, 0, 100}}},
        {"data", kProgressData, {{UM_FILE_PROGRESS, 40, 100}}},
        {"end", kProgressEnd, {{UM_FILE_END, 40, 100}}},
        {"other-known", 7, {}},
        {"zero", 0, {}},
        {"above-range", 99, {}},
    };
    for (const ProgressCase& c : cases) {
        RecordingNotifier window;
        ProgressSink sink(&window);
        EXPECT_EQ(sink.OnProgress(40, 100, c.status), 0) << c.name;
        EXPECT_EQ(window.posts, c.posts) << c.name;
    }
}

struct StageCase {
    const char* name;
    uint32_t key;
    uint32_t stage;
    std::vector<Posted> posts;
};

TEST(ProgressSink, StageReportsDriveTheStepBarAndFileCounter) {
    const std::vector<StageCase> cases = {
        {"steps-begin", kStageKeySteps, 0, {{UM_STEP_BEGIN, 50, 9}}},
        {"steps-step", kStageKeySteps, 1, {{UM_STEP, 3, 9}}},
        {"steps-end", kStageKeySteps, 2, {{UM_STEP_END, 3, 9}}},
        {"steps-unknown-stage", kStageKeySteps, 3, {}},
        {"files-left", kStageKeyFilesLeft, 7, {{UM_FILES_LEFT, 3, 50}}},
        {"unknown-key", 0x1234, 0, {}},
    };
    for (const StageCase& c : cases) {
        RecordingNotifier window;
        ProgressSink sink(&window);
        EXPECT_EQ(sink.ReportStage(c.key, 3, 50, c.stage, 9), 0) << c.name;
        EXPECT_EQ(window.posts, c.posts) << c.name;
    }
}

TEST(ProgressSink, WithoutWindowNothingIsPosted) {
    ProgressSink sink(nullptr);
    EXPECT_EQ(sink.OnProgress(1, 2, kProgressBegin), 0);
    EXPECT_EQ(sink.ReportStage(kStageKeyFilesLeft, 1, 2, 0, 0), 0);
    sink.PostRestart(nullptr);
}

}  // namespace
