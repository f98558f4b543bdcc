#include "pak/pak_make.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pak/pak_format.h"
#include "pak/pak_log.h"
#include "pak/pak_mem.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr uint32_t kListTerminatorSize = 2;  // the CR LF appended after the list text
constexpr const char* kEmptyWorkPath = "\\";
constexpr const char* kTempSuffix = "tmp";
constexpr uint64_t kMaxPackSize = UINT32_MAX;  // index offsets are 32-bit

// Index of the first CR or NUL at or after `from`.
uint32_t LineEnd(const uint8_t* text, uint32_t from) {
    uint32_t i = from;
    while (text[i] != kCr && text[i] != '\0') ++i;
    return i;
}

}  // namespace

int PakMake::Make(const char* listFile, const char* packFile, int32_t method) {
    method_ = method;
    // The blocks are coded by codecs the block coder makes; one made here only tells
    // whether the method exists, before anything is read or written.
    PakCodec* probe = CreatePakCodec(method);
    methodChosen_ = probe != nullptr;
    DestroyPakCodec(probe, method);
    if (!methodChosen_) {
        PakLog("PakMake : unknown method %d", static_cast<int>(method));
        return 0;
    }
    return LoadList(listFile) != 0 && Pack(packFile) != 0 ? 1 : 0;
}

int PakMake::LoadList(const char* listFile) {
    SetWorkPath(kEmptyWorkPath);
    DiskFile file;
    if (!file.OpenRead(listFile)) return 0;
    const uint64_t size = file.Size();
    if (size > UINT32_MAX - kListTerminatorSize - 1) return 0;
    const uint32_t textSize = static_cast<uint32_t>(size);
    // One byte beyond the CR LF keeps a NUL after every line, however the lines end.
    uint8_t* text = list_.Resize(textSize + kListTerminatorSize + 1);
    if (text == nullptr || file.Read(text, textSize) != textSize) return 0;
    text[textSize] = kCr;
    text[textSize + 1] = kLf;
    text[textSize + 2] = '\0';

    uint32_t end = LineEnd(text, 0);
    text[end] = text[end + 1] = '\0';
    baseDirectory_ = 0;

    names_.clear();
    for (uint32_t start = end + 2; start < textSize; start = end + 2) {
        end = LineEnd(text, start);
        text[end] = text[end + 1] = '\0';
        names_.push_back(ListedName{start, 0, std::string()});
    }
    if (names_.empty()) return 0;

    // The id comes from the folded name; the file is opened under the name as listed,
    // which is the same file on Windows and the right one on case-sensitive file systems.
    // Messages name the file as the pack knows it: folded.
    for (ListedName& name : names_) {
        name.folded = reinterpret_cast<const char*>(text + name.offset);
        FoldPakName(&name.folded[0]);
        name.id = CalcFileId(name.folded.c_str());
    }
    std::sort(names_.begin(), names_.end(),
              [](const ListedName& a, const ListedName& b) { return a.id < b.id; });
    for (size_t i = 1; i < names_.size(); ++i) {
        if (names_[i - 1].id == names_[i].id) {
            PakLog("There are files have the same id");
            return 0;
        }
    }
    count_ = static_cast<uint32_t>(names_.size());
    if (static_cast<uint64_t>(count_) * kPakIndexEntrySize > UINT32_MAX - kPakHeaderSize) return 0;
    if (index_.Resize(count_ * kPakIndexEntrySize) == nullptr) return 0;
    for (uint32_t i = 0; i < count_; ++i) {
        PakStoreIndexEntry(index_.Data() + i * kPakIndexEntrySize, PakIndexEntry{names_[i].id, 0, 0});
    }
    return 1;
}

int PakMake::Pack(const char* packFile) {
    if (packFile == nullptr || !methodChosen_ || count_ == 0) return 0;
    SetWorkPath(kEmptyWorkPath);
    const std::string tempName = std::string(packFile) + kTempSuffix;
    std::string packPath;
    std::string tempPath;
    if (!MakePakDiskPath(packFile, packPath) || !MakePakDiskPath(tempName.c_str(), tempPath)) return 0;

    const bool written = WritePack(tempName.c_str());
    input_.Close();
    output_.Close();
    // A read-only pack cannot be replaced on Windows: clear the attribute first, as the
    // rebuild does.
    if (written) platform::SetFileAttributesNormal(packPath.c_str());
    if (!written || !platform::ReplaceFileAtomic(tempPath.c_str(), packPath.c_str())) {
        platform::SetFileAttributesNormal(tempPath.c_str());
        platform::RemoveFile(tempPath.c_str());
        return 0;
    }
    return 1;
}

// Writes the whole pack to `tempName` and flushes it; false on any failure.
bool PakMake::WritePack(const char* tempName) {
    if (!output_.OpenWrite(tempName)) return false;
    uint8_t header[kPakHeaderSize];
    std::memcpy(header, kPakMagicMade, kPakMagicSize);
    PakStore32(header + kPakMagicSize, count_);
    PakStore32(header + kPakMagicSize + 4, static_cast<uint32_t>(method_));
    if (output_.Write(header, kPakHeaderSize) != kPakHeaderSize ||
        output_.Write(index_.Data(), index_.Size()) != index_.Size()) {
        return false;
    }
    if (SetWorkPath(reinterpret_cast<const char*>(list_.Data() + baseDirectory_)) < 0) return false;

    PakBlockCoder coder(method_, *this);
    if (!coder.Ready()) return false;
    for (uint32_t i = 0; i < count_; ++i) {
        if (!ReadOneFile(i, coder)) return false;
    }
    return coder.Drain() && output_.Seek(kPakHeaderSize, platform::SeekOrigin::Begin) >= 0 &&
           output_.Write(index_.Data(), index_.Size()) == index_.Size() && output_.Flush();
}

// Reads one listed file block by block into the coder; its entry is written as the coded
// blocks come back (TakeBlock).
bool PakMake::ReadOneFile(uint32_t i, PakBlockCoder& coder) {
    const char* name = reinterpret_cast<const char*>(list_.Data() + names_[i].offset);
    const char* folded = names_[i].folded.c_str();
    if (!input_.OpenRead(name)) {
        PakLog("Can't open file : %s\n", folded);
        return false;
    }
    std::printf("packing file %s...\n", folded);
    const uint64_t size = input_.Size();
    const uint64_t blocks = (size + kPakBlockSize - 1) / kPakBlockSize;
    if (blocks >= kPakMaxBlocks) {
        PakError("PakMake::Pack()...Too big file to pack");
        return false;
    }
    // An empty file has no block to carry its entry: it starts once those before it are written.
    if (blocks == 0) return coder.Drain() && StartEntry(i, 0, 0);
    uint64_t left = size;
    for (uint32_t b = 0; b < blocks; ++b) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, kPakBlockSize));
        uint8_t* plain = coder.NextPlain();
        if (plain == nullptr) return false;
        if (input_.Read(plain, n) != n) {
            PakLog("PakMake : short read of %s", folded);
            return false;
        }
        const PakBlockPlace place{i, static_cast<uint32_t>(size), b, static_cast<uint32_t>(blocks)};
        if (!coder.Submit(n, place)) return false;
        left -= n;
    }
    input_.Close();
    return true;
}

// Puts entry i at the end of the pack: its index entry and a block table to be filled.
bool PakMake::StartEntry(uint32_t i, uint32_t size, uint32_t blocks) {
    const int64_t start = output_.Seek(0, platform::SeekOrigin::End);
    if (start < 0 ||
        static_cast<uint64_t>(start) + static_cast<uint64_t>(blocks) * kPakBlockTableValueSize + size > kMaxPackSize) {
        PakLog("PakMake : pack too large at %s", names_[i].folded.c_str());
        return false;
    }
    PakStoreIndexEntry(index_.Data() + i * kPakIndexEntrySize,
                       PakIndexEntry{names_[i].id, static_cast<uint32_t>(start), size});
    return table_.Begin(output_, start, blocks);
}

bool PakMake::TakeBlock(PakCodedBlock& block) {
    const PakBlockPlace& place = block.place;
    if (place.block == 0 && !StartEntry(place.entry, place.entrySize, place.blocks)) return false;
    if (!WriteBlock(block, place.block)) return false;
    return place.block + 1 < place.blocks || table_.WriteBack(output_);
}

// Writes one coded block and stores its table value. A block that does not shrink below a
// full block is stored plain; a short last block stored plain is padded to a full block
// (with zeros after its own bytes).
bool PakMake::WriteBlock(PakCodedBlock& block, uint32_t index) {
    // Only the packed size tells whether the block shrank.
    if (block.packedSize != 0 && block.packedSize < kPakBlockSize) {
        table_.Set(index, static_cast<uint16_t>(block.packedSize));
        return output_.Write(block.packed, block.packedSize) == block.packedSize;
    }
    table_.Set(index, kPakStoredBlock);
    if (block.plainSize < kPakBlockSize) std::memset(block.plain + block.plainSize, 0, kPakBlockSize - block.plainSize);
    return output_.Write(block.plain, kPakBlockSize) == kPakBlockSize;
}
