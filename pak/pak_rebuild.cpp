#include "pak/pak_rebuild.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/show_status.h"
#include "pak/pak_codec.h"
#include "pak/pak_format.h"
#include "pak/pak_kept_copier.h"
#include "pak/pak_paths.h"
#include "pak/pak_texts.h"
#include "pak/pak_updater.h"
#include "platform/platform.h"

PakRebuild::PakRebuild(PakArchive& pack, PakReplacementQueue& queue, const std::string& packPath,
                       RebuildProgress* progress, RebuildClock clock)
    : pack_(pack), queue_(queue), tempName_(packPath + kPakTempSuffix), progress_(progress, clock) {
    MakePakDiskPath(tempName_.c_str(), tempPath_);
    MakePakDiskPath(packPath.c_str(), packPath_);
}

bool PakRebuild::Run() {
    if (tempPath_.size() > kPakDiskPathMax || packPath_.size() > kPakDiskPathMax ||
        !temp_.OpenWrite(tempName_.c_str())) {
        return FailWith(kRebuildTextCannotCreate);
    }
    if (!ClassifyReplacements()) return false;
    ShowStatus(kRebuildTextRebuilding);
    progress_.Start(BytesToWrite());
    if (!WriteHeaderAndIndex() || !WriteReplacements() || !CopyKeptEntries()) return false;
    if (temp_.Seek(kPakHeaderSize, platform::SeekOrigin::Begin) < 0 || !WriteHeaderAndIndex()) return false;
    if (!PutInPlace()) return false;
    progress_.Finish();
    return true;
}

// The plain size of every entry the new pack will hold: new entries are counted as they
// are read, kept ones in proportion to what is copied, so progress moves evenly.
uint64_t PakRebuild::BytesToWrite() const {
    uint64_t total = 0;
    for (const auto& item : queue_) {
        if (!item.second->deletion) total += item.second->Size();
    }
    for (const KeptEntry& kept : kept_) total += kept.old.size;
    return total;
}

// First pass: marks replaced entries and drops deletions; picks the entries to keep and
// counts the new index. An entry whose stored bytes do not lie whole inside the old pack (a
// pack cut short, a damaged block table) cannot be copied: it is left out, so the new pack
// is whole, and a line says so. The engine fetches again what its list names.
bool PakRebuild::ClassifyReplacements() {
    uint32_t replacements = 0;
    for (auto& item : queue_) {
        PakReplacement& record = *item.second;
        uint32_t position = 0;
        if (pack_.FindId(item.first, position)) pack_.MarkReplaced(position);
        if (record.deletion || record.IsDeleteMarker()) {
            record.deletion = true;
            record.Discard();
        } else {
            ++replacements;
        }
    }
    kept_.clear();
    uint32_t dropped = 0;
    for (const auto& item : pack_.Map()) {
        const PakIndexEntry old = pack_.EntryAt(item.second);
        if (old.size == kPakReplacedSize) continue;
        uint64_t stored = 0;
        if (!pack_.StoredLength(old, stored)) {
            ++dropped;
            continue;
        }
        kept_.push_back(KeptEntry{PakIndexEntry{item.first, old.offset, old.size}, stored});
    }
    if (dropped != 0) {
        char line[kStatusMaxLength];
        std::snprintf(line, sizeof line, kRebuildTextDroppedFormat, static_cast<unsigned>(dropped));
        ShowStatus(line);
    }
    newCount_ = replacements + static_cast<uint32_t>(kept_.size());
    index_.clear();
    index_.reserve(newCount_);
    return true;
}

// Header "UpdatePK", the new count, the old method, and the index (placeholders on the
// first call, the filled entries on the second).
bool PakRebuild::WriteHeaderAndIndex() {
    uint8_t header[kPakHeaderSize];
    std::memcpy(header, kPakMagicRebuilt, kPakMagicSize);
    PakStore32(header + kPakMagicSize, newCount_);
    PakStore32(header + kPakMagicSize + 4, static_cast<uint32_t>(pack_.Method()));
    std::vector<uint8_t> index(static_cast<size_t>(newCount_) * kPakIndexEntrySize, 0);
    for (size_t i = 0; i < index_.size() && i < newCount_; ++i) {
        PakStoreIndexEntry(index.data() + i * kPakIndexEntrySize, index_[i]);
    }
    if (temp_.Seek(0, platform::SeekOrigin::Begin) < 0 || !Write(header, kPakHeaderSize)) {
        return FailWith(kRebuildTextCannotWrite);
    }
    if (!index.empty() && !Write(index.data(), static_cast<uint32_t>(index.size()))) {
        return FailWith(kRebuildTextCannotWrite);
    }
    return true;
}

bool PakRebuild::WriteReplacements() {
    PakBlockCoder coder(pack_.Method(), *this);
    if (!coder.Ready()) return FailWith(kRebuildTextCannotWrite);
    for (auto& item : queue_) {
        PakReplacement& record = *item.second;
        if (record.deletion) continue;
        if (!ReadReplacement(record, coder)) return false;
    }
    return coder.Drain() || FailWith(kRebuildTextCannotWrite);
}

bool PakRebuild::StartEntry(uint32_t id, uint32_t size, uint32_t& offset) {
    const int64_t position = temp_.Seek(0, platform::SeekOrigin::End);
    if (position < 0 || static_cast<uint64_t>(position) > UINT32_MAX) return false;
    offset = static_cast<uint32_t>(position);
    index_.push_back(PakIndexEntry{id, offset, size});
    return true;
}

// Second pass, one replacement: its blocks go to the coder, to be coded with the pack's
// own method and written as they come back (TakeBlock).
bool PakRebuild::ReadReplacement(PakReplacement& record, PakBlockCoder& coder) {
    const uint32_t size = record.Size();
    const uint32_t blocks = PakBlockCount(size);
    if (blocks >= kPakMaxBlocks) {
        std::fputs(kRebuildTooBigLine, stdout);
        record.Discard();
        return FailWith(kRebuildTextBadReplacement);
    }
    // An empty replacement has no block to carry its entry: it starts once those before it
    // are written.
    if (blocks == 0) {
        uint32_t offset = 0;
        record.Discard();
        return (coder.Drain() && StartEntry(record.id, 0, offset)) || FailWith(kRebuildTextCannotWrite);
    }
    uint32_t left = size;
    for (uint32_t b = 0; b < blocks; ++b) {
        const uint32_t n = std::min(left, kPakBlockSize);
        uint8_t* plain = coder.NextPlain();
        if (plain == nullptr) return FailWith(kRebuildTextCannotWrite);
        if (!record.ReadExactly(plain, n)) return FailWith(kRebuildTextBadReplacement);
        if (!coder.Submit(n, PakBlockPlace{record.id, size, b, blocks})) return FailWith(kRebuildTextCannotWrite);
        left -= n;
    }
    record.Discard();
    return true;
}

// A replacement's first block: its index entry and a block table to be filled.
bool PakRebuild::StartCodedEntry(uint32_t id, uint32_t size, uint32_t blocks) {
    uint32_t offset = 0;
    return StartEntry(id, size, offset) && table_.Begin(temp_, offset, blocks);
}

// Writes one coded block of a replacement: coded when that made it smaller than its plain
// bytes, plain otherwise. The table goes in place after the last block.
bool PakRebuild::TakeBlock(PakCodedBlock& block) {
    const PakBlockPlace& place = block.place;
    if (place.block == 0 && !StartCodedEntry(place.entry, place.entrySize, place.blocks)) return false;
    const bool shrank = block.coded && block.packedSize != 0 && block.packedSize < block.plainSize;
    table_.Set(place.block, shrank ? static_cast<uint16_t>(block.packedSize) : kPakStoredBlock);
    if (!(shrank ? Write(block.packed, block.packedSize) : Write(block.plain, block.plainSize))) return false;
    progress_.Advance(block.plainSize);
    return place.block + 1 < place.blocks || table_.WriteBack(temp_);
}

// Third pass: every entry kept is copied byte for byte, in ascending id order.
bool PakRebuild::CopyKeptEntries() {
    const int64_t end = temp_.Seek(0, platform::SeekOrigin::End);
    if (end < 0) return FailWith(kRebuildTextCannotWrite);
    PakKeptCopier copier(pack_, temp_, static_cast<uint64_t>(end));
    if (!copier.Ready()) return FailWith(kRebuildTextCannotWrite);
    for (const KeptEntry& kept : kept_) {
        if (!CopyKeptEntry(kept, copier)) return false;
    }
    return copier.Flush() || FailWith(kRebuildTextCannotWrite);
}

bool PakRebuild::CopyKeptEntry(const KeptEntry& kept, PakKeptCopier& copier) {
    const uint64_t offset = copier.Position();
    if (offset > UINT32_MAX) return FailWith(kRebuildTextCannotWrite);
    index_.push_back(PakIndexEntry{kept.old.id, static_cast<uint32_t>(offset), kept.old.size});
    bool readFailed = false;
    // The old pack was measured when the run began; one that shrank since cannot be copied.
    if (!copier.Copy(kept.old.offset, kept.stored, &readFailed)) {
        return FailWith(readFailed ? kRebuildTextDamagedPack : kRebuildTextCannotWrite);
    }
    progress_.Advance(kept.old.size);
    return true;
}

// Flushes the new pack and puts it in place of the old one in one step: at every moment
// the pack's name holds a whole pack, old or new.
bool PakRebuild::PutInPlace() {
    if (!temp_.Flush()) return FailWith(kRebuildTextCannotWrite);
    temp_.Close();
    pack_.Close();
    platform::SetFileAttributesNormal(packPath_.c_str());  // a read-only pack cannot be replaced
    if (!platform::ReplaceFileAtomic(tempPath_.c_str(), packPath_.c_str())) {
        return FailWith(kRebuildTextCannotReplace);
    }
    return true;
}

bool PakRebuild::Write(const void* data, uint32_t size) { return temp_.Write(data, size) == size; }

bool PakRebuild::FailWith(const char* status) {
    ShowStatus(status);
    temp_.Close();
    platform::SetFileAttributesNormal(tempPath_.c_str());
    platform::RemoveFile(tempPath_.c_str());
    return false;
}
