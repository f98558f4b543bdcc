#include "engine/reserved_names.h"

#include <vector>

#include "common/gbk.h"
#include "engine/manifest_record.h"
#include "engine/publication.h"
#include "net/pak_access.h"

namespace {

// Loose files of the installation folder that belong to the tool: the manifest written
// before each rebuild, the patch pack, and the rebuild's temporary pack.
const char* const kReservedLooseNames[] = {kManifestName, "patch.dat", "patch.dattmp"};
// Entries of the patch pack that belong to the tool: the local manifest and the number of
// the last signed publication applied (a publication must not lower it).
const char* const kReservedPackNames[] = {kManifestName, kPublicationMember};

// Windows drops trailing dots and spaces from each part of a path.
std::string TrimTrailingDotsAndSpaces(std::string segment) {
    while (!segment.empty() && (segment.back() == '.' || segment.back() == ' ')) segment.pop_back();
    return segment;
}

// The folded path Windows would open for `name`, parts joined by '/', without the parts
// that name the folder itself ("", ".").
std::string OpenedPath(const std::string& name) {
    std::string folded = name;
    FoldPackName(folded);
    std::vector<std::string> parts(1);
    for (size_t i = 0, step = 0; i < folded.size(); i += step) {
        step = gbk::CharLength(folded.data(), i, folded.size());
        if (step == 1 && gbk::IsPathSeparator(folded[i])) {
            parts.emplace_back();
        } else {
            parts.back() += folded.substr(i, step);
        }
    }
    std::string path;
    for (const std::string& part : parts) {
        if (part.empty() || part == ".") continue;
        if (!path.empty()) path += '/';
        path += TrimTrailingDotsAndSpaces(part);
    }
    return path;
}

}  // namespace

bool IsReservedInstallName(const std::string& name, bool packKind) {
    if (packKind) {
        std::string folded = name;
        FoldPackName(folded);
        const uint32_t id = PackFileId(folded);
        for (const char* reserved : kReservedPackNames) {
            if (id == PackFileId(reserved)) return true;
        }
        return false;
    }
    const std::string opened = OpenedPath(name);
    for (const char* reserved : kReservedLooseNames) {
        if (opened == reserved) return true;
    }
    return false;
}
