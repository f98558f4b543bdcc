#include "engine/update_pk_writer.h"

#include <algorithm>
#include <memory>

#include "net/pak_access.h"
#include "pak/pak_codec.h"
#include "pak/pak_format.h"

namespace {

constexpr int32_t kMethod = kPakMethodZlib;

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) { PakStore32(out.data() + at, v); }

struct CodecDeleter {
    void operator()(PakCodec* codec) const { DestroyPakCodec(codec, kMethod); }
};

// Appends the block table and the blocks of one member to `out`: each block coded, or
// stored when coding does not make it smaller. False when the member has too many blocks.
bool AppendMemberData(PakCodec& codec, const std::vector<uint8_t>& bytes, std::vector<uint8_t>& out) {
    const size_t blocks = (bytes.size() + kPakBlockSize - 1) / kPakBlockSize;
    if (blocks >= kPakMaxBlocks) return false;
    std::vector<uint8_t> plain(kPakBlockSize);
    std::vector<uint8_t> packed(kPakPackedCapacity);
    const size_t table = out.size();
    out.resize(table + 2 * blocks);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t from = b * kPakBlockSize;
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kPakBlockSize, bytes.size() - from));
        std::copy(bytes.begin() + from, bytes.begin() + from + n, plain.begin());
        PakCodecJob job{plain.data(), n, packed.data(), kPakPackedCapacity};
        const bool coded = codec.Encode(job) && job.packedSize < n;
        const uint16_t length = coded ? static_cast<uint16_t>(job.packedSize) : 0;
        out[table + 2 * b] = static_cast<uint8_t>(length);
        out[table + 2 * b + 1] = static_cast<uint8_t>(length >> 8);
        if (coded) {
            out.insert(out.end(), packed.begin(), packed.begin() + job.packedSize);
        } else {
            out.insert(out.end(), plain.begin(), plain.begin() + n);
        }
    }
    return true;
}

}  // namespace

void UpdatePkWriter::Add(const std::string& name, std::vector<uint8_t> bytes) {
    std::string folded = name;
    FoldPackName(folded);
    const uint32_t id = PackFileId(folded);
    for (Member& m : members_) {
        if (m.id == id) {
            m.bytes = std::move(bytes);
            return;
        }
    }
    members_.push_back(Member{id, std::move(bytes)});
}

bool UpdatePkWriter::Build(std::vector<uint8_t>& out) const {
    std::unique_ptr<PakCodec, CodecDeleter> codec(CreatePakCodec(kMethod));
    if (!codec) return false;
    out.assign(kPakHeaderSize + kPakIndexEntrySize * members_.size(), 0);
    std::copy(kPakMagicRebuilt, kPakMagicRebuilt + kPakMagicSize, out.begin());
    Put32(out, 8, static_cast<uint32_t>(members_.size()));
    Put32(out, 12, static_cast<uint32_t>(kMethod));
    for (size_t i = 0; i < members_.size(); ++i) {
        const size_t entry = kPakHeaderSize + kPakIndexEntrySize * i;
        Put32(out, entry, members_[i].id);
        Put32(out, entry + 4, static_cast<uint32_t>(out.size()));
        Put32(out, entry + 8, static_cast<uint32_t>(members_[i].bytes.size()));
        if (!AppendMemberData(*codec, members_[i].bytes, out)) return false;
    }
    return true;
}

uint64_t UpdatePkWriter::StoredSize(const std::vector<uint8_t>& bytes) {
    std::unique_ptr<PakCodec, CodecDeleter> codec(CreatePakCodec(kMethod));
    std::vector<uint8_t> data;
    if (!codec || !AppendMemberData(*codec, bytes, data)) return 0;
    return data.size();
}
