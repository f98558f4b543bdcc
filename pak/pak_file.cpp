#include "pak/pak_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "pak/pak_format.h"
#include "pak/pak_list.h"
#include "pak/pak_paths.h"

namespace {

constexpr char kBackslash = '\\';
constexpr char kSlash = '/';

// Plain bytes block `block` of an entry of `size` bytes holds.
uint32_t PlainBlockSize(uint32_t size, uint32_t block) {
    uint64_t start = static_cast<uint64_t>(block) * kPakBlockSize;
    return static_cast<uint32_t>(std::min<uint64_t>(kPakBlockSize, size - start));
}

}  // namespace

PakFile::~PakFile() { Close(); }

int PakFile::Open(const char* name) {
    // Every open starts with a close, so a refused name never leaves the previous file
    // readable through this stream.
    Close();
    if (name == nullptr) return 0;
    const size_t length = std::strlen(name);
    if (length > kPakOpenNameMax) return 0;
    std::string copy(name, length);
    for (size_t i = 1; i < copy.size(); ++i) {
        if (copy[i] == kBackslash) copy[i] = kSlash;
    }
    switch (GetPakOpenMode()) {
        case kPakOpenDiskFirst:
            return disk_.OpenRead(copy.c_str()) || OpenFromPacks(copy.c_str()) ? 1 : 0;
        case kPakOpenPacksFirst:
            return OpenFromPacks(copy.c_str()) || disk_.OpenRead(copy.c_str()) ? 1 : 0;
        case kPakOpenDiskOnly:
            return disk_.OpenRead(copy.c_str()) ? 1 : 0;
        case kPakOpenPacksOnly:
            return OpenFromPacks(copy.c_str()) ? 1 : 0;
        default:
            return 0;
    }
}

bool PakFile::OpenFromPacks(const char* name) {
    PakList* list = PakList::Current();
    if (list == nullptr) return false;
    platform::MutexLock lock(list->Lock());
    uint32_t offset = 0;
    uint32_t size = 0;
    const int index = list->Find(name, &offset, &size);
    return index >= 0 && OpenEntryLocked(*list, index, offset, size);
}

int PakFile::OpenEntry(int packIndex, uint32_t offset, uint32_t size) {
    Close();
    PakList* list = PakList::Current();
    if (list == nullptr) return 0;
    platform::MutexLock lock(list->Lock());
    return OpenEntryLocked(*list, packIndex, offset, size) ? 1 : 0;
}

bool PakFile::OpenEntryLocked(PakList& list, int packIndex, uint32_t offset, uint32_t size) {
    PakArchive* pack = list.Pack(packIndex);
    if (pack == nullptr || size >= kPakMaxEntrySize) return false;
    const uint32_t blocks = PakBlockCount(size);
    if (table_.Resize(blocks * kPakBlockTableValueSize) == nullptr || plain_.Resize(kPakBlockSize) == nullptr ||
        packed_.Resize(kPakBlockSize) == nullptr) {
        return false;
    }
    if (!pack->ReadAt(offset, table_.Data(), table_.Size())) return false;

    // The blocks must lie inside the pack file: a damaged table fails here, not mid-read.
    uint64_t end = static_cast<uint64_t>(offset) + table_.Size();
    for (uint32_t i = 0; i < blocks; ++i) {
        uint16_t value = PakLoad16(table_.Data() + i * kPakBlockTableValueSize);
        end += value != kPakStoredBlock ? value : PlainBlockSize(size, i);
    }
    if (end > pack->FileSize()) return false;

    dataOffset_ = static_cast<uint64_t>(offset) + table_.Size();
    size_ = size;
    blockCount_ = blocks;
    position_ = 0;
    heldBlock_ = -1;
    packIndex_ = packIndex;
    list.SetCurrentIndex(packIndex);
    return true;
}

uint64_t PakFile::BlockOffset(uint32_t block) const {
    uint64_t offset = dataOffset_;
    for (uint32_t i = 0; i < block; ++i) {
        uint16_t value = PakLoad16(table_.Data() + i * kPakBlockTableValueSize);
        offset += value != kPakStoredBlock ? value : kPakBlockSize;
    }
    return offset;
}

// Decodes block `block` into `target` (room for kPakBlockSize bytes). Runs under the lock.
bool PakFile::DecodeBlock(uint32_t block, uint8_t* target) {
    if (block >= blockCount_) return false;
    PakList* list = PakList::Current();
    PakArchive* pack = list != nullptr ? list->Pack(packIndex_) : nullptr;
    if (pack == nullptr) return false;
    list->SetCurrentIndex(packIndex_);

    const uint32_t expected = PlainBlockSize(size_, block);
    const uint16_t value = PakLoad16(table_.Data() + block * kPakBlockTableValueSize);
    const uint64_t offset = BlockOffset(block);
    if (value == kPakStoredBlock) return pack->ReadAt(offset, target, expected);

    PakCodec* codec = pack->Codec();
    if (codec == nullptr || !pack->ReadAt(offset, packed_.Data(), value)) return false;
    PakCodecJob job{target, expected, packed_.Data(), value};
    // A block that decodes to any other length than its share of the entry is damaged.
    return codec->Decode(job) && job.plainSize == expected;
}

uint32_t PakFile::Read(void* buffer, uint32_t length) {
    if (buffer == nullptr) return 0;
    if (packIndex_ < 0) return disk_.Read(buffer, length);
    PakList* list = PakList::Current();
    if (list == nullptr) return 0;
    platform::MutexLock lock(list->Lock());
    uint32_t got = ReadFromPack(static_cast<uint8_t*>(buffer), length);
    return got;
}

uint32_t PakFile::ReadFromPack(uint8_t* out, uint32_t length) {
    if (length > size_ - position_) length = size_ - position_;
    uint32_t delivered = 0;
    while (delivered < length) {
        const uint32_t wanted = length - delivered;
        const uint32_t block = position_ / kPakBlockSize;
        const uint32_t inBlock = position_ % kPakBlockSize;
        uint32_t take = 0;
        if (inBlock == 0 && wanted >= kPakBlockSize) {
            if (!DecodeBlock(block, out + delivered)) break;
            take = kPakBlockSize;
        } else {
            if (heldBlock_ != static_cast<int64_t>(block)) {
                heldBlock_ = -1;
                if (!DecodeBlock(block, plain_.Data())) break;
                heldBlock_ = block;
            }
            take = std::min(wanted, kPakBlockSize - inBlock);
            std::memcpy(out + delivered, plain_.Data() + inBlock, take);
        }
        position_ += take;
        delivered += take;
    }
    if (delivered < length) {
        position_ = 0;
        heldBlock_ = -1;
        return 0;
    }
    return delivered;
}

uint32_t PakFile::Seek(int32_t offset, int origin) {
    if (packIndex_ < 0) {
        if (origin < kPakSeekBegin || origin > kPakSeekEnd) return static_cast<uint32_t>(disk_.Tell());
        int64_t result = disk_.Seek(offset, static_cast<platform::SeekOrigin>(origin));
        return static_cast<uint32_t>(result);  // -1 becomes 0xFFFFFFFF as SetFilePointer reports it
    }
    PakList* list = PakList::Current();
    if (list == nullptr) return position_;
    platform::MutexLock lock(list->Lock());
    switch (origin) {
        case kPakSeekBegin: position_ = static_cast<uint32_t>(offset); break;
        case kPakSeekCurrent: position_ += static_cast<uint32_t>(offset); break;
        case kPakSeekEnd: position_ = size_ + static_cast<uint32_t>(offset); break;
        default: break;
    }
    if (position_ > size_) position_ = size_;
    return position_;
}

uint32_t PakFile::GetSize() {
    if (packIndex_ >= 0) return size_;
    uint64_t size = disk_.Size();
    return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}

void PakFile::Close() {
    disk_.Close();
    plain_.Free();
    packed_.Free();
    table_.Free();
    dataOffset_ = 0;
    size_ = 0;
    position_ = 0;
    heldBlock_ = -1;
    blockCount_ = 0;
    packIndex_ = -1;
}
