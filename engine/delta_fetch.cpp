#include "engine/delta_fetch.h"

#include <cstdlib>

#include "common/update_codes.h"
#include "engine/delta_patch.h"
#include "engine/md5.h"
#include "engine/signature.h"
#include "engine/signed_fetch.h"
#include "net/pak_access.h"
#include "net/transfer.h"

namespace {

// The record's new content as the list names it: MD5 text and size; false for a record that
// carries no MD5 digest or no plain decimal size.
bool RecordContent(const ManifestRecord& record, std::string* md5, uint64_t* size) {
    if (!IsMd5DigestText(record.digest) || record.size.empty() ||
        record.size.find_first_not_of("0123456789") != std::string::npos || record.size.size() > 19)
        return false;
    *md5 = record.digest.substr(kDigestPrefixLength);
    *size = std::strtoull(record.size.c_str(), nullptr, 10);
    return true;
}

const DeltaEntry* EntryFor(const std::vector<DeltaEntry>& entries, const ManifestRecord& record,
                           const std::string& installedMd5, uint64_t installedSize) {
    std::string newMd5;
    uint64_t newSize = 0;
    if (!RecordContent(record, &newMd5, &newSize)) return nullptr;
    const DeltaEntry* e = FindDeltaEntry(entries, record.name, installedMd5, installedSize, newMd5);
    return e != nullptr && e->newSize == newSize ? e : nullptr;
}

// Patches fetched from the publication's server, each announced to the run's progress.
class ServerPatches : public PatchSource {
public:
    ServerPatches(Transfer& transfer, ProgressSink* sink) : transfer_(transfer), sink_(sink) {}
    int32_t Take(const DeltaEntry& entry, const uint8_t** bytes, size_t* size) override {
        uint32_t fetched = 0;
        const int32_t rc =
            transfer_.DownloadToMemory(entry.patchPath.c_str(), bytes, &fetched, sink_, entry.patchSize);
        *size = fetched;
        return rc;
    }

private:
    Transfer& transfer_;
    ProgressSink* sink_;
};

}  // namespace

std::string DeltaListPathBeside(const std::string& remoteListPath) {
    const size_t slash = remoteListPath.rfind('/');
    return (slash == std::string::npos ? std::string() : remoteListPath.substr(0, slash + 1)) + kDeltaListName;
}

bool MayUseDeltas(const LocalRecordSet& local, const RemoteRecordList& remote) {
    for (const ManifestRecord& r : remote) {
        std::string md5;
        uint64_t size = 0;
        if (!RecordContent(r, &md5, &size) || size < kDeltaMinFileSize) continue;
        const auto l = local.find(r.name);
        if (l != local.end() && IsMd5DigestText(l->second.digest) && l->second.digest != r.digest) return true;
    }
    return false;
}

std::vector<DeltaEntry> FetchDeltaList(Transfer& transfer, const PublisherKey* key, const std::string& remotePath) {
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    // Older publications have no list: asked for quietly, once, without progress (it is not
    // one of the run's announced downloads).
    if (transfer.FetchOptional(remotePath.c_str(), &bytes, &size, kDeltaListMaxBytes) != 0 ||
        bytes == nullptr)
        return {};
    // Copied at once: the transfer's block lasts only until its next memory request.
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    if (key != nullptr) {
        const std::vector<uint8_t> sig = FetchSignatureFile(transfer, remotePath);
        const SignatureCheck check =
            VerifyBytes(*key, sig.data(), sig.size(), reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                        remotePath, nullptr);
        if (check != SignatureCheck::kValid) return {};
    }
    std::vector<DeltaEntry> entries;
    if (!ParseDeltaList(text, &entries)) return {};
    return entries;
}

uint64_t DeltaPatchSize(const std::vector<DeltaEntry>& entries, const ManifestRecord& record,
                        const std::string& installedMd5, uint64_t installedSize) {
    const DeltaEntry* e = EntryFor(entries, record, installedMd5, installedSize);
    return e != nullptr ? e->patchSize : 0;
}

DeltaOutcome MakeThroughDelta(PatchSource& patches, const std::vector<DeltaEntry>& entries,
                              const ManifestRecord& record, const void* installed, size_t installedSize,
                              std::string* result) {
    result->clear();
    if (entries.empty()) return DeltaOutcome::kNoPatch;
    const std::string installedMd5 = Md5Text(installed, installedSize);
    const DeltaEntry* e = EntryFor(entries, record, installedMd5, installedSize);
    if (e == nullptr) return DeltaOutcome::kNoPatch;
    const uint8_t* patch = nullptr;
    size_t patchSize = 0;
    const int32_t taken = patches.Take(*e, &patch, &patchSize);
    if (taken == UPD_INTERRUPTED) return DeltaOutcome::kInterrupted;
    if (taken != 0 || patch == nullptr) return DeltaOutcome::kFetchFailed;
    if (patchSize != e->patchSize || Md5Text(patch, patchSize) != e->patchMd5) return DeltaOutcome::kBadPatch;
    if (ApplyDeltaPatch(installed, installedSize, patch, patchSize, e->newSize, result) != DeltaApplyResult::kOk)
        return DeltaOutcome::kBadPatch;
    if (!DigestMatchesContent(record.digest, result->data(), result->size())) {
        result->clear();
        return DeltaOutcome::kWrongResult;
    }
    return DeltaOutcome::kApplied;
}

DeltaOutcome MakeInstalledThroughDelta(PatchSource& patches, const std::vector<DeltaEntry>& entries,
                                       const ManifestRecord& record, const std::string& packPath,
                                       std::string* result) {
    result->clear();
    std::string newMd5;
    uint64_t newSize = 0;
    if (!RecordContent(record, &newMd5, &newSize)) return DeltaOutcome::kNoPatch;
    bool offered = false;
    for (const DeltaEntry& e : entries) offered = offered || (e.name == record.name && e.newMd5 == newMd5);
    if (!offered) return DeltaOutcome::kNoPatch;
    InstalledFiles files;
    if (!record.IsUnpack()) files.OpenPack(packPath.c_str());
    const InstalledFile installed =
        files.Read(record.name, record.IsUnpack(), static_cast<uint32_t>(kDeltaMaxContentSize));
    if (!installed.found) return DeltaOutcome::kNoPatch;
    return MakeThroughDelta(patches, entries, record, installed.bytes.data(), installed.bytes.size(), result);
}

DeltaOutcome FetchThroughDelta(Transfer& transfer, const std::vector<DeltaEntry>& entries,
                               const ManifestRecord& record, const void* installed, size_t installedSize,
                               ProgressSink* sink, std::string* result) {
    ServerPatches patches(transfer, sink);
    const DeltaOutcome outcome = MakeThroughDelta(patches, entries, record, installed, installedSize, result);
    // The patch is applied (or of no use): the session need not hold it any longer.
    transfer.ReleaseBlock();
    return outcome;
}

DeltaOutcome FetchInstalledThroughDelta(Transfer& transfer, const std::vector<DeltaEntry>& entries,
                                        const ManifestRecord& record, const std::string& packPath,
                                        ProgressSink* sink, std::string* result) {
    ServerPatches patches(transfer, sink);
    const DeltaOutcome outcome = MakeInstalledThroughDelta(patches, entries, record, packPath, result);
    transfer.ReleaseBlock();
    return outcome;
}

std::string CountedDownloadSize(const std::vector<DeltaEntry>& entries, const ManifestRecord& record,
                                const ManifestRecord* installed) {
    if (installed == nullptr || entries.empty() || !IsMd5DigestText(installed->digest) ||
        installed->size.empty() || installed->size.find_first_not_of("0123456789") != std::string::npos ||
        installed->size.size() > 19)
        return record.size;
    const uint64_t patch =
        DeltaPatchSize(entries, record, installed->digest.substr(kDigestPrefixLength),
                       std::strtoull(installed->size.c_str(), nullptr, 10));
    return patch > 0 ? std::to_string(patch) : record.size;
}
