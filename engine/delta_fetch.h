// The updater's side of delta updates: the delta list fetched beside the update list, and a
// changed file made from its installed content and a patch instead of fetched whole. Every
// failure here only means "fetch the whole file", never a wrong install.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/delta_list.h"
#include "engine/manifest_record.h"

class ProgressSink;
struct PublisherKey;
class Transfer;

// The remote path of the delta list in the folder of the update list `remoteListPath`.
std::string DeltaListPathBeside(const std::string& remoteListPath);

// Whether a delta list could save anything for this comparison: some file of at least
// kDeltaMinFileSize that the installation has (by its local record) in another content.
// Only then is the list asked for, so a run that could gain nothing makes no request for it.
bool MayUseDeltas(const LocalRecordSet& local, const RemoteRecordList& remote);

// Fetches and parses the delta list at `remotePath`. With a publisher key (a signed build)
// only a list whose signature beside it is valid for its remote name counts. Empty when there
// is no list, or it is unsigned, forged or malformed: the run then fetches whole files, and
// shows nothing, since a publication need not offer patches.
std::vector<DeltaEntry> FetchDeltaList(Transfer& transfer, const PublisherKey* key, const std::string& remotePath);

enum class DeltaOutcome {
    kApplied,      // `result` holds the record's content, its MD5 and size checked
    kNoPatch,      // the list has no patch for this installed content
    kFetchFailed,  // the patch could not be fetched
    kBadPatch,     // the patch's size or MD5 is not the listed one, or it does not apply
    kWrongResult,  // the patch applied but the result is not the record's content
    kInterrupted,  // the run was stopped while the patch came: stop, do not fall back
};

// Where the patches a list names come from: the publication's server, or the members of an
// offline package. Whatever it gives is checked against the list before it is applied.
class PatchSource {
public:
    virtual ~PatchSource() = default;
    // The bytes of `entry`'s patch in *bytes and *size, valid until the next call: 0, or
    // UPD_INTERRUPTED when the run was stopped meanwhile, or another failure code when the
    // patch cannot be had.
    virtual int32_t Take(const DeltaEntry& entry, const uint8_t** bytes, size_t* size) = 0;
};

// Makes the content of `record` from the `installedSize` installed bytes at `installed` with
// the patch the list offers for them, taken from `patches`. Anything but kApplied leaves
// `result` empty.
DeltaOutcome MakeThroughDelta(PatchSource& patches, const std::vector<DeltaEntry>& entries,
                              const ManifestRecord& record, const void* installed, size_t installedSize,
                              std::string* result);

// MakeThroughDelta on what is installed under `record.name`: the member of the pack at
// `packPath` (a loose file when the record is one, or when the pack has no such member).
// The installed content is read only when the list has a patch to the record's content.
DeltaOutcome MakeInstalledThroughDelta(PatchSource& patches, const std::vector<DeltaEntry>& entries,
                                       const ManifestRecord& record, const std::string& packPath,
                                       std::string* result);

// MakeThroughDelta with the patch fetched through `transfer` (its bytes reported to `sink`).
DeltaOutcome FetchThroughDelta(Transfer& transfer, const std::vector<DeltaEntry>& entries,
                               const ManifestRecord& record, const void* installed, size_t installedSize,
                               ProgressSink* sink, std::string* result);

// MakeInstalledThroughDelta with the patch fetched through `transfer`.
DeltaOutcome FetchInstalledThroughDelta(Transfer& transfer, const std::vector<DeltaEntry>& entries,
                                        const ManifestRecord& record, const std::string& packPath,
                                        ProgressSink* sink, std::string* result);

// The size text the run counts for `record`: the listed patch's size when the installed
// content the local manifest records for it (`installed`, null when none) has a patch, else
// the record's own size.
std::string CountedDownloadSize(const std::vector<DeltaEntry>& entries, const ManifestRecord& record,
                                const ManifestRecord* installed);

// The listed patch size for `record` with that installed content, 0 when there is none: what
// the run counts in its total instead of the whole file.
uint64_t DeltaPatchSize(const std::vector<DeltaEntry>& entries, const ManifestRecord& record,
                        const std::string& installedMd5, uint64_t installedSize);
