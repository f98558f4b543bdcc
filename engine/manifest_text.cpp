#include "engine/manifest_text.h"

#include "common/update_codes.h"
#include "engine/md5.h"
#include "net/pak_access.h"
#include "pak/pak_format.h"

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr const char* kLineEnd = "\r\n";
constexpr int kFieldsPerRecord = 5;

// Reads one field at `pos`: the text up to the first CR, then skips up to and including the
// next LF. False when the text runs out first.
bool ReadField(const std::string& text, size_t& pos, std::string& field) {
    const size_t cr = text.find(kCr, pos);
    if (cr == std::string::npos) return false;
    const size_t lf = text.find(kLf, cr);
    if (lf == std::string::npos) return false;
    field.assign(text, pos, cr - pos);
    pos = lf + 1;
    return true;
}

bool SkipLine(const std::string& text, size_t& pos) {
    const size_t lf = text.find(kLf, pos);
    if (lf == std::string::npos) return false;
    pos = lf + 1;
    return true;
}

}  // namespace

bool IsMd5DigestText(const std::string& digest) {
    return digest.size() == kDigestTextLength && digest.compare(0, kDigestPrefixLength, kDigestPrefixMd5) == 0;
}

bool DigestMatchesMd5Text(const std::string& digest, const std::string& md5Text) {
    if (digest.size() < kDigestPrefixLength) return false;
    return digest.compare(kDigestPrefixLength, std::string::npos, md5Text) == 0;
}

bool IsRemovalRecord(const ManifestRecord& record) {
    return !record.IsUnpack() && record.size == std::to_string(kPakDeleteMarkerSize) &&
           DigestMatchesContent(record.digest, kPakDeleteMarker, kPakDeleteMarkerSize);
}

bool DigestMatchesContent(const std::string& digest, const void* bytes, size_t size) {
    return DigestMatchesMd5Text(digest, Md5Text(bytes, size));
}

int32_t ReadManifestText(const std::string& text, const std::function<void(ManifestRecord&&)>& onRecord) {
    size_t pos = 0;
    while (pos < text.size()) {
        ManifestRecord record;
        std::string* fields[kFieldsPerRecord] = {&record.kind, &record.name, &record.digest, &record.size,
                                                 &record.remotePath};
        for (std::string* field : fields) {
            if (!ReadField(text, pos, *field)) return UPD_E_DATA;
            FoldPackName(*field);
        }
        if (!SkipLine(text, pos)) return UPD_E_DATA;
        onRecord(std::move(record));
    }
    return UPD_DONE;
}

void AppendManifestText(const std::vector<ManifestRecord>& records, std::string& text) {
    for (const ManifestRecord& r : records) {
        for (const std::string* field : {&r.kind, &r.name, &r.digest, &r.size, &r.remotePath}) {
            text += *field;
            text += kLineEnd;
        }
        text += kLineEnd;
    }
}

bool RemotePathPlatform(const std::string& remotePath, std::string* platform) {
    const size_t dollar = remotePath.find('$');
    if (dollar == std::string::npos) return false;
    const size_t sep = remotePath.find_first_of("/\\", dollar + 1);
    if (sep == std::string::npos) return false;
    if (platform != nullptr) platform->assign(remotePath, dollar + 1, sep - dollar - 1);
    return true;
}

void MergeRemoteRecord(std::map<std::string, ManifestRecord>& set, ManifestRecord&& record) {
    auto it = set.find(record.name);
    if (it == set.end()) {
        std::string key = record.name;
        set.emplace(std::move(key), std::move(record));
    } else if (record.remotePath.size() >= it->second.remotePath.size()) {
        it->second = std::move(record);
    }
}
