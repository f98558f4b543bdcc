#include "engine/reserved_names.h"

#include <string>

#include "common/gbk.h"
#include "engine/manifest_record.h"
#include "engine/publication.h"
#include "net/pak_access.h"

namespace {

// Loose files of the installation folder that belong to the tool: the manifest written
// before each rebuild, the patch pack, and the rebuild's temporary pack; the tool itself,
// its running copy, a delivered new build, the plug-in and its spare copy, the Unicode
// layer, and the names a replaced tool or plug-in is moved aside under. Only the
// self-update and the offline package's own members may write the tool's files.
const char* const kReservedLooseNames[] = {
    kManifestName,          "patch.dat",   "patch.dattmp",         "update.exe",
    "update.dat",           "newuper.exe", "updatecfg.dll",        "updatecfg.dat",
    "unicows.dll",          "update.exe.kvoold", "updatecfg.dll.kvoold",
};
// The system-named temporary files the tool downloads and replaces through ("kvu1A2B.tmp").
constexpr const char* kTempFilePrefix = "kvu";
constexpr const char* kTempFileSuffix = ".tmp";

bool IsToolTempName(const std::string& opened) {
    const size_t prefix = std::char_traits<char>::length(kTempFilePrefix);
    const size_t suffix = std::char_traits<char>::length(kTempFileSuffix);
    return opened.find('/') == std::string::npos && opened.size() > prefix + suffix &&
           opened.compare(0, prefix, kTempFilePrefix) == 0 &&
           opened.compare(opened.size() - suffix, suffix, kTempFileSuffix) == 0;
}
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
    std::string path;
    for (const std::string& part : gbk::SplitPath(folded)) {
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
    return IsToolTempName(opened);
}
