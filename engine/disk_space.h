// The free-space check before a run's first byte: what the downloads still to come and the
// rebuilt pack beside the old one need on the installation's volume.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/manifest_record.h"

// Room kept free beyond the estimate: the manifest, temporary files, the file system's own.
constexpr uint64_t kDiskSpaceMargin = 32ull * 1024 * 1024;
// The status line of a refused run (GBK; %s: the amount, e.g. "120.5 MB").
constexpr const char* kTextDiskSpaceShort = "磁盘空间不足，还需要 %s 的可用空间才能更新，请清理磁盘后重新更新";

// Bytes the run needs free: every record still to fetch (each lands in a temporary file
// beside its target, a pack member's staying there until the rebuild has it), plus, when any
// goes into the pack, the new pack written beside the old one (the old pack's size and the
// new members), plus kDiskSpaceMargin, less `keptBytes`, what kept partial downloads of
// those records already hold.
uint64_t DiskSpaceNeeded(const std::vector<ManifestRecord>& toFetch, uint64_t packBytes, uint64_t keptBytes = 0);

// How many more bytes the run needs than `freeBytes` (0: enough). A volume whose free space
// cannot be told (negative) is not held against the run.
uint64_t DiskSpaceShortfall(uint64_t needed, int64_t freeBytes);

// The status line for a shortfall, the amount in MB (or KB) with one decimal.
std::string DiskSpaceText(uint64_t shortfall);
