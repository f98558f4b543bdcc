// Copies the kept entries of a rebuild from the old pack to the new one at file-copy speed:
// the old pack is read in windows of 1 MiB and runs of entries that lie next to each other are
// written in one call, so an entry costs no file operation of its own.
#pragma once

#include <cstdint>
#include <memory>

#include "pak/disk_file.h"
#include "pak/pak_archive.h"

class PakKeptCopier {
public:
    // Appends to `to`, whose end is at `toPosition`.
    PakKeptCopier(PakArchive& from, DiskFile& to, uint64_t toPosition);
    PakKeptCopier(const PakKeptCopier&) = delete;
    PakKeptCopier& operator=(const PakKeptCopier&) = delete;

    // False when the window could not be had.
    bool Ready() const { return window_ != nullptr; }
    // The `count` bytes (at most one window) at `offset` of the old pack, valid until the
    // next call; null when the old pack does not hold them.
    const uint8_t* Peek(uint64_t offset, uint32_t count);
    // Appends `count` bytes at `offset` of the old pack to the new one. False when the old
    // pack does not hold them (*readFailed set) or the new one cannot be written.
    bool Copy(uint64_t offset, uint64_t count, bool* readFailed);
    // Writes what is still held back; false when the new pack cannot be written.
    bool Flush();
    // Where the next byte appended lands in the new pack.
    uint64_t Position() const { return position_; }

private:
    bool Load(uint64_t offset);
    bool Holds(uint64_t offset, uint64_t count) const {
        return offset >= windowStart_ && offset + count <= windowStart_ + windowSize_;
    }

    PakArchive& from_;
    DiskFile& to_;
    std::unique_ptr<uint8_t[]> window_;
    uint64_t windowStart_ = 0;  // offset in the old pack of window_[0]
    uint32_t windowSize_ = 0;   // bytes in the window
    uint32_t pendingStart_ = 0;  // window bytes appended but not yet written
    uint32_t pendingSize_ = 0;
    uint64_t position_;
};
