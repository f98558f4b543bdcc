#include "engine/offline_package_content.h"

#include "common/update_codes.h"
#include "engine/delta_fetch.h"

namespace {

// The patches a package carries, as members named by their patch paths.
class PackagePatches : public PatchSource {
public:
    explicit PackagePatches(const OfflinePackage& package) : package_(package) {}
    int32_t Take(const DeltaEntry& entry, const uint8_t** bytes, size_t* size) override {
        const OfflinePackage::Member* member = package_.Find(entry.patchPath);
        if (member == nullptr) return UPD_E_FETCH;
        *bytes = member->bytes.data();
        *size = member->size;
        return 0;
    }

private:
    const OfflinePackage& package_;
};

}  // namespace

std::vector<DeltaEntry> PackageDeltas(const OfflinePackage& package) {
    const OfflinePackage::Member* list = package.Find(kDeltaListName);
    std::vector<DeltaEntry> entries;
    if (list == nullptr || !ParseDeltaList(std::string(list->text(), list->size), &entries)) return {};
    return entries;
}

void FindOfferedContent(const OfflinePackage& package, const std::vector<DeltaEntry>& deltas,
                        const ManifestRecord& record, const std::string& packPath, bool kindChanged,
                        OfferedContent& offer) {
    offer.member = package.Find(record.name);
    if (offer.member != nullptr) {
        const bool whole = DigestMatchesContent(record.digest, offer.member->bytes.data(), offer.member->size);
        offer.state = whole ? OfferedContent::State::kReady : OfferedContent::State::kDamaged;
        return;
    }
    if (deltas.empty() || kindChanged) return;
    PackagePatches patches(package);
    switch (MakeInstalledThroughDelta(patches, deltas, record, packPath, &offer.patched)) {
        case DeltaOutcome::kApplied:
            offer.state = OfferedContent::State::kReady;
            return;
        case DeltaOutcome::kBadPatch:
        case DeltaOutcome::kWrongResult:
            offer.state = OfferedContent::State::kDamaged;
            return;
        default:
            return;
    }
}

