// The block table of the entry a writer is writing: zeros where the entry starts, filled as
// its blocks are coded and written, and written over the zeros after the last block.
#pragma once

#include <cstdint>
#include <vector>

#include "pak/disk_file.h"

class PakEntryTable {
public:
    // Appends a zero table of `blocks` values to `out`, for the entry starting at `start`
    // (the end of `out`).
    bool Begin(DiskFile& out, int64_t start, uint32_t blocks);
    void Set(uint32_t block, uint16_t value);
    // Writes the filled table in place and returns to the end of `out`.
    bool WriteBack(DiskFile& out) const;

private:
    std::vector<uint8_t> values_;
    int64_t start_ = 0;
};
