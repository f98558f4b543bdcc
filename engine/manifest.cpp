#include "engine/manifest.h"

#include <map>
#include <string>

#include "engine/manifest_text.h"
#include "engine/plugin_values.h"
#include "common/update_codes.h"

namespace {

bool IsForCurrentPlatform(const ManifestRecord& record) {
    std::string platform;
    if (!RemotePathPlatform(record.remotePath, &platform)) return true;
    return platform == CurrentPlatformString();
}

}  // namespace

int32_t ParseManifest(ManifestStore& store, const ManifestSource& source, LocalRecordSet* local,
                      RemoteRecordList* remote) {
    if ((local == nullptr) == (remote == nullptr)) return UPD_E_DATA;
    std::string text;
    // Remote lists are fetched to memory; a pack holding one is consumed after reading.
    const bool deleteAfter = remote != nullptr;
    if (store.Load(source, text, deleteAfter) < 0) return UPD_E_DATA;

    std::map<std::string, ManifestRecord> remoteSet;
    const int32_t rc = ReadManifestText(text, [&](ManifestRecord&& record) {
        if (local != nullptr) {
            (*local)[record.name] = std::move(record);
        } else if (IsForCurrentPlatform(record)) {
            MergeRemoteRecord(remoteSet, std::move(record));
        }
    });
    if (rc != UPD_DONE) return UPD_E_DATA;
    if (remote != nullptr) {
        remote->clear();
        remote->reserve(remoteSet.size());
        for (auto& entry : remoteSet) remote->push_back(std::move(entry.second));
    }
    return UPD_DONE;
}
