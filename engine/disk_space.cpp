#include "engine/disk_space.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr uint64_t kKilobyte = 1024;
constexpr uint64_t kMegabyte = 1024 * 1024;
constexpr size_t kAmountBytes = 32;
constexpr size_t kTextBytes = 256;

uint64_t RecordBytes(const ManifestRecord& record) {
    return std::strtoull(record.size.c_str(), nullptr, 10);
}

}  // namespace

uint64_t DiskSpaceNeeded(const std::vector<ManifestRecord>& toFetch, uint64_t packBytes, uint64_t keptBytes) {
    uint64_t loose = 0;
    uint64_t packed = 0;
    bool intoPack = false;
    for (const ManifestRecord& record : toFetch) {
        (record.IsUnpack() ? loose : packed) += RecordBytes(record);
        intoPack = intoPack || !record.IsUnpack();
    }
    const uint64_t downloads = loose + packed;
    return downloads - std::min(keptBytes, downloads) + (intoPack ? packBytes + packed : 0) + kDiskSpaceMargin;
}

uint64_t DiskSpaceShortfall(uint64_t needed, int64_t freeBytes) {
    if (freeBytes < 0) return 0;
    const uint64_t available = static_cast<uint64_t>(freeBytes);
    return needed > available ? needed - available : 0;
}

std::string DiskSpaceText(uint64_t shortfall) {
    char amount[kAmountBytes];
    if (shortfall >= kMegabyte) {
        std::snprintf(amount, sizeof(amount), "%.1f MB", static_cast<double>(shortfall) / kMegabyte);
    } else {
        std::snprintf(amount, sizeof(amount), "%.1f KB", static_cast<double>(shortfall) / kKilobyte);
    }
    char text[kTextBytes];
    std::snprintf(text, sizeof(text), kTextDiskSpaceShort, amount);
    return text;
}
