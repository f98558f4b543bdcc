#include "pak/pak_archive.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "pak/pak_log.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"

PakArchive::~PakArchive() { Close(); }

bool PakArchive::ReadHeader(uint8_t* header) {
    return file_.Seek(0, platform::SeekOrigin::Begin) == 0 && file_.Read(header, kPakHeaderSize) == kPakHeaderSize;
}

bool PakArchive::OpenCodec(int32_t method) {
    codec_ = CreatePakCodec(method);
    method_ = method;
    return codec_ != nullptr;
}

bool PakArchive::Open(const char* path) {
    Close();
    if (!file_.OpenRead(path)) return false;
    uint8_t header[kPakHeaderSize];
    if (!ReadHeader(header) || (std::memcmp(header, kPakMagicMade, kPakMagicSize) != 0 &&
                                std::memcmp(header, kPakMagicRebuilt, kPakMagicSize) != 0)) {
        Close();
        return false;
    }
    std::memcpy(magic_, header, kPakMagicSize);
    uint32_t count = PakLoad32(header + kPakMagicSize);
    int32_t method = static_cast<int32_t>(PakLoad32(header + kPakMagicSize + 4));
    if (!OpenCodec(method)) {
        PakLog("Pack %s : unknown method %d", path, static_cast<int>(method));
        Close();
        return false;
    }
    if (count == 0) return true;
    // The index must lie inside the file; this also keeps 12 x N within 32 bits.
    const uint64_t indexBytes = static_cast<uint64_t>(count) * kPakIndexEntrySize;
    if (kPakHeaderSize + indexBytes > file_.Size() || index_.Resize(static_cast<uint32_t>(indexBytes)) == nullptr ||
        file_.Read(index_.Data(), index_.Size()) != index_.Size()) {
        Close();
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        PakIndexEntry entry = PakLoadIndexEntry(index_.Data() + i * kPakIndexEntrySize);
        if (entry.size >= kPakMaxEntrySize) {
            Close();
            return false;
        }
        map_[entry.id] = i;  // a later entry with the same id wins
    }
    count_ = count;
    return true;
}

bool PakArchive::OpenSalvaged(const char* path) {
    Close();
    if (!file_.OpenRead(path)) return false;
    uint8_t header[kPakHeaderSize];
    const bool haveHeader = ReadHeader(header);
    const uint32_t count = haveHeader ? PakLoad32(header + kPakMagicSize) : 0;
    const int32_t method = haveHeader ? static_cast<int32_t>(PakLoad32(header + kPakMagicSize + 4)) : kPakMethodZlib;
    const uint64_t indexBytes = static_cast<uint64_t>(count) * kPakIndexEntrySize;
    // Without a method or an index the pack offers nothing; the rebuild writes it anew.
    if (!haveHeader || kPakHeaderSize + indexBytes > file_.Size() || !OpenCodec(method)) {
        PakLog("Pack %s : no usable header, nothing kept", path);
        if (OpenCodec(kPakMethodZlib)) return true;
        Close();
        return false;
    }
    std::memcpy(magic_, header, kPakMagicSize);
    if (count == 0) return true;
    if (index_.Resize(static_cast<uint32_t>(indexBytes)) == nullptr ||
        file_.Read(index_.Data(), index_.Size()) != index_.Size()) {
        Close();
        return false;
    }
    count_ = count;
    uint32_t dropped = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const PakIndexEntry entry = PakLoadIndexEntry(index_.Data() + i * kPakIndexEntrySize);
        uint64_t stored = 0;
        if (entry.size >= kPakMaxEntrySize || !StoredLength(entry, stored)) {
            ++dropped;
            continue;
        }
        map_[entry.id] = i;  // a later entry with the same id wins
    }
    if (dropped != 0) PakLog("Pack %s : %u damaged entries left out", path, static_cast<unsigned>(dropped));
    return true;
}

void PakArchive::Close() {
    map_.clear();
    if (codec_ != nullptr) DestroyPakCodec(codec_, method_);
    codec_ = nullptr;
    file_.Close();
    index_.Free();
    count_ = 0;
    method_ = 0;
    magic_[0] = '\0';
}

bool PakArchive::Find(const char* name, uint32_t& offset, uint32_t& size) {
    if (count_ == 0) return false;
    std::string lookup;
    if (!MakePakLookupName(name, lookup)) return false;
    uint32_t position = 0;
    if (!FindId(CalcFileId(lookup.c_str()), position)) return false;
    PakIndexEntry entry = EntryAt(position);
    offset = entry.offset;
    size = entry.size;
    return true;
}

bool PakArchive::FindId(uint32_t id, uint32_t& position) const {
    auto it = map_.find(id);
    if (it == map_.end() || it->second >= count_) return false;
    position = it->second;
    return true;
}

PakIndexEntry PakArchive::EntryAt(uint32_t position) const {
    if (position >= count_) return PakIndexEntry{0, 0, 0};
    return PakLoadIndexEntry(index_.Data() + position * kPakIndexEntrySize);
}

void PakArchive::MarkReplaced(uint32_t position) {
    if (position >= count_) return;
    PakStore32(index_.Data() + position * kPakIndexEntrySize + 8, kPakReplacedSize);
}

bool PakArchive::StoredLength(const PakIndexEntry& entry, uint64_t& length) {
    if (entry.size >= kPakMaxEntrySize) return false;
    const uint64_t dataStart = kPakHeaderSize + static_cast<uint64_t>(count_) * kPakIndexEntrySize;
    const uint64_t fileSize = file_.Size();
    if (entry.offset < dataStart || entry.offset > fileSize) return false;
    const uint32_t blocks = PakBlockCount(entry.size);
    const uint32_t tableSize = blocks * kPakBlockTableValueSize;
    uint64_t stored = tableSize;
    if (blocks != 0) {
        if (entry.offset + static_cast<uint64_t>(tableSize) > fileSize) return false;
        uint8_t table[kPakMaxBlocks * kPakBlockTableValueSize];
        if (blocks > kPakMaxBlocks || !ReadAt(entry.offset, table, tableSize)) return false;
        for (uint32_t b = 0; b < blocks; ++b) {
            const uint16_t value = PakLoad16(table + b * kPakBlockTableValueSize);
            const uint64_t plainBytes =
                std::min<uint64_t>(kPakBlockSize, entry.size - static_cast<uint64_t>(b) * kPakBlockSize);
            stored += value != kPakStoredBlock ? value : plainBytes;
        }
    }
    if (entry.offset + stored > fileSize) return false;
    length = stored;
    return true;
}

bool PakArchive::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    if (file_.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin) < 0) return false;
    return file_.Read(buffer, count) == count;
}
