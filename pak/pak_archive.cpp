#include "pak/pak_archive.h"

#include <cstring>
#include <string>

#include "pak/pak_log.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"

PakArchive::~PakArchive() { Close(); }

bool PakArchive::Open(const char* path) {
    Close();
    if (!file_.OpenRead(path)) return false;
    uint8_t header[kPakHeaderSize];
    if (file_.Read(header, kPakHeaderSize) != kPakHeaderSize ||
        (std::memcmp(header, kPakMagicMade, kPakMagicSize) != 0 &&
         std::memcmp(header, kPakMagicRebuilt, kPakMagicSize) != 0)) {
        Close();
        return false;
    }
    std::memcpy(magic_, header, kPakMagicSize);
    uint32_t count = PakLoad32(header + kPakMagicSize);
    int32_t method = static_cast<int32_t>(PakLoad32(header + kPakMagicSize + 4));
    codec_ = CreatePakCodec(method);
    method_ = method;
    if (codec_ == nullptr) {
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

bool PakArchive::ReadAt(uint64_t offset, void* buffer, uint32_t count) {
    if (file_.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin) < 0) return false;
    return file_.Read(buffer, count) == count;
}
