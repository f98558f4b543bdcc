#include "net/unwrap.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/gbk.h"
#include "common/update_codes.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "pak/pak_codec.h"
#include "pak/pak_format.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kContainerMethod = kPakMethodZlib;
constexpr const char* kRemoteListName = "update.pak";
constexpr const char* kListMemberName = "update.inf";
constexpr const char* kPackExtension = ".pak";

struct CodecDeleter {
    void operator()(PakCodec* codec) const { DestroyPakCodec(codec, kContainerMethod); }
};

size_t FileNameStart(const std::string& path) { return gbk::FileNameStart(path.data(), path.size()); }

}  // namespace

bool UpdatePkEntryCount(const uint8_t* block, size_t size, uint32_t* count) {
    if (block == nullptr || size < kPakHeaderSize || std::memcmp(block, kPakMagicRebuilt, kPakMagicSize) != 0 ||
        static_cast<int32_t>(PakLoad32(block + 12)) != kContainerMethod) {
        return false;
    }
    *count = PakLoad32(block + 8);
    return true;
}

bool UpdatePkEntryAt(const uint8_t* block, size_t size, uint32_t index, UpdatePkEntry* entry) {
    if (block == nullptr || size < kPakHeaderSize || index >= (size - kPakHeaderSize) / kPakIndexEntrySize) {
        return false;
    }
    const uint8_t* at = block + kPakHeaderSize + static_cast<size_t>(index) * kPakIndexEntrySize;
    entry->id = PakLoad32(at);
    entry->offset = PakLoad32(at + 4);
    entry->size = PakLoad32(at + 8);
    return true;
}

bool DecodeUpdatePkMember(const uint8_t* block, size_t blockSize, const UpdatePkEntry& entry, uint8_t* out) {
    const size_t offset = entry.offset;
    const size_t blocks = (static_cast<size_t>(entry.size) + kPakBlockSize - 1) / kPakBlockSize;
    if (offset > blockSize || blocks > (blockSize - offset) / kPakBlockTableValueSize) return false;
    std::unique_ptr<PakCodec, CodecDeleter> codec(CreatePakCodec(kContainerMethod));
    if (!codec) return false;
    std::vector<uint8_t> scratch(kPakBlockSize);
    size_t at = offset + blocks * kPakBlockTableValueSize;
    size_t done = 0;
    for (size_t i = 0; i < blocks; ++i) {
        const uint16_t length = PakLoad16(block + offset + i * kPakBlockTableValueSize);
        const size_t want = std::min<size_t>(kPakBlockSize, entry.size - done);
        if (length == 0) {
            if (want > blockSize - at) return false;
            std::memcpy(out + done, block + at, want);
            at += want;
            done += want;
            continue;
        }
        if (length > blockSize - at) return false;
        std::memcpy(scratch.data(), block + at, length);
        PakCodecJob job{out + done, static_cast<uint32_t>(want), scratch.data(), length};
        if (!codec->Decode(job) || job.plainSize == 0 || job.plainSize > want) return false;
        at += length;
        done += job.plainSize;
    }
    return done == entry.size;
}

bool IsUpdatePkContainerFile(const std::string& path) {
    const platform::OwnedFile file(platform::OpenFileForRead(path.c_str()));
    if (!file.valid()) return false;
    uint8_t header[kPakHeaderSize];
    uint32_t count = 0;
    return platform::ReadFromFile(file.get(), header, kPakHeaderSize) == kPakHeaderSize &&
           UpdatePkEntryCount(header, kPakHeaderSize, &count);
}

int32_t ExtractUpdatePkMember(const std::string& name, const uint8_t* block, size_t size, std::vector<uint8_t>& out,
                              bool* extracted) {
    if (extracted != nullptr) *extracted = false;
    uint32_t count = 0;
    if (!UpdatePkEntryCount(block, size, &count)) return UPD_E_DATA;
    std::string folded = name;
    FoldPackName(folded);
    const uint32_t id = PackFileId(folded);
    UpdatePkEntry entry;
    uint32_t i = 0;
    for (; i < count && UpdatePkEntryAt(block, size, i, &entry); ++i) {
        if (entry.size > kMaxExtractedMember) return UPD_E_DATA;
        if (entry.id != id) continue;
        std::vector<uint8_t> member(entry.size);
        if (!DecodeUpdatePkMember(block, size, entry, member.data())) return UPD_E_DATA;
        out.swap(member);
        if (extracted != nullptr) *extracted = true;
        return 0;
    }
    // A count larger than the index the block holds is damage, not "no such member".
    return i < count ? UPD_E_DATA : 0;
}

std::string DownloadMemberName(const std::string& remotePath) {
    std::string name = remotePath.substr(FileNameStart(remotePath));
    for (size_t i = 0, step = 0; i < name.size(); i += step) {
        step = gbk::CharLength(name.data(), i, name.size());
        const char c = name[i];
        if (step == 1 && c >= 'A' && c <= 'Z') name[i] = static_cast<char>(c + ('a' - 'A'));
    }
    return name == kRemoteListName ? std::string(kListMemberName) : name;
}

bool UnwrapDownloadedFile(const char* localPath, const char* remotePath) {
    if (localPath == nullptr || remotePath == nullptr || !platform::FileExists(localPath)) return false;
    const std::string remote = remotePath;
    if (remote.find(kPackExtension) != std::string::npos) return true;
    std::vector<uint8_t> member;
    switch (ReadPackMember(localPath, remote.substr(FileNameStart(remote)), member)) {
        case MemberRead::kNoPack: return true;
        case MemberRead::kOk: break;
        default: return false;
    }
    // The member replaces the container in one step, through a temporary file that cannot
    // be any other file's, so a failed write loses nothing.
    return ReplaceFileContent(localPath, member.data(), member.size());
}
