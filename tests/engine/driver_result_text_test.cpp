// What the window shows for each way an update run ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/update_result.h"
#include "common/update_codes.h"

namespace {

struct ResultCase {
    const char* name;
    RunEnd end;
    std::string text;
    bool fullBar;
    bool close;
};

TEST(RunResultText, EachResultShowsItsTextOrNothing) {
    const std::vector<ResultCase> cases = {
        {"done", {UPD_DONE, kPhaseDownloading, 0, 0, false}, "更新完毕，请点击开始游戏按扭，启动游戏", true, false},
        {"done-with-two-failures", {UPD_DONE, kPhaseDownloading, 2, 0, false},
         "下载过程中有2个文件下载失败，请重新更新，继续下载剩余的文件！", true, false},
        {"up-to-date", {UPD_UP_TO_DATE, kPhaseDownloading, 0, 0, false},
         "已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏", false, false},
        {"package-applied", {UPD_PACKAGE_APPLIED, kPhaseChecking, 0, 0, false},
         "已经成功应用更新包，请重新更新，继续下载剩余的文件！", true, false},
        {"fetch-while-checking", {UPD_E_FETCH, kPhaseChecking, 0, 0, false}, "获取更新信息失败", true, false},
        {"fetch-while-downloading", {UPD_E_FETCH, kPhaseDownloading, 0, 0, false}, "文件下载失败", true, false},
        {"bad-data", {UPD_E_DATA, kPhaseChecking, 0, 0, false}, "更新相关数据有误", true, false},
        {"open-pack", {UPD_E_OPEN_PACK, kPhaseStepping, 0, 0, false}, "打开本地压缩包失败", true, false},
        {"rebuild-pack", {UPD_E_REBUILD_PACK, kPhaseStepping, 0, 0, false}, "本地压缩包重组失败", true, false},
        {"no-server-or-version-file", {-1, kPhaseChecking, 0, 0, false}, "获取更新信息失败", true, false},
        {"interrupted-midway-keep", {UPD_INTERRUPTED, kPhaseDownloading, 0, 1, false},
         "更新已经中断，请重新更新，继续下载剩余的文件！", true, false},
        {"interrupted-discard-by-command", {UPD_INTERRUPTED, kPhaseStepping, 0, -1, true}, "更新已经中断！", true,
         false},
        {"interrupted-while-checking-by-command", {UPD_INTERRUPTED, kPhaseChecking, 0, 1, true}, "更新已经中断！",
         true, false},
        {"first-run-discarded-closes", {UPD_INTERRUPTED, kPhaseDownloading, 0, -1, false}, "", true, true},
    };
    for (const ResultCase& c : cases) {
        const RunEndView view = ViewOfRunEnd(c.end);
        EXPECT_EQ(view.text, c.text) << c.name;
        EXPECT_EQ(view.fullBar, c.fullBar) << c.name;
        EXPECT_EQ(view.closeWindow, c.close) << c.name;
    }
}

}  // namespace
