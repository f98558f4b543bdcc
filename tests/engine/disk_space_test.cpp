// What a run needs free on the installation's volume.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/disk_space.h"

namespace {

ManifestRecord Record(bool loose, uint64_t size) {
    ManifestRecord r;
    r.kind = loose ? "unpack" : "pack";
    r.name = "f";
    r.size = std::to_string(size);
    return r;
}

struct NeedCase {
    const char* name;
    std::vector<ManifestRecord> toFetch;
    uint64_t packBytes;
    uint64_t keptBytes;
    uint64_t needed;  // beyond the margin
};

// Each download lands beside its target first; a member stays there until the rebuild, which
// writes the new pack (old entries and new members) beside the old one. What kept partials
// hold is already on the volume.
TEST(DiskSpaceNeeded, CountsEveryCopyARunWritesLessWhatIsAlreadyKept) {
    constexpr uint64_t kMb = 1 << 20;
    const std::vector<NeedCase> cases = {
        {"loose-only", {Record(true, 10 * kMb)}, 500 * kMb, 0, 10 * kMb},
        {"member-and-its-new-pack", {Record(false, 10 * kMb)}, 500 * kMb, 0, 10 * kMb + 500 * kMb + 10 * kMb},
        {"both-kinds", {Record(true, 3 * kMb), Record(false, 4 * kMb)}, 100 * kMb, 0, 7 * kMb + 100 * kMb + 4 * kMb},
        {"half-kept", {Record(false, 10 * kMb)}, 500 * kMb, 5 * kMb, 5 * kMb + 500 * kMb + 10 * kMb},
        {"kept-more-than-listed", {Record(true, 1 * kMb)}, 0, 9 * kMb, 0},
        {"nothing", {}, 500 * kMb, 0, 0},
    };
    for (const NeedCase& c : cases) {
        EXPECT_EQ(DiskSpaceNeeded(c.toFetch, c.packBytes, c.keptBytes), c.needed + kDiskSpaceMargin) << c.name;
    }
}

}  // namespace
