#include "engine/update_driver.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "common/failure_cause.h"
#include "common/notifier.h"
#include "common/progress_sink.h"
#include "common/run_state.h"
#include "common/show_status.h"
#include "common/update_codes.h"
#include "engine/disk_space.h"
#include "engine/failure_sink.h"
#include "engine/game_launch.h"
#include "engine/manifest_store.h"
#include "engine/offline_package.h"
#include "engine/partial_downloads.h"
#include "engine/run_services.h"
#include "engine/self_update.h"
#include "engine/update_engine.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "net/server_name.h"
#include "net/server_select.h"
#include "pak/pak_paths.h"
#include "pak/pak_update_task.h"
#include "pak/rebuild_progress.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"

namespace {

constexpr const char* kTextGettingServers = "正在获取更新服务器列表";
constexpr const char* kTextNoServers = "获取更新服务器列表失败";
constexpr const char* kTextCheckingTool = "正在检测更新工具版本";
constexpr const char* kTextCheckingUpdates = "正在检测是否需要更新";
constexpr const char* kTextDownloading = "开始下载更新数据";
constexpr const char* kTextNoMemory = "内存不足，更新已停止";
constexpr const char* kTextUnexpected = "更新过程中出现意外错误，更新已停止";
constexpr int32_t kRunEnded = -1;  // no server, or the self-update ended the run
constexpr size_t kPathBytes = 1024;
constexpr const char* kInstallFolder = ".";  // a run works in the installation folder

bool Stopped() { return StopFlag.load() != kStopNone; }

// The objects one run lends to its callees.
struct RunObjects {
    explicit RunObjects(Notifier* window)
        : sink(window), failures(&FailedFileCount), task(CreatePakUpdateTask(&rebuildProgress)) {}
    ProgressSink sink;
    PackManifestStore store;
    CountingFailureSink failures;
    StatusRebuildProgress rebuildProgress;  // the rebuild's percentages on the status line
    std::unique_ptr<PakUpdateTask> task;
};

std::string RemoteListPath() {
    char path[kPathBytes];
    std::snprintf(path, sizeof(path), kRemoteListFormat, CfgString(kCfgKeyFtpDirectory));
    return path;
}

void AnimationPause(RunServices& services) {
    services.Sleep(Stopped() ? kAnimationStoppedFrameMs : kAnimationFrameMs);
}

// Nothing is new: both bars run through once, so the player sees the check finish.
int32_t PlayUpToDateAnimation(ProgressSink& sink, RunServices& services) {
    sink.Post(UM_PHASE_BEGIN, 0, kAnimationFrames);
    for (uint32_t i = 0; i < kAnimationFrames; ++i) {
        sink.Post(UM_FILE_PROGRESS, i, 0);
        AnimationPause(services);
    }
    sink.ReportStage(kStageKeySteps, 0, kAnimationFrames, kStageBegin, 0);
    for (uint32_t i = 0; i < kAnimationFrames; ++i) {
        sink.ReportStage(kStageKeySteps, i, kAnimationFrames, kStageStep, 0);
        AnimationPause(services);
    }
    sink.ReportStage(kStageKeySteps, kAnimationFrames, kAnimationFrames, kStageEnd, 0);
    return Stopped() ? UPD_INTERRUPTED : UPD_UP_TO_DATE;
}

// Before the first byte: the installation's volume must hold the downloads still to come
// and the rebuilt pack beside the old one. Short of it, the run changes nothing and says how
// much more room it needs.
bool EnoughDiskSpace(UpdateEngine& engine, RunServices& services, const std::string& localPack) {
    const platform::OwnedFile pack(platform::OpenFileForRead(localPack.c_str()));
    const int64_t packBytes = pack.valid() ? platform::FileSize(pack.get()) : 0;
    const uint64_t needed =
        DiskSpaceNeeded(engine.ToFetch(), packBytes > 0 ? static_cast<uint64_t>(packBytes) : 0, engine.BytesKept());
    const uint64_t shortfall = DiskSpaceShortfall(needed, services.FreeDiskBytes(kInstallFolder));
    if (shortfall == 0) return true;
    ShowStatus(DiskSpaceText(shortfall).c_str());
    return false;
}

// The stages after the server was chosen, on the open session.
int32_t RunOnSession(UpdateEngine& engine, RunObjects& run, ServerSession& session, RunServices& services,
                     const std::string& localPack, bool* downloadsBegan) {
    if (engine.IsStopping()) return UPD_INTERRUPTED;
    ShowStatus(kTextCheckingTool);
    // A check cut short by the player's stop is an interruption, so the window treats it
    // as one (a discarded first run closes the window).
    if (CheckSelfUpdate(session, &run.sink) <= 0) return Stopped() ? UPD_INTERRUPTED : kRunEnded;

    const std::string remoteList = RemoteListPath();
    ShowStatus(kTextCheckingUpdates);
    uint32_t totalSize = 0;
    uint32_t fileCount = 0;
    const int32_t checked = engine.CheckForUpdates(&run.sink, run.store, session, remoteList.c_str(),
                                                   localPack.c_str(), &totalSize, &fileCount);
    if (checked < 0) return checked;
    if (checked == UPD_UP_TO_DATE) return PlayUpToDateAnimation(run.sink, services);
    if (!EnoughDiskSpace(engine, services, localPack)) return UPD_E_DISK_SPACE;
    ShowStatus(kTextDownloading);
    *downloadsBegan = true;
    run.sink.Post(UM_PHASE_BEGIN, fileCount, totalSize);
    return engine.DownloadAndApply(&run.sink, run.store, run.failures, *run.task, session);
}

}  // namespace

int32_t RunUpdate(UpdateEngine& engine, RunWindow* window, RunServices& services, bool* downloadsBegan) {
    bool began = false;
    if (downloadsBegan == nullptr) downloadsBegan = &began;
    *downloadsBegan = false;
    SetRootPath(".");
    SetWorkPath("\\");
    RunObjects run(window != nullptr ? window->notifier() : nullptr);
    const std::string localPack = GetInstallDir() + kLocalPackName;

    // A run killed while it downloaded (or replaced the tool) left its temporary files; the
    // partial downloads the journal keeps are continued instead.
    PartialDownloads partials;
    partials.Load();
    RemoveTempFileLeftovers(".", partials.PartialFileNames());

    const std::string package = window != nullptr ? window->TakeOfflinePackagePath() : std::string();
    if (!package.empty()) {
        return ApplyOfflinePackage(package.c_str(), localPack.c_str(), &run.sink, run.store, run.failures, *run.task);
    }

    engine.SetRepair(window != nullptr && window->TakeRepairRequest());
    ShowStatus(kTextGettingServers);
    ServerCandidates candidates{};
    const uint32_t address = services.SelectServer(candidates);
    if (address == 0) {
        ShowStatus(kTextNoServers);
        return Stopped() ? UPD_INTERRUPTED : kRunEnded;
    }
    std::unique_ptr<ServerSession> session = services.OpenSession(address, candidates.address, candidates.count);
    if (!session) return Stopped() ? UPD_INTERRUPTED : kRunEnded;
    return RunOnSession(engine, run, *session, services, localPack, downloadsBegan);
}

bool InstallationWhole(const std::string& localPack) {
    PartialDownloads partials;
    partials.Load();
    if (!partials.PartialFileNames().empty()) return false;
    std::vector<uint8_t> bytes;
    if (ReadPackMember(localPack.c_str(), kManifestName, bytes) != MemberRead::kOk || bytes.empty()) return false;
    return ReadPackMember(localPack.c_str(), kGameExecutableMember, bytes) == MemberRead::kOk && !bytes.empty();
}

namespace {

// The run on the worker thread: nothing may leave it, or the process ends without a word. A
// failed allocation (a 32-bit process is soon out of address space) or any other throw ends
// the run like a failure of its own, with a line saying why, so the window offers a new run.
int32_t RunGuarded(UpdateEngine& engine, RunWindow* window, RunServices& services, bool* downloadsBegan) {
    try {
        return RunUpdate(engine, window, services, downloadsBegan);
    } catch (const std::bad_alloc&) {
        ShowStatus(kTextNoMemory);
    } catch (...) {
        ShowStatus(kTextUnexpected);
    }
    return kRunEnded;
}

// Whether a run that ended with `result` leaves the player the choice of starting the game:
// an applied offline package, or a check that could not reach a server (refusals of what a
// server sent are no such case), when the installation is whole.
bool GameStartable(int32_t result, bool downloadsBegan, FailureCause cause) {
    const bool unreached = !downloadsBegan && result < 0 && result != UPD_INTERRUPTED && result != UPD_E_DATA &&
                           result != UPD_E_OPEN_PACK && result != UPD_E_DISK_SPACE &&
                           cause != FailureCause::kSignature && cause != FailureCause::kRollback;
    if (result != UPD_PACKAGE_APPLIED && !unreached) return false;
    return InstallationWhole(GetInstallDir() + kLocalPackName);
}

}  // namespace

int32_t UpdateThreadProc(RunWindow* window, RunServices& services) {
    UpdateEngine* engine = UpdateEngine::Instance();
    TakeRunFailureCause();  // what an earlier run noted is not this run's
    const uint32_t noSpaceBefore = platform::NoSpaceFailures();
    bool downloadsBegan = false;
    const int32_t result = RunGuarded(*engine, window, services, &downloadsBegan);
    engine->Release();
    if (platform::NoSpaceFailures() != noSpaceBefore) {
        // Whichever write met the full disk (a download, the rebuild), the player learns it.
        ShowStatus(kTextDiskFull);
        NoteFailureCause(FailureCause::kDiskFull);
    }
    RunEndInfo info;
    info.cause = TakeRunFailureCause();
    info.gameStartable = GameStartable(result, downloadsBegan, info.cause);
    Notifier* notifier = window != nullptr ? window->notifier() : nullptr;
    if (notifier != nullptr) notifier->Post(UM_UPDATE_DONE, static_cast<uint32_t>(result), PackRunEndInfo(info));
    return result;
}
