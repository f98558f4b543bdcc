// A read stream for one game file, from the installation directory or from the packs of
// the current PakList, as the pack open mode decides.
#pragma once

#include <cstdint>

#include "pak/disk_file.h"
#include "pak/pak_buffer.h"

class PakList;

constexpr size_t kPakOpenNameMax = 1023;  // bytes of a name PakFile::Open accepts

enum PakSeekOrigin : int { kPakSeekBegin = 0, kPakSeekCurrent = 1, kPakSeekEnd = 2 };

class PakFile {
public:
    PakFile() = default;
    ~PakFile();
    PakFile(const PakFile&) = delete;
    PakFile& operator=(const PakFile&) = delete;

    // Opens `name` ('\' after the first character is read as '/'). Returns 1 or 0.
    int Open(const char* name);
    // Opens the entry at `offset` of `size` bytes in pack `packIndex` of the current
    // PakList, as an index entry gives them (for tools that walk a pack's index).
    int OpenEntry(int packIndex, uint32_t offset, uint32_t size);
    // Reads up to `length` bytes; returns the bytes delivered. A damaged block gives 0 and
    // rewinds the stream to 0.
    uint32_t Read(void* buffer, uint32_t length);
    // Origin 0 = begin, 1 = current, 2 = end; returns the new position (clamped to the size
    // for a pack entry).
    uint32_t Seek(int32_t offset, int origin);
    uint32_t GetSize();
    void Close();

    bool IsOpen() const { return packIndex_ >= 0 || disk_.IsOpen(); }
    // The index in the current PakList of the pack the file comes from, or -1 (disk/closed).
    int PackIndex() const { return packIndex_; }

private:
    bool OpenFromPacks(const char* name);
    bool OpenEntryLocked(PakList& list, int packIndex, uint32_t offset, uint32_t size);
    bool DecodeBlock(uint32_t block, uint8_t* target);
    uint64_t BlockOffset(uint32_t block) const;
    uint32_t ReadFromPack(uint8_t* out, uint32_t length);

    DiskFile disk_;
    PakBuffer plain_;   // the held block
    PakBuffer packed_;  // one compressed block as read
    PakBuffer table_;   // the entry's block table
    uint64_t dataOffset_ = 0;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
    int64_t heldBlock_ = -1;
    uint32_t blockCount_ = 0;
    int packIndex_ = -1;
};
