#include "engine/update_engine.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "common/show_status.h"
#include "engine/delta_fetch.h"
#include "engine/failure_sink.h"
#include "engine/installed_check.h"
#include "engine/manifest.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "engine/md5.h"
#include "engine/publication.h"
#include "engine/publisher_key.h"
#include "engine/signed_fetch.h"
#include "engine/staged_partials.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "net/server_name.h"
#include "net/staged_files.h"
#include "net/status_text.h"
#include "net/transfer.h"
#include "net/unwrap.h"
#include "pak/pak_update_task.h"
#include "platform/platform.h"
#include "text/message_box.h"

namespace {

constexpr const char* kTextRebuildQuestion = "本地patch.dat无法打开！\r\n是否需要重建更新数据包？";
constexpr const char* kTextRecordName = "%s";
constexpr const char* kTextRepairing = "文件[%s]已损坏或缺失，重新下载";
constexpr const char* kTextUnsafeName = "文件名[%s]指向安装目录之外，已跳过";
constexpr const char* kTextOpenFailedCaption = "文件打开失败";
constexpr const char* kTextReadFailedCaption = "文件读取失败";
constexpr const char* kTextMd5Caption = "MD5校验失败！";
constexpr const char* kTextMd5Failed = "%s MD5校验失败";
constexpr const char* kTextCannotPlace = "无法创建文件[%s]。。。该文件可能在使用中！";
constexpr const char* kTextReservedName = "文件名[%s]是更新工具自己的文件，已跳过";
constexpr const char* kTextIdClash = "文件[%s]在patch.dat中的编号与另一文件相同，已跳过";
constexpr const char* kTextCannotAdd = "无法将文件[%s]加入patch.dat";
constexpr const char* kTextListRefused = "更新数据签名无效：%s";
// Fetches of a file that fails its digest before it counts as failed (at least; one per
// mirror when there are more).
constexpr uint32_t kMismatchFetches = 2;
// The size field of an empty file.
constexpr const char* kEmptySize = "0";

std::mutex g_instanceLock;
UpdateEngine* g_instance = nullptr;

uint32_t AddSize(uint32_t total, const std::string& sizeText) {
    const unsigned long long size = std::strtoull(sizeText.c_str(), nullptr, 10);
    const unsigned long long sum = static_cast<unsigned long long>(total) + size;
    const unsigned long long limit = std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(sum > limit ? limit : sum);
}

// The most bytes a record's download may take: its recorded size, and room for the
// container a publisher may wrap the file in (the pack's header, index and block tables,
// and blocks a codec could not shrink). A server that sends more is not serving this file.
constexpr uint64_t kContainerOverheadBytes = 65536;
constexpr uint64_t kContainerGrowthDivisor = 64;

uint64_t DownloadBound(const ManifestRecord& record) {
    const unsigned long long size = std::strtoull(record.size.c_str(), nullptr, 10);
    const uint64_t growth = size / kContainerGrowthDivisor + kContainerOverheadBytes;
    return size > UINT64_MAX - growth ? UINT64_MAX : size + growth;
}

// What checking a downloaded loose file against its record's digest found.
enum class LooseCheck { kMatches, kDiffers, kCannotOpen, kCannotRead };

LooseCheck CheckLooseDownload(const std::string& path, const std::string& digest) {
    {
        const platform::OwnedFile probe(platform::OpenFileForRead(path.c_str()));
        if (probe.get() == platform::kInvalidFile) return LooseCheck::kCannotOpen;
    }
    std::string md5;
    if (!Md5FileText(path.c_str(), &md5)) return LooseCheck::kCannotRead;
    return DigestMatchesMd5Text(digest, md5) ? LooseCheck::kMatches : LooseCheck::kDiffers;
}

// An empty file is known from its record alone: memory downloads of 0 bytes count as
// failed, so its content is not fetched when the record's digest is that of no bytes.
bool IsEmptyFileRecord(const ManifestRecord& record) {
    return record.size == kEmptySize && DigestMatchesContent(record.digest, nullptr, 0);
}

void RemoveFileIfThere(const std::string& path) {
    platform::SetFileAttributesNormal(path.c_str());
    platform::RemoveFile(path.c_str());
}

uint32_t PackIdOf(const std::string& name) {
    std::string folded = name;
    FoldPackName(folded);
    return PackFileId(folded);
}

}  // namespace

UpdateEngine* UpdateEngine::Instance() {
    std::lock_guard<std::mutex> hold(g_instanceLock);
    if (g_instance == nullptr) g_instance = new UpdateEngine();
    return g_instance;
}

void UpdateEngine::StopCurrent(bool keep) {
    std::lock_guard<std::mutex> hold(g_instanceLock);
    if (g_instance != nullptr) g_instance->Stop(keep);
}

bool UpdateEngine::IsCurrentStopping() {
    std::lock_guard<std::mutex> hold(g_instanceLock);
    return g_instance != nullptr && g_instance->IsStopping();
}

void UpdateEngine::Release() {
    {
        std::lock_guard<std::mutex> hold(g_instanceLock);
        if (g_instance == this) g_instance = nullptr;
    }
    delete this;
}

UpdateEngine::~UpdateEngine() = default;

void UpdateEngine::Stop(bool keep) {
    stop_.store(keep ? kStopKeep : kStopDiscard);
    InterruptCurrentTransfer();
}

bool UpdateEngine::IsStopping() const { return stop_.load() != kStopNone; }

int32_t UpdateEngine::CheckForUpdates(ProgressSink* sink, ManifestStore& store, Transfer& transfer,
                                      const char* remoteManifestPath, const char* localPackPath, uint32_t* totalSize,
                                      uint32_t* recordCount) {
    uint32_t total = 0;
    uint32_t count = 0;
    if (totalSize != nullptr) *totalSize = 0;
    if (recordCount != nullptr) *recordCount = 0;

    recordPublication_ = false;
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    std::vector<uint8_t> signedContent;
    bool isSigned = false;
    uint64_t number = 0;
    const std::string remoteList = remoteManifestPath != nullptr ? remoteManifestPath : "";
    const int32_t fetched =
        FetchRemoteList(sink, transfer, remoteManifestPath, &bytes, &size, signedContent, &isSigned, &number);
    if (fetched < 0) return fetched;

    RemoteRecordList remote;
    if (ParseManifest(store, ManifestSource::Memory(bytes, size), nullptr, &remote) != UPD_DONE) return UPD_E_DATA;
    LocalRecordSet local;
    const std::string packPath = localPackPath != nullptr ? localPackPath : "";
    if (ParseManifest(store, ManifestSource::Pack(packPath.c_str()), &local, nullptr) != UPD_DONE) {
        // A repair does not need the record of what was installed: it checks every file
        // against the publication's list instead.
        if (!repair_) return UPD_E_DATA;
        local.clear();
        localListLost_ = true;
    }
    localPackPath_ = packPath;
    if (const int32_t rc = AdoptPublication(isSigned ? &number : nullptr, remoteList); rc != 0) return rc;
    // Patches beside the list, if the publication has any (a signed build: validly signed).
    if (MayUseDeltas(local, remote))
        deltas_ = FetchDeltaList(transfer, BuiltInPublisherKey(), DeltaListPathBeside(remoteList));

    // The lists are parsed: the transfer need not hold their bytes through the run.
    transfer.ReleaseBlock();
    const int32_t compared = CompareManifests(local, remote, &total, &count);
    // Files no longer listed (or listed with another content) leave no partial behind, and
    // what the kept ones hold is not to come: the counters start from what is on disk.
    LoadPartials(true);
    const uint64_t onDisk = partials_.BytesOnDisk(toFetch_);
    total = onDisk < total ? total - static_cast<uint32_t>(onDisk) : 0;
    if (totalSize != nullptr) *totalSize = total;
    if (recordCount != nullptr) *recordCount = count;
    if (compared < 0) return compared;
    return IsStopping() ? UPD_INTERRUPTED : compared;
}

int32_t UpdateEngine::FetchRemoteList(ProgressSink* sink, Transfer& transfer, const char* remoteManifestPath,
                                      const uint8_t** bytes, uint32_t* size, std::vector<uint8_t>& signedContent,
                                      bool* isSigned, uint64_t* signedNumber) {
    const PublisherKey* key = BuiltInPublisherKey();
    if (key == nullptr) {
        const int32_t fetched = transfer.DownloadToMemory(remoteManifestPath, bytes, size, sink);
        if (fetched < 0 || IsStopping()) return IsStopping() ? UPD_INTERRUPTED : UPD_E_FETCH;
        return 0;
    }
    const int32_t fetched = FetchSignedList(*key, transfer, remoteManifestPath != nullptr ? remoteManifestPath : "",
                                            kTextListRefused, sink, signedContent, signedNumber);
    if (IsStopping()) return UPD_INTERRUPTED;
    if (fetched != 0) return fetched;
    *bytes = signedContent.data();
    *size = static_cast<uint32_t>(signedContent.size());
    *isSigned = true;
    return 0;
}

int32_t UpdateEngine::AdoptPublication(const uint64_t* signedNumber, const std::string& source) {
    recordPublication_ = false;
    if (signedNumber == nullptr) return 0;
    if (const char* refusal = PublicationRefusal(*signedNumber, *signedNumber, InstalledPublication(localPackPath_))) {
        ShowPublicationRefusal(refusal, source);
        return UPD_E_DATA;
    }
    recordPublication_ = true;
    publication_ = *signedNumber;
    return 0;
}

int32_t UpdateEngine::CompareManifests(LocalRecordSet& local, RemoteRecordList& remote, uint32_t* totalSize,
                                       uint32_t* recordCount) {
    InstalledFiles files;
    bool salvaged = false;
    if (!files.OpenPack(localPackPath_.c_str())) {
        // No caption: the question stands on its own.
        if (MessageBoxNarrow(kTextRebuildQuestion, nullptr, platform::kMbYesNo) == platform::kIdNo) {
            return UPD_E_DATA;
        }
        // The player chose the rebuild. Of a damaged pack, what still reads is checked
        // against the list like any installed file, and only the rest is fetched.
        salvaged = files.SalvagePack(localPackPath_.c_str());
    }
    // A damaged pack (or one whose record of what was installed was lost) is written anew
    // even when every listed file in it checks: the new one is whole, with a new record
    // (what the list does not name is kept only where its bytes lie whole).
    rewritePack_ = salvaged || localListLost_ || (repair_ && !files.PackLiesWhole());
    uint32_t total = 0;
    uint32_t count = 0;
    std::vector<ManifestRecord> toFetch;
    for (ManifestRecord& r : remote) {
        auto l = local.find(r.name);
        // A file that moves between the pack and the folder is a change even when its
        // content is not: it must be installed in its new place and leave the old one.
        const bool kindChanged = l != local.end() && l->second.IsUnpack() != r.IsUnpack();
        bool damaged = false;
        if (kindChanged) {
            kindChanged_.insert(r.name);
        } else if (l != local.end() && l->second.digest == r.digest && l->second.size == r.size) {
            // A repair looks at the installed file itself: the record says what it was. An
            // ordinary run trusts the record while the pack still holds the member whole.
            if (repair_ ? InstalledFileIsWhole(files, r) : InstalledFileIsThere(files, r)) continue;
            ShowStatusWithName(kTextRepairing, r.name);
            damaged = true;
        }
        if (IsMd5DigestText(r.digest) && !kindChanged && !damaged) {
            std::string reference;
            if (l != local.end() && IsMd5DigestText(l->second.digest)) {
                reference = l->second.digest;
            } else if (CheckServerName(r.name, r.IsUnpack() ? NameKind::kLooseFile : NameKind::kPackMember) ==
                       NameVerdict::kAccepted) {
                const InstalledFile f = files.Read(r.name, r.IsUnpack(), kMaxHashedFile);
                if (f.found) {
                    const bool trusted = f.fromPack || r.IsUnpack();
                    reference = std::string(trusted ? kDigestPrefixMd5 : kDigestPrefixTmp) +
                                Md5Text(f.bytes.data(), f.bytes.size());
                    if (l != local.end()) l->second.digest = reference;
                }
            }
            if (!reference.empty() && reference == r.digest) {
                // A repair, or the rebuild of a damaged pack, records what it found whole,
                // so later runs trust it without hashing it again.
                if (l == local.end() && (repair_ || salvaged)) local.emplace(r.name, r);
                continue;
            }
        }
        // A file a patch brings counts with the patch's size.
        const std::string counted = CountedDownloadSize(deltas_, r, l != local.end() && !kindChanged ? &l->second : nullptr);
        if (counted != r.size) patchable_.insert(r.name);
        total = AddSize(total, counted);
        if (l != local.end()) local.erase(l);
        ++count;
        toFetch.push_back(std::move(r));
    }
    for (auto& entry : local) kept_.push_back(entry.second);
    toFetch_ = std::move(toFetch);
    remote.clear();
    if (totalSize != nullptr) *totalSize = total;
    if (recordCount != nullptr) *recordCount = count;
    return toFetch_.empty() && !rewritePack_ ? UPD_UP_TO_DATE : UPD_DONE;
}

void UpdateEngine::LoadPartials(bool prune) {
    if (!partialsLoaded_) partials_.Load();
    partialsLoaded_ = true;
    if (prune) partials_.KeepOnly(toFetch_);
}

std::vector<PlannedFetch> UpdateEngine::PlannedFetches() const {
    std::vector<PlannedFetch> plan;
    for (const ManifestRecord& r : toFetch_) {
        // Only what FetchRecord will ask for: never a name that leads out of the installation.
        const NameKind kind = r.IsUnpack() ? NameKind::kLooseFile : NameKind::kPackMember;
        if (CheckServerName(r.name, kind) != NameVerdict::kAccepted) continue;
        if (!r.IsUnpack() && IsEmptyFileRecord(r)) continue;
        // A patch comes instead of the file; a kept partial is continued where it lies.
        if (patchable_.count(r.name) != 0 || partials_.Find(r) != nullptr) continue;
        plan.push_back(PlannedFetch{r.remotePath, r.IsUnpack() ? r.name : localPackPath_, DownloadBound(r)});
    }
    return plan;
}

int32_t UpdateEngine::SaveManifest(ManifestStore& store, const char* name) {
    std::string text;
    AppendManifestText(kept_, text);
    AppendManifestText(applied_, text);
    return store.Save(name, text);
}

int32_t UpdateEngine::OnFetchFailure(FailureSink& failures, const std::string& reportName) {
    const int32_t stop = stop_.load();
    if (stop == kStopKeep) return kLeaveLoop;
    if (stop == kStopDiscard) return UPD_INTERRUPTED;
    return failures.OnFailure(reportName.c_str()) ? 0 : UPD_E_FETCH;
}

const char* UpdateEngine::RecordRefusal(const ManifestRecord& record) const {
    switch (CheckServerName(record.name, record.IsUnpack() ? NameKind::kLooseFile : NameKind::kPackMember)) {
        case NameVerdict::kOutsideInstallation: return kTextUnsafeName;
        case NameVerdict::kInstallationsOwn: return kTextReservedName;
        case NameVerdict::kAccepted: break;
    }
    if (!record.IsUnpack()) {
        // The pack finds entries by id alone: a second name with a taken id would replace
        // the other file's content.
        auto taken = packIds_.find(PackIdOf(record.name));
        if (taken != packIds_.end() && taken->second != record.name) return kTextIdClash;
    }
    return nullptr;
}

void UpdateEngine::ClaimKeptPackIds() {
    for (const ManifestRecord& r : kept_) {
        if (!r.IsUnpack()) packIds_.emplace(PackIdOf(r.name), r.name);
    }
}

bool UpdateEngine::AddToPack(PakUpdateTask& task, const ManifestRecord& record, const uint8_t* bytes,
                             uint32_t size) {
    if (!task.AddBuffer(record.name.c_str(), size != 0 ? bytes : nullptr, size)) {
        ShowStatusWithName(kTextCannotAdd, record.name);
        return false;
    }
    packIds_.emplace(PackIdOf(record.name), record.name);
    return true;
}

bool UpdateEngine::QueueMemberFile(PakUpdateTask& task, const ManifestRecord& record, const std::string& path,
                                   bool handedOver) {
    const bool queued = task.AddDiskFile(record.name.c_str(), path.c_str(), handedOver);
    if (!queued) {
        if (handedOver) RemoveFileIfThere(path);
        ShowStatusWithName(kTextCannotAdd, record.name);
        return false;
    }
    packIds_.emplace(PackIdOf(record.name), record.name);
    return true;
}

bool UpdateEngine::PlaceLooseFile(const std::string& partial, const ManifestRecord& record) {
    platform::SetFileAttributesNormal(record.name.c_str());
    if (platform::ReplaceFileAtomic(partial.c_str(), record.name.c_str())) {
        partials_.Forget(record.name, false);
        return true;
    }
    // The verified file stays journaled: a later run finds it whole and only moves it.
    partials_.NoteBytes(record.name, LocalFileLength(partial.c_str()));
    ShowStatusWithName(kTextCannotPlace, record.name);
    return false;
}

void UpdateEngine::RetireOldKind(PakUpdateTask& task, const ManifestRecord& record) {
    if (kindChanged_.count(record.name) == 0) return;
    if (record.IsUnpack()) {
        // The old entry would still be read wherever the packs come first. A failed queue
        // only leaves that stale entry; the loose file is in place either way.
        task.Delete(record.name.c_str());
    } else {
        looseToRemove_.push_back(record.name);
    }
}

std::string UpdateEngine::PartialFor(const ManifestRecord& record) {
    // Beside its target, under a name no installed file has, so a failed download never
    // destroys the installed file nor any other; a pack member's target is the pack. Found
    // or made in one step: a connection fetching ahead may be journaling its own file for
    // this very record, which is then continued where it lies.
    const std::string beside = record.IsUnpack() ? record.name : localPackPath_;
    return partials_.FindOrStart(record, [&] { return CreateTempFileBeside(beside.c_str()); });
}

void UpdateEngine::KeepForLater(const ManifestRecord& record, const std::string& partial) {
    // A discarding stop keeps nothing; a partial that is gone (the server's file was too
    // large) or that the journal does not know has nothing to keep.
    const bool journaled = partials_.Find(record) != nullptr;
    if (stop_.load() == kStopDiscard || !journaled) {
        partials_.Forget(record.name, true);
        if (!journaled) RemoveFileIfThere(partial);
        return;
    }
    partials_.NoteBytes(record.name, LocalFileLength(partial.c_str()));
}

UpdateEngine::Fetched UpdateEngine::CheckLoosePartial(const ManifestRecord& record, const std::string& partial) {
    if (!UnwrapDownloadedFile(partial.c_str(), record.remotePath.c_str())) {
        ShowStatusWithName(kTextBadDownload, record.remotePath);
        return Fetched::kFailed;
    }
    // Hashed from disk in blocks, whatever its size. A file that cannot be opened or read
    // cannot be checked, so it is a failed file like one that fails its MD5.
    switch (CheckLooseDownload(partial, record.digest)) {
        case LooseCheck::kMatches: return Fetched::kVerified;
        case LooseCheck::kDiffers: return Fetched::kMismatch;
        case LooseCheck::kCannotOpen:
            MessageBoxNarrow(record.name.c_str(), kTextOpenFailedCaption, platform::kMbOk);
            return Fetched::kFailed;
        case LooseCheck::kCannotRead: break;
    }
    MessageBoxNarrow(record.name.c_str(), kTextReadFailedCaption, platform::kMbOk);
    return Fetched::kFailed;
}

UpdateEngine::Fetched UpdateEngine::CheckPackPartial(const ManifestRecord& record, const std::string& partial,
                                                     std::string* unwrapped) {
    // An empty download is a failed one, as a memory download of no bytes always was.
    const uint64_t length = LocalFileLength(partial.c_str());
    if (length == 0 || length > DownloadBound(record)) {
        ShowStatusWithName(kTextBadDownload, record.remotePath);
        return Fetched::kFailed;
    }
    std::string content = partial;
    if (IsUpdatePkContainerFile(partial)) {
        // Only a packed download is read whole, and only for as long as it is unwrapped.
        std::vector<uint8_t> member;
        bool extracted = false;
        {
            std::vector<uint8_t> container;
            if (!ReadWholeLocalFile(partial.c_str(), DownloadBound(record), container)) {
                ShowStatusWithName(kTextBadDownload, record.remotePath);
                return Fetched::kFailed;
            }
            ExtractUpdatePkMember(DownloadMemberName(record.remotePath), container.data(), container.size(), member,
                                  &extracted);
        }
        if (extracted) {
            *unwrapped = CreateTempFileBeside(localPackPath_.c_str());
            if (unwrapped->empty() || !WriteWholeLocalFile(unwrapped->c_str(), member.data(), member.size())) {
                if (!unwrapped->empty()) RemoveFileIfThere(*unwrapped);
                unwrapped->clear();
                ShowStatusWithName(kTextCannotAdd, record.name);
                return Fetched::kFailed;
            }
            content = *unwrapped;
        }
    }
    // Hashed from disk in blocks, like a loose file.
    std::string md5;
    const bool matches = Md5FileText(content.c_str(), &md5) && DigestMatchesMd5Text(record.digest, md5);
    if (!matches && !unwrapped->empty()) {
        RemoveFileIfThere(*unwrapped);
        unwrapped->clear();
    }
    return matches ? Fetched::kVerified : Fetched::kMismatch;
}

UpdateEngine::Fetched UpdateEngine::FetchVerified(const ManifestRecord& record, ProgressSink* sink,
                                                  Transfer& transfer, std::string* partial, std::string* unwrapped) {
    unwrapped->clear();
    *partial = PartialFor(record);
    if (partial->empty()) {
        ShowStatusWithName(kTextCannotPlace, record.name);
        return Fetched::kFailed;
    }
    if (transfer.ContinueFile(record.remotePath.c_str(), partial->c_str(), sink, DownloadBound(record)) < 0) {
        KeepForLater(record, *partial);
        return Fetched::kFailed;
    }
    const Fetched checked =
        record.IsUnpack() ? CheckLoosePartial(record, *partial) : CheckPackPartial(record, *partial, unwrapped);
    if (checked != Fetched::kVerified) {
        partials_.Forget(record.name, true);
        RemoveFileIfThere(*partial);
        return checked;
    }
    // A verified file stays journaled whole until it is in place (a loose file moved onto
    // its target, a member in the rebuilt pack), so a kill before then costs no download.
    partials_.NoteBytes(record.name, LocalFileLength(partial->c_str()));
    return checked;
}

int32_t UpdateEngine::FetchRecord(const ManifestRecord& record, ProgressSink* sink, FailureSink& failures,
                                  PakUpdateTask& task, Transfer& transfer, bool* installed) {
    *installed = false;
    if (const char* refusal = RecordRefusal(record)) {
        ShowStatusWithName(refusal, record.name);
        return OnFetchFailure(failures, record.remotePath);
    }
    if (!record.IsUnpack() && IsEmptyFileRecord(record)) {
        if (!AddToPack(task, record, nullptr, 0)) return OnFetchFailure(failures, record.remotePath);
        *installed = true;
        return 0;
    }
    switch (InstallThroughDelta(record, sink, task, transfer)) {
        case DeltaInstall::kInstalled: *installed = true; return 0;
        case DeltaInstall::kStopped: return OnFetchFailure(failures, record.remotePath);
        case DeltaInstall::kFetchWhole: break;
    }
    std::string partial;
    std::string unwrapped;
    Fetched fetched = FetchVerified(record, sink, transfer, &partial, &unwrapped);
    // Bytes continued from a partial may not be the file's own (a disk that lost them, a
    // server that changed the file under the same record or answered REST from byte 0 after
    // all), and the transfer may have continued within the request: the failed file is
    // fetched whole once more before it counts as failed. With mirrors, each further fetch
    // goes to the next one, until every mirror has served the file once.
    const uint32_t fetches = std::max<uint32_t>(kMismatchFetches, transfer.ServerCount());
    for (uint32_t n = 1; n < fetches && fetched == Fetched::kMismatch && !IsStopping(); ++n) {
        transfer.DistrustServer(record.remotePath.c_str());
        fetched = FetchVerified(record, sink, transfer, &partial, &unwrapped);
    }
    if (fetched == Fetched::kFailed) return OnFetchFailure(failures, record.remotePath);
    if (fetched == Fetched::kMismatch) {
        // The box stops the run until the player answers it: once per pass is enough to be
        // noticed, the status line names every file.
        if (!mismatchBoxShown_) MessageBoxNarrow(record.name.c_str(), kTextMd5Caption, platform::kMbOk);
        mismatchBoxShown_ = true;
        ShowStatusWithName(kTextMd5Failed, record.name);
        return OnFetchFailure(failures, record.remotePath);
    }
    const bool packed = !unwrapped.empty();
    const bool placed = record.IsUnpack() ? PlaceLooseFile(partial, record)
                                          : QueueMemberFile(task, record, packed ? unwrapped : partial, packed);
    if (!placed) {
        if (!record.IsUnpack()) partials_.Forget(record.name, true);
        return OnFetchFailure(failures, record.remotePath);
    }
    if (!record.IsUnpack()) queuedPartials_.push_back(record.name);
    RetireOldKind(task, record);
    *installed = true;
    return 0;
}

int32_t UpdateEngine::FinishPass(ProgressSink* sink, ManifestStore& store, PakUpdateTask& task) {
    SaveManifest(store, kManifestName);
    if (!task.AddFile(kManifestName, kManifestName)) {
        // Without its manifest the rebuilt pack would not tell what it holds: rebuild
        // nothing (the queued files are dropped with the task and fetched again).
        ShowStatusWithName(kTextCannotAdd, kManifestName);
        platform::RemoveFile(kManifestName);
        return UPD_E_REBUILD_PACK;
    }
    if (recordPublication_) {
        const std::string number = PublicationText(publication_);
        if (!task.AddBuffer(kPublicationMember, number.data(), static_cast<uint32_t>(number.size()))) {
            // The same as a pack without its manifest: a rebuild that cannot record the
            // publication it applies does not happen.
            ShowStatusWithName(kTextCannotAdd, kPublicationMember);
            platform::RemoveFile(kManifestName);
            return UPD_E_REBUILD_PACK;
        }
    }
    if (!task.Rebuild(sink)) return UPD_E_REBUILD_PACK;
    // The pack holds the queued members now: their downloads are done with.
    for (const std::string& name : queuedPartials_) partials_.Forget(name, true);
    queuedPartials_.clear();
    // The pack now holds the files that moved into it; their loose copies would shadow it.
    for (const std::string& name : looseToRemove_) {
        platform::SetFileAttributesNormal(name.c_str());
        platform::RemoveFile(name.c_str());
    }
    looseToRemove_.clear();
    return IsStopping() ? UPD_INTERRUPTED : UPD_DONE;
}

int32_t UpdateEngine::DownloadAndApply(ProgressSink* sink, ManifestStore& store, FailureSink& failures,
                                       PakUpdateTask& task, Transfer& transfer) {
    // A pack that did not open was the player's choice to rebuild (CompareManifests asked).
    if (!task.OpenOrCreate(localPackPath_.c_str(), kPakCreateOrSalvage)) return UPD_E_OPEN_PACK;
    ClaimKeptPackIds();
    LoadPartials(false);
    // What the connections fetching ahead stage is journaled as they stage it, until the
    // run ends.
    auto staged = std::make_shared<StagedPartials>(partials_, toFetch_);
    struct StagedScope {
        StagedPartials& staged;
        ~StagedScope() {
            SetStagedFileRecorder(nullptr);
            staged.Detach();
        }
    } stagedScope{*staged};
    SetStagedFileRecorder(staged);
    transfer.Plan(PlannedFetches());
    const uint32_t total = static_cast<uint32_t>(toFetch_.size());
    for (uint32_t n = 0; n < total; ++n) {
        const ManifestRecord& record = toFetch_[n];
        ShowStatusWithName(kTextRecordName, record.name);
        bool installed = false;
        const int32_t rc = FetchRecord(record, sink, failures, task, transfer, &installed);
        if (rc == kLeaveLoop) break;
        if (rc < 0) {
            // A discarding stop keeps none of the run's downloads, finished ones included.
            if (stop_.load() == kStopDiscard) {
                for (const std::string& name : queuedPartials_) partials_.Forget(name, true);
                queuedPartials_.clear();
                transfer.Plan({});  // the fetches ahead end before what they staged goes
                staged->ForgetAll();
            }
            return rc;
        }
        if (installed) applied_.push_back(record);
        if (sink != nullptr) sink->ReportStage(kStageKeyFilesLeft, n + 1, total, 0, 0);
    }
    // A loop left early needs none of the files fetched ahead: they stop before the rebuild.
    transfer.Plan({});
    return FinishPass(sink, store, task);
}
