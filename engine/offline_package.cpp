#include "engine/offline_package.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "common/show_status.h"
#include "engine/failure_sink.h"
#include "engine/manifest.h"
#include "engine/manifest_record.h"
#include "engine/manifest_store.h"
#include "engine/offline_package_content.h"
#include "engine/own_files.h"
#include "engine/plugin_values.h"
#include "engine/publisher_key.h"
#include "engine/signed_fetch.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_engine.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "net/status_text.h"
#include "net/unwrap.h"
#include "pak/pak_format.h"
#include "pak/pak_update_task.h"
#include "platform/platform.h"
#include "text/message_box.h"

const uint8_t kOlpGuard[kOlpGuardSize] = {0x00, 0x00, '2', '3', 'a', 'b', 'c', 'd',
                                          '4',  '5',  '6', '7', 'e', 'f', '8', '9'};

namespace {

// The platform-mismatch text is formatted into a buffer of this size.
constexpr size_t kMismatchTextBytes = 1024;

constexpr const char* kTextChecking = "正在检查离线更新包的有效性";
constexpr const char* kTextPlatformList = "当前更新包的平台适应列表如下：\r\n%s";
constexpr const char* kTextPlatformCaption = "更新包和当前平台不匹配！";
constexpr const char* kTextBadToolVersion = "从更新包中获取的更新工具版本信息异常";
constexpr const char* kTextRestart = "由于该压缩包中存在关键更新，需要重新启动更新工具";
constexpr const char* kTextMissingCaption = "下载失败列表";
constexpr const char* kTextCannotCreate = "无法创建文件[%s]。。。该文件可能在使用中！";
constexpr const char* kTextMd5Failed = "%s MD5校验失败";
constexpr const char* kTextPackageRefused = "离线更新包签名无效：%s";
constexpr const char* kTextPackageUnreadable = "无法读取离线更新包：%s";
constexpr const char* kLineEnd = "\r\n";

int32_t LoadMembers(const uint8_t* bytes, size_t size, OfflinePackage& package, ProgressSink* sink) {
    uint32_t count = 0;
    if (!UpdatePkEntryCount(bytes, size, &count)) return UPD_E_DATA;
    if (sink != nullptr) sink->Post(UM_PHASE_BEGIN, 0, count);
    uint64_t decodedTotal = 0;
    for (uint32_t i = 0; i < count; ++i) {
        UpdatePkEntry entry;
        if (!UpdatePkEntryAt(bytes, size, i, &entry)) return UPD_E_DATA;
        decodedTotal += entry.size;
        if (entry.size > kOlpMaxMember || decodedTotal > kOlpMaxTotal) return UPD_E_DATA;
        OfflinePackage::Member& member = package.Put(entry.id, entry.size);
        if (!DecodeUpdatePkMember(bytes, size, entry, member.bytes.data())) return UPD_E_DATA;
        if (sink != nullptr) sink->Post(UM_FILE_PROGRESS, i, 0);
    }
    return 0;
}

bool PlatformListed(const OfflinePackage::Member& list) {
    const char* platformString = CurrentPlatformString();
    return *platformString == '\0' || std::strstr(list.text(), platformString) != nullptr;
}

// Writes the due tool and plug-in members whole beside the installed files first, then
// puts them in place (a loaded plug-in moved aside). UPD_E_DATA after a status line when
// one could not run here (checked before anything is written), cannot be written or cannot
// be put in place: a package is never reported applied without them.
int32_t InstallOwnFiles(const OfflinePackage::Member* plugin, const OfflinePackage::Member* tool) {
    StagedOwnFile stagedPlugin(kInstalledPluginName);
    StagedOwnFile stagedTool(kInstalledToolName);
    const std::pair<const OfflinePackage::Member*, StagedOwnFile*> files[] = {{plugin, &stagedPlugin},
                                                                              {tool, &stagedTool}};
    for (const auto& file : files) {
        const PeKind kind = file.second == &stagedTool ? PeKind::kProgram : PeKind::kLibrary;
        if (file.first != nullptr && !IsRunnableOwnFile(file.first->bytes.data(), file.first->size, kind)) {
            ShowStatusWithName(kTextNotRunnable, file.second->installed());
            return UPD_E_DATA;
        }
    }
    for (const auto& file : files) {
        if (file.first != nullptr && !file.second->Write(file.first->bytes.data(), file.first->size)) {
            ShowStatusWithName(kTextCannotCreate, file.second->installed());
            return UPD_E_DATA;
        }
    }
    for (const auto& file : files) {
        if (file.first != nullptr && !file.second->Place()) {
            ShowStatusWithName(kTextCannotCreate, file.second->installed());
            return UPD_E_DATA;
        }
    }
    return 0;
}

// The version check. Returns 0 to go on, UPD_RESTART_REQUESTED after writing a new tool or
// plug-in, or UPD_E_DATA.
int32_t ApplyVersionMembers(const OfflinePackage& package, ProgressSink* sink) {
    const OfflinePackage::Member* version = package.Find(kOlpVersionMember);
    const int32_t toolVersion = LeadingNumber(version->text());
    if (toolVersion == 0) {
        ShowStatus(kTextBadToolVersion);
        return UPD_E_DATA;
    }
    const char* secondLine = std::strchr(version->text(), '\n');
    const int32_t pluginVersion = secondLine != nullptr ? LeadingNumber(secondLine + 1) : 0;

    const OfflinePackage::Member* plugin = package.Find(kOlpPluginMember);
    if (plugin != nullptr && !PluginNeedsUpdate(CurrentPlatformVersion(), pluginVersion)) plugin = nullptr;
    const OfflinePackage::Member* tool = toolVersion > kToolVersion ? package.Find(kOlpToolMember) : nullptr;
    if (plugin == nullptr && tool == nullptr) return 0;
    if (const int32_t rc = InstallOwnFiles(plugin, tool); rc != 0) return rc;
    // No caption: the worker's boxes have no owner window either.
    MessageBoxNarrow(kTextRestart, nullptr, platform::kMbOk);
    if (sink != nullptr) sink->PostRestart(tool != nullptr ? kOlpNewToolProgram : nullptr);
    return UPD_RESTART_REQUESTED;
}

// With the built-in key, the package is used only when "PATH.sig" beside it is the valid
// signature of `bytes` (under the fixed package name: players rename packages) and its
// publication is not older than the installation's (the rule of every signed publication).
// The signature covers every member, so the package's tool and plug-in belong to the very
// publication its version information declares. 0, or UPD_E_DATA after a status line.
int32_t CheckPackageSignature(const std::vector<uint8_t>& bytes, const char* packagePath, UpdateEngine& engine) {
    const PublisherKey* key = BuiltInPublisherKey();
    if (key == nullptr) return engine.AdoptPublication(nullptr, std::string());
    const std::string path = packagePath != nullptr ? packagePath : "";
    const std::vector<uint8_t> sig = ReadLocalSignatureFile(path);
    uint64_t number = 0;
    const SignatureCheck check =
        VerifyBytes(*key, sig.data(), sig.size(), bytes.data(), bytes.size(), kOfflinePackageSignedName, &number);
    if (check != SignatureCheck::kValid) {
        // The line names the player's file, not the name the package is signed under.
        ShowSignatureRefusal(kTextPackageRefused, path, check);
        return UPD_E_DATA;
    }
    return engine.AdoptPublication(&number, path);
}

}  // namespace

int32_t LeadingNumber(const char* text) {
    if (text == nullptr) return 0;
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
}

const OfflinePackage::Member* OfflinePackage::Find(const std::string& name) const {
    std::string folded = name;
    FoldPackName(folded);
    auto it = members_.find(PackFileId(folded));
    return it != members_.end() ? &it->second : nullptr;
}

void OfflinePackage::Remove(const std::string& name) {
    std::string folded = name;
    FoldPackName(folded);
    members_.erase(PackFileId(folded));
}

OfflinePackage::Member& OfflinePackage::Put(uint32_t id, uint32_t size) {
    Member& member = members_[id];
    member.size = size;
    member.bytes.assign(static_cast<size_t>(size) + kOlpGuardSize, 0);
    std::memcpy(member.bytes.data() + size, kOlpGuard, kOlpGuardSize);
    return member;
}

bool ReadOfflinePackageFile(const char* path, std::vector<uint8_t>& bytes) {
    try {
        return path != nullptr && ReadWholeLocalFile(path, kOlpMaxPackageBytes, bytes);
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
}

int32_t LoadOfflinePackage(const uint8_t* bytes, size_t size, OfflinePackage& package, ProgressSink* sink) {
    try {
        return LoadMembers(bytes, size, package, sink);
    } catch (const std::bad_alloc&) {
        return UPD_E_DATA;
    }
}

int32_t LoadOfflinePackage(const char* path, OfflinePackage& package, ProgressSink* sink) {
    std::vector<uint8_t> bytes;
    if (!ReadOfflinePackageFile(path, bytes)) return UPD_E_DATA;
    return LoadOfflinePackage(bytes.data(), bytes.size(), package, sink);
}

int32_t ApplyOfflinePackage(const char* packagePath, const char* localPackPath, ProgressSink* sink,
                            ManifestStore& store, FailureSink& failures, PakUpdateTask& task) {
    ShowStatus(kTextChecking);
    UpdateEngine* engine = UpdateEngine::Instance();
    engine->SetLocalPackPath(localPackPath != nullptr ? localPackPath : "");
    RemoveOwnFileLeftovers();
    // Read once: the bytes whose signature is checked are the bytes decoded, so a file
    // swapped on disk after the check is never what gets installed.
    std::vector<uint8_t> bytes;
    if (!ReadOfflinePackageFile(packagePath, bytes)) {
        // Gone since it was picked, not readable, or larger than any package.
        ShowStatusWithName(kTextPackageUnreadable, packagePath != nullptr ? packagePath : "");
        return UPD_E_DATA;
    }
    if (const int32_t rc = CheckPackageSignature(bytes, packagePath, *engine); rc != 0) return rc;
    OfflinePackage package;
    if (const int32_t rc = LoadOfflinePackage(bytes.data(), bytes.size(), package, sink); rc != 0) return rc;
    std::vector<uint8_t>().swap(bytes);  // the decoded members are all that is used from here

    if (const OfflinePackage::Member* list = package.Find(kOlpPlatformMember); list != nullptr && !PlatformListed(*list)) {
        const std::string text = FormatWithName(kTextPlatformList, list->text(), kMismatchTextBytes - 1);
        MessageBoxNarrow(text.c_str(), kTextPlatformCaption, platform::kMbOk);
        return UPD_E_DATA;
    }
    const bool hasVersion = package.Find(kOlpVersionMember) != nullptr;
    if (hasVersion) {
        if (const int32_t rc = ApplyVersionMembers(package, sink); rc != 0) return rc;
    }
    const OfflinePackage::Member* manifest = package.Find(kManifestName);
    if (manifest == nullptr) return hasVersion ? UPD_PACKAGE_APPLIED : UPD_E_DATA;

    RemoteRecordList remote;
    if (ParseManifest(store, ManifestSource::Memory(manifest->bytes.data(), manifest->size), nullptr, &remote) !=
        UPD_DONE) {
        return UPD_E_DATA;
    }
    LocalRecordSet local;
    if (ParseManifest(store, ManifestSource::Pack(localPackPath), &local, nullptr) != UPD_DONE) return UPD_E_DATA;

    uint32_t total = 0;
    uint32_t count = 0;
    const int32_t compared = engine->CompareManifests(local, remote, &total, &count);
    if (compared < 0) return compared;
    // UPD_DONE with nothing to install: a damaged pack that is to be written anew.
    if (compared == UPD_DONE) {
        if (const int32_t rc = engine->ApplyPackageMembers(sink, store, failures, task, package); rc < 0) return rc;
    }
    return UPD_PACKAGE_APPLIED;
}

int32_t UpdateEngine::ApplyPackageMembers(ProgressSink* sink, ManifestStore& store, FailureSink& failures,
                                          PakUpdateTask& task, OfflinePackage& package) {
    // A pack that did not open was the player's choice to rebuild (CompareManifests asked).
    if (!task.OpenOrCreate(localPackPath_.c_str(), kPakCreateOrSalvage)) return UPD_E_OPEN_PACK;
    ClaimKeptPackIds();
    std::string missing;
    const uint32_t total = static_cast<uint32_t>(toFetch_.size());
    // Patches stand in for whole members the package leaves out: a delta package carries
    // only them for files an installation at an earlier publication has in an older content.
    const std::vector<DeltaEntry> deltas = PackageDeltas(package);
    for (uint32_t n = 0; n < total; ++n) {
        const ManifestRecord& record = toFetch_[n];
        int32_t rc = 0;
        bool installed = false;
        OfferedContent offer;
        const char* refusal = RecordRefusal(record);
        if (refusal == nullptr) {
            FindOfferedContent(package, deltas, record, localPackPath_, kindChanged_.count(record.name) != 0, offer);
        }
        if (refusal != nullptr) {
            ShowStatusWithName(refusal, record.name);
            rc = OnFetchFailure(failures, record.name);
        } else if (offer.state == OfferedContent::State::kMissing) {
            rc = OnFetchFailure(failures, record.name);
            if (rc == 0) missing += record.name + kLineEnd;
        } else if (offer.state == OfferedContent::State::kDamaged) {
            // A damaged package (a changed byte, size or block table, a patch that does not
            // give the record's content) installs nothing of that file; the player sees it in
            // the list of failed files.
            ShowStatusWithName(kTextMd5Failed, record.name);
            rc = OnFetchFailure(failures, record.name);
            if (rc == 0) missing += record.name + kLineEnd;
        } else if (record.IsUnpack()) {
            // Written through a temporary file beside it (a name no installed file has), so a
            // failed write leaves the old file whole. A loose file that cannot be written is a
            // failed file, not an installed one.
            installed = ReplaceFileContent(record.name.c_str(), offer.data(), offer.size());
            if (!installed) {
                ShowStatusWithName(kTextCannotCreate, record.name);
                rc = OnFetchFailure(failures, record.name);
            }
        } else {
            installed = AddToPack(task, record, offer.data(), offer.size());
            if (!installed) rc = OnFetchFailure(failures, record.name);
        }
        if (rc == kLeaveLoop) break;
        if (rc < 0) return rc;
        if (installed) {
            RetireOldKind(task, record);
            applied_.push_back(record);
            package.Remove(record.name);
        }
        if (sink != nullptr) sink->ReportStage(kStageKeyFilesLeft, n + 1, total, 0, 0);
    }
    if (!missing.empty()) MessageBoxNarrow(missing.c_str(), kTextMissingCaption, platform::kMbOk);
    if (applied_.empty() && !rewritePack_) return UPD_DONE;
    return FinishPass(sink, store, task);
}
