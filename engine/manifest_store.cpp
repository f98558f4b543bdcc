#include "engine/manifest_store.h"

#include <cstring>
#include <vector>

#include "engine/manifest_record.h"
#include "common/update_codes.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"

int32_t PackManifestStore::Load(const ManifestSource& source, std::string& stream, bool deleteAfter) {
    if (!source.IsPack()) {
        if (source.bytes != nullptr && source.size != 0) {
            stream.append(static_cast<const char*>(source.bytes), source.size);
        }
        return 0;
    }
    std::vector<uint8_t> text;
    const MemberRead read = ReadPackMember(source.packPath, kManifestName, text);
    // A load from a pack leaves the default "disk first" behind, whether or not the pack
    // was there (the game launch reads with the mode a run leaves).
    SetPakOpenMode(kPakOpenDiskFirst);
    if (read != MemberRead::kOk) return 0;
    stream.append(reinterpret_cast<const char*>(text.data()), text.size());
    if (deleteAfter) platform::RemoveFile(source.packPath);
    return 0;
}

int32_t PackManifestStore::Save(const char* name, const std::string& stream) {
    if (name == nullptr || std::strcmp(name, kManifestName) != 0) return kStoreBadName;
    platform::OwnedFile file(platform::OpenFileForWrite(kManifestName));
    if (!file.valid()) return kStoreCannotOpen;
    const bool written = stream.empty() || platform::WriteToFile(file.get(), stream.data(),
                                                                 static_cast<uint32_t>(stream.size())) == stream.size();
    file.Close();
    if (written) return 0;
    // A cut manifest would be taken into the pack as the installation's state.
    platform::RemoveFile(kManifestName);
    return kStoreCannotOpen;
}
