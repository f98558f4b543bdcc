#include "tools/paktool/publication_check.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <iterator>

#include "engine/manifest_record.h"
#include "engine/publication.h"
#include "net/local_file.h"
#include "net/server_name.h"
#include "pak/pak_format.h"
#include "pak/pak_name.h"
#include "tools/paktool/cli_util.h"

namespace {

// Members of patch.dat that no game file may share an id with: the local manifest and the
// number of the last signed publication applied.
constexpr const char* kReservedPackNames[] = {kManifestName, kPublicationMember};

// The member of patch.dat whose id the pack file `name` takes.
const char* ReservedPackMemberOf(const std::string& name) {
    const uint32_t id = CalcFoldedFileId(name.c_str());
    for (const char* member : kReservedPackNames) {
        if (CalcFoldedFileId(member) == id) return member;
    }
    return kManifestName;
}

// One name of a publication with its id; `path` is empty for the container's own members.
struct IdOwner {
    uint32_t id;
    std::string name;
    std::string path;
};

std::string Describe(const IdOwner& owner) {
    return owner.path.empty() ? "the member '" + owner.name + "'" : "'" + owner.path + "'";
}

int CheckIds(const std::vector<GameFile>& files, const std::vector<const char*>& ownMembers) {
    std::vector<IdOwner> owners;
    owners.reserve(files.size() + ownMembers.size());
    auto addMember = [&owners](const char* member) {
        for (const IdOwner& owner : owners) {
            if (owner.name == member) return;
        }
        owners.push_back({CalcFoldedFileId(member), member, ""});
    };
    for (const char* member : kReservedPackNames) addMember(member);
    for (const char* member : ownMembers) addMember(member);
    for (const GameFile& file : files) owners.push_back({CalcFoldedFileId(file.name.c_str()), file.name, file.path});
    // Stable: a container member sorts before the game file that shares its id, and two game
    // files stay in name order, so the message reads the same on every run.
    std::stable_sort(owners.begin(), owners.end(), [](const IdOwner& a, const IdOwner& b) { return a.id < b.id; });
    for (size_t i = 1; i < owners.size(); ++i) {
        if (owners[i].id != owners[i - 1].id) continue;
        return Fail(kExitUsage, "%s and %s have the same id %08" PRIx32 "; a pack could hold only one of them",
                    Describe(owners[i - 1]).c_str(), Describe(owners[i]).c_str(), owners[i].id);
    }
    return kExitOk;
}

}  // namespace

int CheckNoDeleteMarkers(const std::vector<GameFile>& files, const std::vector<std::string>& unpack) {
    for (const GameFile& file : files) {
        if (std::find(unpack.begin(), unpack.end(), file.name) != unpack.end()) continue;
        std::vector<uint8_t> bytes;
        // Anything longer than the marker fails this bounded read and is no marker.
        if (!ReadWholeLocalFile(file.path.c_str(), kPakDeleteMarkerSize, bytes)) continue;
        if (bytes.size() == kPakDeleteMarkerSize &&
            std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const uint8_t*>(kPakDeleteMarker))) {
            return Fail(kExitUsage, "'%s' holds exactly the 8 bytes \"%s\", which an installation reads as "
                        "\"remove this file\" (list it in .unpack to install it as a loose file)",
                        file.path.c_str(), kPakDeleteMarker);
        }
    }
    return kExitOk;
}

int CheckPublication(const std::vector<GameFile>& files, const std::vector<std::string>& unpack,
                     const std::vector<const char*>& ownMembers) {
    for (const GameFile& file : files) {
        for (const char* member : ownMembers) {
            if (file.name == member)
                return Fail(kExitUsage, "'%s' is a name the package reserves for itself", file.path.c_str());
        }
        const bool loose = std::find(unpack.begin(), unpack.end(), file.name) != unpack.end();
        // The engine's own rule, so a publication never holds what an installation refuses.
        if (IsReservedInstallName(file.name, !loose)) {
            if (!loose) {
                return Fail(kExitUsage, "'%s' would overwrite the installation's own '%s' in patch.dat (same id)",
                            file.path.c_str(), ReservedPackMemberOf(file.name));
            }
            return Fail(kExitUsage, "'%s' would overwrite the installation's own '%s' (listed in .unpack)",
                        file.path.c_str(), file.name.c_str());
        }
    }
    return CheckIds(files, ownMembers);
}
