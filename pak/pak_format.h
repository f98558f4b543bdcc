// Byte layout of a pack file: header, index entries, block tables.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kPakMagicSize = 8;
constexpr char kPakMagicMade[] = "DATAPACK";     // written by PakMake
constexpr char kPakMagicRebuilt[] = "UpdatePK";  // written by the rebuild
constexpr uint32_t kPakHeaderSize = 16;          // magic, entry count, method
constexpr uint32_t kPakIndexEntrySize = 12;      // id, offset, size
constexpr uint32_t kPakBlockTableValueSize = 2;  // one 16-bit value per block
constexpr uint32_t kPakMaxEntrySize = 0x4000000;  // entry sizes must stay below this
constexpr uint32_t kPakMaxBlocks = 1024;         // writers refuse entries of this many blocks
constexpr uint16_t kPakStoredBlock = 0;          // table value of a block stored plain
constexpr char kPakDeleteMarker[] = "DeleteMe";  // replacement content that removes an entry
constexpr uint32_t kPakDeleteMarkerSize = 8;

struct PakIndexEntry {
    uint32_t id;
    uint32_t offset;
    uint32_t size;
};

// Blocks of an entry of `size` bytes: ceil(size / 65536).
inline uint32_t PakBlockCount(uint32_t size) {
    return static_cast<uint32_t>((static_cast<uint64_t>(size) + 0xFFFF) / 65536);
}

// Little-endian field access.
inline uint32_t PakLoad32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t PakLoad16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline void PakStore32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PakStore16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline PakIndexEntry PakLoadIndexEntry(const uint8_t* p) {
    return PakIndexEntry{PakLoad32(p), PakLoad32(p + 4), PakLoad32(p + 8)};
}
inline void PakStoreIndexEntry(uint8_t* p, const PakIndexEntry& e) {
    PakStore32(p, e.id);
    PakStore32(p + 4, e.offset);
    PakStore32(p + 8, e.size);
}
