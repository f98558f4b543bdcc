#include "engine/installed_check.h"

#include <cstdlib>
#include <string>

#include "engine/md5.h"
#include "engine/update_engine.h"
#include "net/pak_access.h"
#include "net/server_name.h"
#include "platform/platform.h"

namespace {

uint64_t RecordedSize(const ManifestRecord& record) { return std::strtoull(record.size.c_str(), nullptr, 10); }

bool LooseFileIsWhole(const ManifestRecord& record) {
    const platform::OwnedFile file(platform::OpenFileForRead(record.name.c_str()));
    if (!file.valid() || platform::FileSize(file.get()) != static_cast<int64_t>(RecordedSize(record))) return false;
    std::string text;
    return Md5FileText(record.name.c_str(), &text) && record.digest == kDigestPrefixMd5 + text;
}

bool PackMemberIsWhole(InstalledFiles& files, const ManifestRecord& record) {
    const InstalledFile installed = files.Read(record.name, false, kMaxHashedFile);
    return installed.found && installed.fromPack && installed.bytes.size() == RecordedSize(record) &&
           record.digest == kDigestPrefixMd5 + Md5Text(installed.bytes.data(), installed.bytes.size());
}

// A record whose installed file cannot be checked: fetching it again could not change it.
bool Uncheckable(const ManifestRecord& record) {
    if (!IsMd5DigestText(record.digest) || IsRemovalRecord(record)) return true;
    const NameKind kind = record.IsUnpack() ? NameKind::kLooseFile : NameKind::kPackMember;
    return CheckServerName(record.name, kind) != NameVerdict::kAccepted;
}

}  // namespace

bool InstalledFileIsWhole(InstalledFiles& files, const ManifestRecord& record) {
    if (Uncheckable(record)) return true;
    return record.IsUnpack() ? LooseFileIsWhole(record) : PackMemberIsWhole(files, record);
}

bool InstalledFileIsThere(InstalledFiles& files, const ManifestRecord& record) {
    return Uncheckable(record) || record.IsUnpack() || files.PackHoldsWhole(record.name);
}
