// What an offline package offers for one record of its manifest: the record's whole member,
// or else, in a delta package, the installed content made new with one of the package's
// patches (members named by their patch paths, listed in the member "update.dlt").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/delta_list.h"
#include "engine/manifest_record.h"
#include "engine/offline_package.h"

struct OfferedContent {
    enum class State {
        kMissing,  // neither a whole member nor a patch for the installed content
        kDamaged,  // a member or patch that does not give the record's content
        kReady,
    };
    State state = State::kMissing;
    const OfflinePackage::Member* member = nullptr;
    std::string patched;  // the content made with a patch, when there is no whole member

    const uint8_t* data() const {
        return member != nullptr ? member->bytes.data() : reinterpret_cast<const uint8_t*>(patched.data());
    }
    uint32_t size() const { return member != nullptr ? member->size : static_cast<uint32_t>(patched.size()); }
};

// The package's list of patches; empty when it has none or its list is not a whole, valid
// one (the files it would patch then count as missing members).
std::vector<DeltaEntry> PackageDeltas(const OfflinePackage& package);

// Finds in `offer` what `package` offers for `record`, with the patches of `deltas` applied
// to what is installed under the record's name (the pack at `packPath`, or a loose file).
// A whole member is checked against the record's digest, a patch against its listed size
// and MD5 and its result against the record. A patch is tried only for a record installed
// as the same kind (`kindChanged` false): the installed content of a file that moves between
// pack and folder is not where its patch expects it.
void FindOfferedContent(const OfflinePackage& package, const std::vector<DeltaEntry>& deltas,
                        const ManifestRecord& record, const std::string& packPath, bool kindChanged,
                        OfferedContent& offer);
