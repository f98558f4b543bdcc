// One open pack: its header, index, codec and file, and the id map lookups go through.
#pragma once

#include <cstdint>
#include <map>

#include "pak/disk_file.h"
#include "pak/pak_buffer.h"
#include "pak/pak_codec.h"
#include "pak/pak_format.h"

class PakArchive {
public:
    PakArchive() = default;
    ~PakArchive();
    PakArchive(const PakArchive&) = delete;
    PakArchive& operator=(const PakArchive&) = delete;

    // Opens the pack at the disk path of `path` (closing what the slot held). Refuses a
    // file that is not a whole pack: wrong magic, an index beyond the file, an entry of
    // kPakMaxEntrySize bytes or more, or a method with no codec.
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }

    // Looks up the requested `name` (lookup name rules, folded). False when absent.
    bool Find(const char* name, uint32_t& offset, uint32_t& size);
    // Looks up an id. `position` receives the entry's place in the index.
    bool FindId(uint32_t id, uint32_t& position) const;

    // "DATAPACK" or "UpdatePK" while open, "" when closed.
    const char* Magic() const { return magic_; }
    uint32_t Count() const { return count_; }
    int32_t Method() const { return method_; }
    PakCodec* Codec() const { return codec_; }
    DiskFile& File() { return file_; }
    uint64_t FileSize() { return file_.Size(); }

    // The index entry at `position` (< Count()), as currently held.
    PakIndexEntry EntryAt(uint32_t position) const;
    // Marks the entry at `position` replaced (size 0xFFFFFFFF) for the rebuild.
    void MarkReplaced(uint32_t position);
    // The id map: id -> index position of the entry found under it.
    const std::map<uint32_t, uint32_t>& Map() const { return map_; }

    // Reads `count` bytes at `offset` of the pack file; false unless all arrived.
    bool ReadAt(uint64_t offset, void* buffer, uint32_t count);

private:
    DiskFile file_;
    PakBuffer index_;
    PakCodec* codec_ = nullptr;
    std::map<uint32_t, uint32_t> map_;
    uint32_t count_ = 0;
    int32_t method_ = 0;
    char magic_[kPakMagicSize + 1] = {};
};

// Marker size value of a replaced entry.
constexpr uint32_t kPakReplacedSize = 0xFFFFFFFF;
