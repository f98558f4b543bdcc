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
    // Opens what can still be used of a pack that Open may refuse, for a rebuild that puts
    // a whole pack in its place: the magic is not required, an entry whose stored bytes do
    // not lie whole inside the pack is left out, and a header that gives no usable index
    // (a count beyond the file, an unknown method, a file shorter than a header) gives an
    // empty pack of method -1. False only when the file cannot be read at all.
    bool OpenSalvaged(const char* path);
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

    // The bytes `entry` takes in the pack: its block table and its blocks (a plain last
    // block counted without padding). False when they do not lie whole between the end of
    // the index and the end of the file, or the table cannot be read.
    bool StoredLength(const PakIndexEntry& entry, uint64_t& length);

    // Reads `count` bytes at `offset` of the pack file; false unless all arrived.
    bool ReadAt(uint64_t offset, void* buffer, uint32_t count);

private:
    // Reads the 16-byte header; false when the file is shorter.
    bool ReadHeader(uint8_t* header);
    bool OpenCodec(int32_t method);

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
