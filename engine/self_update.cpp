#include "engine/self_update.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/progress_sink.h"
#include "common/show_status.h"
#include "common/update_codes.h"
#include "engine/offline_package.h"
#include "engine/pe_image.h"
#include "engine/publication.h"
#include "engine/publisher_key.h"
#include "engine/run_services.h"
#include "engine/signed_fetch.h"
#include "net/local_file.h"
#include "net/status_text.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "platformcfg/update_cfg.h"

namespace {

constexpr const char* kTextVersionFetchFailed = "获取更新工具版本信息失败";
constexpr const char* kTextOverrideDropped = "由于指定版本下载失败，现强制换回原始download目录！";
constexpr const char* kTextBadToolVersion = "从服务器获取的更新工具版本信息异常";
constexpr const char* kTextToolNotWritable = "设置本地文件update.exe属性失败！";
constexpr const char* kTextNewTool = "最新的更新工具版本为%.2f！开始下载！";
constexpr const char* kTextToolStillOlder = "更新工具重新启动后仍低于服务器公布的版本%.2f，本次不再下载，继续更新";
constexpr const char* kTextToolDownloadFailed = "下载新版更新工具失败！";
constexpr const char* kTextPluginNotWritable = "设置本地文件updatecfg.dll属性失败！";
constexpr const char* kTextNewPlugin = "最新的平台配置文件版本为%.2f！开始下载！";
constexpr const char* kTextPluginStillOlder =
    "平台配置文件重新启动后仍不是服务器公布的版本%.2f，本次不再下载，继续更新";
constexpr const char* kTextPluginDownloadFailed = "下载新版平台配置文件失败！";
constexpr const char* kTextVersionRefused = "更新工具版本信息签名无效：%s";
constexpr const char* kTextToolRefused = "新版更新工具签名无效：%s";
constexpr const char* kTextPluginRefused = "新版平台配置文件签名无效：%s";
constexpr const char* kPluginRemoteFormat = "%s%d_updatecfg.dll";
constexpr size_t kLineBytes = 256;
constexpr double kVersionScale = 0.01;  // 223 is shown as 2.23
// A signed version file is read whole (its signature covers all of it); only its first
// kVersionFileBytes are used as before.
constexpr uint32_t kSignedVersionFileBytes = 4096;
// The installation's pack, which records the last publication applied.
constexpr const char* kSelfUpdatePackName = "patch.dat";

// The publication of a signed version file, and the one the installation recorded.
struct SignedPublication {
    uint64_t number = 0;
    uint64_t installed = 0;
};

std::atomic<bool> startedByRestart{false};

// How the download of a replacement ended.
enum class Replacement { kDone, kFailed, kRefused };

int32_t CfgInt(const char* key) {
    iUpdateCfg* cfg = GetPlatformConfig();
    return cfg != nullptr ? cfg->GetInt(key) : 0;
}

void ShowVersionLine(const char* format, double version) {
    char line[kLineBytes];
    std::snprintf(line, sizeof(line), format, version);
    ShowStatus(line);
}

// A present file loses its read-only and hidden attributes; false when that fails.
bool MakeWritable(const char* name) {
    return !platform::FileExists(name) || platform::SetFileAttributesNormal(name);
}

bool NonEmptyFile(const char* path) {
    const platform::OwnedFile file(platform::OpenFileForRead(path));
    return file.valid() && platform::FileSize(file.get()) > 0;
}

// No build of the tool or of a plug-in comes near this; a server sending more is not
// sending one, and its stream is not followed.
constexpr uint64_t kMaxReplacementBytes = 0x4000000;

// Whether the complete download `path` is a program (the tool) or a plug-in exporting the
// factory, of this build's machine: random bytes or another kind of file in their place
// would leave an installation that can no longer start.
bool LooksRunnable(const std::string& path, PeKind kind) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeLocalFile(path.c_str(), kMaxReplacementBytes, bytes)) return false;
    return IsRunnableOwnFile(bytes.data(), bytes.size(), kind);
}

// Downloads `remote` beside `installed` and replaces it only when the download is whole
// and, in a build with a publisher key, signed under `remote` (kRefused after the status
// line `refusalFormat`). On any failure the installed file is as it was and the temporary
// file goes with its guard.
// `publication` is the version file's: a signed tool or plug-in must belong to that very
// publication, so one signed for an older one (served again by a hostile server) is
// refused like an unsigned one. `kind` says what the file must be (LooksRunnable).
Replacement DownloadReplacement(ServerSession& session, const char* remote, const char* installed,
                                const char* refusalFormat, const SignedPublication& publication, PeKind kind,
                                ProgressSink* sink) {
    const PublisherKey* key = BuiltInPublisherKey();
    const std::vector<uint8_t> sig = key != nullptr ? FetchSignatureFile(session, remote) : std::vector<uint8_t>();
    // A new empty file under a name the system picks: no file of the installation is touched.
    TempFile temp(CreateTempFileBeside(installed));
    if (temp.empty()) return Replacement::kFailed;
    // An empty tool or plug-in is never a real release: taken as a failed download.
    const bool complete =
        session.DownloadFile(remote, temp.c_str(), sink, kMaxReplacementBytes) == 0 && NonEmptyFile(temp.c_str());
    uint64_t number = 0;
    if (complete && key != nullptr && !AcceptSignedFile(*key, sig, temp.path(), remote, refusalFormat, &number)) {
        return Replacement::kRefused;
    }
    const char* otherPublication =
        key != nullptr ? PublicationRefusal(number, publication.number, publication.installed) : nullptr;
    if (complete && otherPublication != nullptr) {
        ShowPublicationRefusal(otherPublication, remote);
        return Replacement::kRefused;
    }
    if (complete && !LooksRunnable(temp.path(), kind)) {
        ShowStatusWithName(kTextNotRunnable, remote);
        return Replacement::kRefused;
    }
    if (!complete || !PutOwnFileInPlace(temp.path(), installed)) return Replacement::kFailed;
    temp.Keep();
    return Replacement::kDone;
}

// Shows `failedText` for a failed download (a refusal has shown its own line); true when
// the file was replaced.
bool Replaced(Replacement replacement, const char* failedText) {
    if (replacement == Replacement::kFailed) ShowStatus(failedText);
    return replacement == Replacement::kDone;
}

// With the built-in key: whether the version file's `size` bytes are signed under `remote`
// (false after the refusal line); *publication is its publication (0s unsigned).
bool VersionFileAccepted(ServerSession& session, const char* remote, const uint8_t* bytes, int32_t size,
                         SignedPublication* publication) {
    *publication = SignedPublication();
    const PublisherKey* key = BuiltInPublisherKey();
    if (key == nullptr) return true;
    if (!AcceptSignedBytes(*key, FetchSignatureFile(session, remote), bytes, static_cast<size_t>(size), remote,
                           kTextVersionRefused, &publication->number)) {
        return false;
    }
    // An older publication's version file served again could take the tool or the plug-in
    // back to a release the installation has left behind.
    publication->installed = InstalledPublication(GetInstallDir() + kSelfUpdatePackName);
    if (const char* refusal = PublicationRefusal(publication->number, publication->number, publication->installed)) {
        ShowPublicationRefusal(refusal, remote);
        return false;
    }
    return true;
}

// Posts the phase begin with the remote file's size; false when the size query failed.
bool BeginDownloadPhase(ServerSession& session, const char* remote, ProgressSink* sink) {
    const int64_t size = session.GetRemoteFileSize(remote);
    if (size < 0) return false;
    if (sink != nullptr) sink->Post(UM_PHASE_BEGIN, 0, static_cast<uint32_t>(size));
    return true;
}

void PostRestart(ProgressSink* sink) {
    if (sink != nullptr) sink->PostRestart(nullptr);
}

// Replaces the plug-in by the server's version `serverPlugin`.
// A plug-in version as the status lines show it: 10003 is 1.03.
double PluginVersionShown(int32_t version) {
    return version / kPluginVersionBase + (version % kPluginVersionBase) * kVersionScale;
}

int32_t ReplacePlugin(ServerSession& session, int32_t serverPlugin, const SignedPublication& publication,
                      ProgressSink* sink) {
    if (!MakeWritable(kInstalledPluginName)) {
        ShowStatus(kTextPluginNotWritable);
        return UPD_E_FETCH;
    }
    ShowVersionLine(kTextNewPlugin, PluginVersionShown(serverPlugin));
    char remote[kLineBytes];
    std::snprintf(remote, sizeof(remote), kPluginRemoteFormat, CfgString(kCfgKeyFtpDirectory), serverPlugin);
    if (!BeginDownloadPhase(session, remote, sink)) return kSelfUpdateStop;
    if (!Replaced(DownloadReplacement(session, remote, kInstalledPluginName, kTextPluginRefused, publication,
                                      PeKind::kLibrary, sink),
                  kTextPluginDownloadFailed)) {
        return UPD_E_FETCH;
    }
    PostRestart(sink);
    return kSelfUpdateStop;
}

}  // namespace

void SetStartedByRestart(bool restarted) { startedByRestart.store(restarted); }

bool StartedByRestart() { return startedByRestart.load(); }

int32_t CheckSelfUpdate(ServerSession& session, ProgressSink* sink) {
    RemoveOwnFileLeftovers();
    const std::string versionRemote = CfgString(kCfgKeyFileVersion);
    std::vector<uint8_t> buffer(BuiltInPublisherKey() != nullptr ? kSignedVersionFileBytes : kVersionFileBytes);
    const int32_t read =
        session.FetchToMemory(versionRemote.c_str(), buffer.data(), static_cast<uint32_t>(buffer.size()), sink);
    if (read < 0) {
        ShowStatus(kTextVersionFetchFailed);
        return kSelfUpdateStop;
    }
    if (session.OverrideDirectoryFailed()) {
        SetDownloadDirOverride(std::string());
        ShowStatus(kTextOverrideDropped);
    }
    SignedPublication publication;
    if (!VersionFileAccepted(session, versionRemote.c_str(), buffer.data(), read, &publication)) return kSelfUpdateStop;
    const std::string text(reinterpret_cast<const char*>(buffer.data()),
                           static_cast<size_t>(read < static_cast<int32_t>(kVersionFileBytes) ? read : kVersionFileBytes));
    const int32_t toolVersion = LeadingNumber(text.c_str());
    if (toolVersion <= 0) {
        ShowStatus(kTextBadToolVersion);
        return kSelfUpdateStop;
    }

    bool toolReplaced = false;
    if (toolVersion > kToolVersion && StartedByRestart()) {
        // This process is the restart after a replacement and still older than announced: the
        // published tool is not the announced version, and fetching it again would only
        // restart the tool again, start after start.
        ShowVersionLine(kTextToolStillOlder, toolVersion * kVersionScale);
    } else if (toolVersion > kToolVersion) {
        if (!MakeWritable(kInstalledToolName)) {
            ShowStatus(kTextToolNotWritable);
            return UPD_E_FETCH;
        }
        ShowVersionLine(kTextNewTool, toolVersion * kVersionScale);
        const char* remote = CfgString(kCfgKeyFileUpdate);
        if (!BeginDownloadPhase(session, remote, sink)) return kSelfUpdateStop;
        if (!Replaced(DownloadReplacement(session, remote, kInstalledToolName, kTextToolRefused, publication,
                                      PeKind::kProgram, sink),
                      kTextToolDownloadFailed)) {
            return UPD_E_FETCH;
        }
        toolReplaced = true;
    }

    const size_t lineEnd = text.find('\n');
    const int32_t serverPlugin = lineEnd == std::string::npos ? 0 : LeadingNumber(text.c_str() + lineEnd + 1);
    if (!PluginNeedsUpdate(CfgInt(kCfgKeyPlatformVersion), serverPlugin)) {
        if (!toolReplaced) return kSelfUpdateGoOn;
        PostRestart(sink);
        return kSelfUpdateStop;
    }
    if (StartedByRestart() && !toolReplaced) {
        // The plug-in the restart loaded still is not the announced version: the published
        // plug-in reports another one, and fetching it again would only restart again.
        ShowVersionLine(kTextPluginStillOlder, PluginVersionShown(serverPlugin));
        return kSelfUpdateGoOn;
    }
    return ReplacePlugin(session, serverPlugin, publication, sink);
}
