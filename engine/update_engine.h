// The update engine: compares the remote manifest with the local one, fetches and verifies
// what is missing or changed, installs it (into the patch pack or as a loose file), writes
// the new local manifest and has the pack rebuilt. One process-wide object per update pass.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/run_state.h"
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/delta_list.h"
#include "engine/manifest_record.h"
#include "engine/partial_downloads.h"
#include "net/transfer.h"

class FailureSink;
class ManifestStore;
class OfflinePackage;
class PakUpdateTask;
class ProgressSink;
class Transfer;

// Installed files of this size or more are not hashed by the comparison.
constexpr uint32_t kMaxHashedFile = 0x4000000;

class UpdateEngine {
public:
    // The one engine, created on first use.
    static UpdateEngine* Instance();
    // For the main thread, which must never create an engine: Stop(keep) on the current
    // engine, under the instance lock so the worker cannot release it meanwhile. Nothing
    // when no run holds an engine.
    static void StopCurrent(bool keep);
    // IsStopping() of the current engine; false when there is none.
    static bool IsCurrentStopping();

    // Fetches the remote manifest, reads the local one from `localPackPath` and compares
    // them. UPD_DONE when something is to be fetched, UPD_UP_TO_DATE when nothing is, or a
    // failure code. Both outs are set to 0 first.
    virtual int32_t CheckForUpdates(ProgressSink* sink, ManifestStore& store, Transfer& transfer,
                                    const char* remoteManifestPath, const char* localPackPath, uint32_t* totalSize,
                                    uint32_t* recordCount);
    // Fetches, verifies and installs the to-fetch list, then saves the manifest and rebuilds
    // the pack. Only after CheckForUpdates gave UPD_DONE.
    virtual int32_t DownloadAndApply(ProgressSink* sink, ManifestStore& store, FailureSink& failures,
                                     PakUpdateTask& task, Transfer& transfer);
    // keep: stop and keep what was installed; otherwise stop and discard. Interrupts the
    // current transfer. One-way.
    virtual void Stop(bool keep);
    virtual bool IsStopping() const;
    // Destroys the one engine; the next Instance() creates a fresh one.
    virtual void Release();
    virtual ~UpdateEngine();

    // Decides what to fetch from `remote` against `local` (the installed files of the pack
    // at the stored local pack path count too). UPD_DONE / UPD_UP_TO_DATE, or UPD_E_DATA when
    // the pack cannot be opened and the player declines to rebuild it.
    int32_t CompareManifests(LocalRecordSet& local, RemoteRecordList& remote, uint32_t* totalSize,
                             uint32_t* recordCount);
    // Writes the kept list, then the applied list, through `store` under `name`.
    int32_t SaveManifest(ManifestStore& store, const char* name);
    // Installs the to-fetch list from the members of an offline package.
    int32_t ApplyPackageMembers(ProgressSink* sink, ManifestStore& store, FailureSink& failures,
                                PakUpdateTask& task, OfflinePackage& package);

    void SetLocalPackPath(const std::string& path) { localPackPath_ = path; }
    // A repair pass: CompareManifests also checks every installed file the local manifest
    // lists as current (pack members and loose files, MD5 and size) and fetches what is
    // missing or differs, like a changed file; a local manifest that cannot be read counts
    // as none, and a pack with a damaged entry is rebuilt even when nothing is fetched.
    void SetRepair(bool repair) { repair_ = repair; }
    // The publication this pass installs. Null: an unsigned pass, which records nothing.
    // Otherwise the signed number, refused (status line naming `source`, UPD_E_DATA) when it
    // is lower than the one recorded in the local pack, else written into the pack by the
    // rebuild of this pass. 0 when accepted.
    int32_t AdoptPublication(const uint64_t* signedNumber, const std::string& source);
    const std::vector<ManifestRecord>& ToFetch() const { return toFetch_; }
    // What the kept partial downloads of the to-fetch list already hold.
    uint64_t BytesKept() const { return partials_.BytesOnDisk(toFetch_); }
    const std::vector<ManifestRecord>& Kept() const { return kept_; }
    const std::vector<ManifestRecord>& Applied() const { return applied_; }

private:
    // OnFetchFailure's answer: leave the loop, keeping what was installed.
    static constexpr int32_t kLeaveLoop = 1;

    UpdateEngine() = default;
    // Where a fetch or an install failed: the stop checks, then the failure sink. Returns
    // 0 to go on, 1 to leave the loop (stop and keep), or the code to give back.
    int32_t OnFetchFailure(FailureSink& failures, const std::string& reportName);
    // What fetching and checking one record's bytes gave.
    enum class Fetched { kVerified, kFailed, kMismatch };

    // Fetches one record and verifies it; true when it was installed.
    int32_t FetchRecord(const ManifestRecord& record, ProgressSink* sink, FailureSink& failures,
                        PakUpdateTask& task, Transfer& transfer, bool* installed);
    // Fetches `record` into *partial (its kept partial when there is one) and checks it
    // against its digest, from disk: a loose file unwrapped in place; a pack member as it
    // came, or, when it came packed in a container, its content unwrapped into the new
    // temporary file *unwrapped beside the pack (else "").
    // A failed fetch keeps the partial for a later run; a file that fails its check is
    // removed.
    Fetched FetchVerified(const ManifestRecord& record, ProgressSink* sink, Transfer& transfer, std::string* partial,
                          std::string* unwrapped);
    // The journaled partial of `record`, or a new one; "" when none can be made.
    std::string PartialFor(const ManifestRecord& record);
    // After a failed fetch: the partial stays, with its length journaled, unless the stop
    // discards or there is nothing to keep.
    void KeepForLater(const ManifestRecord& record, const std::string& partial);
    Fetched CheckLoosePartial(const ManifestRecord& record, const std::string& partial);
    Fetched CheckPackPartial(const ManifestRecord& record, const std::string& partial, std::string* unwrapped);
    // The journal of kept partials, read once per pass; with `prune`, the partials of files
    // the to-fetch list does not hold as they are recorded now go.
    void LoadPartials(bool prune);
    // The fetches of the to-fetch list, in order, for the transfer's plan.
    std::vector<PlannedFetch> PlannedFetches() const;
    int32_t FinishPass(ProgressSink* sink, ManifestStore& store, PakUpdateTask& task);
    // Fetches the remote list: *bytes and *size describe it (in `signedContent` when the
    // build has a key and the list's signature was checked, then *isSigned and
    // *signedNumber are set). 0, or the pass's failure code.
    int32_t FetchRemoteList(ProgressSink* sink, Transfer& transfer, const char* remoteManifestPath,
                            const uint8_t** bytes, uint32_t* size, std::vector<uint8_t>& signedContent,
                            bool* isSigned, uint64_t* signedNumber);
    // Why `record` must not be installed, as a status text with one "%s" for its name (a
    // name outside the installation, one of the installation's own files, a pack entry
    // whose id another file of the pack already has); null when it may be.
    const char* RecordRefusal(const ManifestRecord& record) const;
    // Queues the content of a pack-kind record into the pack; false (after a status line)
    // when the pack refuses it.
    bool AddToPack(PakUpdateTask& task, const ManifestRecord& record, const uint8_t* bytes, uint32_t size);
    // Queues a pack-kind record's content from disk, so no member waits for the rebuild in
    // memory: its verified download, which stays journaled until the rebuilt pack holds it,
    // or (`handedOver`) a temporary file the pack takes over and removes. False (after a
    // status line, the handed-over file removed) when the pack refuses it.
    bool QueueMemberFile(PakUpdateTask& task, const ManifestRecord& record, const std::string& path,
                         bool handedOver);
    // Places verified loose content (its partial, beside it) onto `record.name`.
    bool PlaceLooseFile(const std::string& partial, const ManifestRecord& record);
    // After `record` was installed in its new kind: the copy of its old kind goes (a stale
    // pack entry is deleted with the rebuild; a stale loose file once the rebuild is done).
    void RetireOldKind(PakUpdateTask& task, const ManifestRecord& record);
    // The ids of the pack entries the kept records name, before anything is installed.
    void ClaimKeptPackIds();
    // Installs `record` from its installed content and a patch the delta list offers for it.
    // Any failure short of a stop asks for the whole file.
    enum class DeltaInstall { kInstalled, kFetchWhole, kStopped };
    DeltaInstall InstallThroughDelta(const ManifestRecord& record, ProgressSink* sink, PakUpdateTask& task,
                                     Transfer& transfer);

    // The patches the publication offers (empty: whole files only).
    std::vector<DeltaEntry> deltas_;
    // Names of the to-fetch list the list offers a patch for, for their installed content.
    std::set<std::string> patchable_;
    std::vector<ManifestRecord> toFetch_;
    std::vector<ManifestRecord> kept_;
    std::vector<ManifestRecord> applied_;
    std::string localPackPath_;
    // Names whose local record had the other kind (pack <-> loose) than the remote one.
    std::set<std::string> kindChanged_;
    // Loose files to remove once the pack holds their content (moved into the pack).
    std::vector<std::string> looseToRemove_;
    // Pack entry ids in use by kept and installed pack-kind records, with their names.
    std::map<uint32_t, std::string> packIds_;
    std::atomic<int32_t> stop_{kStopNone};
    PartialDownloads partials_;
    bool partialsLoaded_ = false;
    // Members queued into the pack whose downloads stay until the rebuild has them.
    std::vector<std::string> queuedPartials_;
    // A digest mismatch shows its box once per pass; every mismatch has its status line.
    bool mismatchBoxShown_ = false;
    // The signed publication number the rebuild records (signed passes only).
    bool repair_ = false;
    // The pack must be written anew (a damaged one): the pass rebuilds it even when it
    // fetches nothing.
    bool rewritePack_ = false;
    // A repair found the pack's record of what was installed unreadable.
    bool localListLost_ = false;
    bool recordPublication_ = false;
    uint64_t publication_ = 0;
};
