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

// Decodes the member whose data area starts at `offset` into `out` (`size` bytes).
bool DecodeMember(const uint8_t* block, size_t blockSize, size_t offset, uint32_t size, std::vector<uint8_t>& out) {
    const size_t blocks = (static_cast<size_t>(size) + kPakBlockSize - 1) / kPakBlockSize;
    if (offset > blockSize || blocks * kPakBlockTableValueSize > blockSize - offset) return false;
    std::unique_ptr<PakCodec, CodecDeleter> codec(CreatePakCodec(kContainerMethod));
    if (!codec) return false;
    out.assign(size, 0);
    std::vector<uint8_t> scratch(kPakBlockSize);
    size_t at = offset + blocks * kPakBlockTableValueSize;
    size_t done = 0;
    for (size_t i = 0; i < blocks; ++i) {
        const uint16_t length = PakLoad16(block + offset + i * kPakBlockTableValueSize);
        const size_t want = std::min<size_t>(kPakBlockSize, size - done);
        if (length == 0) {
            if (want > blockSize - at) return false;
            std::memcpy(out.data() + done, block + at, want);
            at += want;
            done += want;
            continue;
        }
        if (length > blockSize - at) return false;
        std::memcpy(scratch.data(), block + at, length);
        PakCodecJob job{out.data() + done, static_cast<uint32_t>(want), scratch.data(), length};
        if (!codec->Decode(job) || job.plainSize == 0 || job.plainSize > want) return false;
        at += length;
        done += job.plainSize;
    }
    return done == size;
}

}  // namespace

int32_t ExtractUpdatePkMember(const std::string& name, const uint8_t* block, size_t size, std::vector<uint8_t>& out,
                              bool* extracted) {
    if (extracted != nullptr) *extracted = false;
    if (block == nullptr || size < kPakHeaderSize || std::memcmp(block, kPakMagicRebuilt, kPakMagicSize) != 0 ||
        static_cast<int32_t>(PakLoad32(block + 12)) != kContainerMethod) {
        return UPD_E_DATA;
    }
    std::string folded = name;
    FoldPackName(folded);
    const uint32_t id = PackFileId(folded);
    const uint32_t count = PakLoad32(block + 8);
    const size_t entries = std::min<size_t>(count, (size - kPakHeaderSize) / kPakIndexEntrySize);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = block + kPakHeaderSize + i * kPakIndexEntrySize;
        const uint32_t memberSize = PakLoad32(entry + 8);
        if (memberSize > kMaxExtractedMember) return UPD_E_DATA;
        if (PakLoad32(entry) != id) continue;
        std::vector<uint8_t> member;
        if (!DecodeMember(block, size, PakLoad32(entry + 4), memberSize, member)) return UPD_E_DATA;
        out.swap(member);
        if (extracted != nullptr) *extracted = true;
        return 0;
    }
    // A count larger than the index the block holds is damage, not "no such member".
    return entries < count ? UPD_E_DATA : 0;
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
