#include "tools/paktool/publish_removals.h"

#include <algorithm>
#include <set>

#include "common/update_codes.h"
#include "engine/manifest_text.h"
#include "net/server_name.h"
#include "net/unwrap.h"
#include "pak/pak_format.h"
#include "pak/pak_name.h"
#include "platform/platform.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/publish_util.h"

namespace {

constexpr uint64_t kMaxListFile = 0x4000000;  // far above any real update list

}  // namespace

int ReadPublishedList(const std::string& listPath, std::vector<ManifestRecord>& records) {
    records.clear();
    if (!platform::FileExists(listPath.c_str())) return kExitOk;
    std::vector<uint8_t> container;
    if (int rc = ReadWholeFile(listPath.c_str(), kMaxListFile, "update list", container); rc != kExitOk) return rc;
    std::vector<uint8_t> member;
    bool found = false;
    const bool readable =
        ExtractUpdatePkMember(kManifestName, container.data(), container.size(), member, &found) == 0 && found &&
        ReadManifestText(std::string(member.begin(), member.end()),
                         [&records](ManifestRecord&& r) { records.push_back(std::move(r)); }) == UPD_DONE;
    if (!readable) {
        return Fail(kExitFailed,
                    "'%s' holds no readable update list, so the files it published cannot be marked removed "
                    "(move it away to publish without it)",
                    listPath.c_str());
    }
    return kExitOk;
}

std::vector<uint8_t> RemovalContent() {
    return std::vector<uint8_t>(kPakDeleteMarker, kPakDeleteMarker + kPakDeleteMarkerSize);
}

std::vector<Removal> FindRemovals(const std::vector<ManifestRecord>& previous,
                                  const std::vector<ManifestRecord>& current, const std::string& remoteDir) {
    std::set<std::string> names;
    std::set<uint32_t> ids;
    for (const ManifestRecord& r : current) {
        names.insert(r.name);
        if (!r.IsUnpack()) ids.insert(CalcFoldedFileId(r.name.c_str()));
    }
    std::vector<Removal> removals;
    const std::vector<uint8_t> marker = RemovalContent();
    for (const ManifestRecord& old : previous) {
        if (!names.insert(old.name).second) continue;  // still published, or met before
        if (ids.count(CalcFoldedFileId(old.name.c_str())) != 0) {
            Note("'%s' is not published as removed: a file of this publication has its id in the pack", old.name.c_str());
            continue;
        }
        GameFile gone;
        gone.name = old.name;
        removals.push_back({MakeRecord(gone, marker, false, remoteDir + old.name), !IsRemovalRecord(old)});
    }
    std::sort(removals.begin(), removals.end(),
              [](const Removal& a, const Removal& b) { return a.record.name < b.record.name; });
    return removals;
}

std::vector<std::string> StaleRemotePaths(const std::vector<ManifestRecord>& previous,
                                          const std::vector<ManifestRecord>& current) {
    std::set<std::string> used;
    for (const ManifestRecord& r : current) used.insert(r.remotePath);
    std::vector<std::string> stale;
    for (const ManifestRecord& old : previous) {
        if (!used.insert(old.remotePath).second) continue;
        if (IsSafeRelativeName(old.remotePath)) stale.push_back(old.remotePath);
    }
    return stale;
}
