#include "net/server_name.h"

#include <cstddef>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "net/pak_access.h"

namespace {

// "..", "...", ". .", ".. " and the like: Windows drops trailing dots and spaces, so all of
// them may name the parent directory.
bool IsDotSegment(const std::string& segment) {
    if (segment.size() < 2) return false;
    for (char c : segment) {
        if (c != '.' && c != ' ') return false;
    }
    return true;
}

// Names Windows opens as a device in any folder, whatever follows them after a dot.
const char* const kDeviceNames[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
// Devices named by a word and one digit: "com1" to "com9", "lpt1" to "lpt9".
const char* const kNumberedDeviceNames[] = {"com", "lpt"};
constexpr size_t kNumberedDeviceWordChars = 3;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The part of a segment Windows compares with device names: up to the first dot, without
// trailing spaces, in lower case. Only ASCII matters here: a device name has no other bytes.
std::string DeviceStem(const std::string& segment) {
    std::string stem = segment.substr(0, segment.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = LowerAscii(c);
    return stem;
}

// Loose files of the installation folder that belong to the tool: the manifest written
// before each rebuild, the patch pack, and the rebuild's temporary pack; the tool itself,
// its running copy, a delivered new build, the plug-in and its spare copy, the Unicode
// layer, the names a replaced tool or plug-in is moved aside under, and the journal of the
// downloads kept for a later run. Only the
// self-update and the offline package's own members may write the tool's files.
const char* const kReservedLooseNames[] = {
    kManifestName,          "patch.dat",   "patch.dattmp",         "update.exe",
    "update.dat",           "newuper.exe", "updatecfg.dll",        "updatecfg.dat",
    "unicows.dll",          "update.exe.kvoold", "updatecfg.dll.kvoold", kPartialJournalName,
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


bool IsDeviceName(const std::string& segment) {
    const std::string stem = DeviceStem(segment);
    for (const char* device : kDeviceNames) {
        if (stem == device) return true;
    }
    if (stem.size() != kNumberedDeviceWordChars + 1 || stem.back() < '1' || stem.back() > '9') return false;
    for (const char* word : kNumberedDeviceNames) {
        if (stem.compare(0, kNumberedDeviceWordChars, word) == 0) return true;
    }
    return false;
}

bool IsSafeRelativeName(const std::string& name) {
    if (name.empty() || gbk::IsPathSeparator(name[0])) return false;
    for (const std::string& segment : gbk::SplitPath(name)) {
        if (IsDotSegment(segment) || IsDeviceName(segment)) return false;
        for (size_t i = 0, step = 0; i < segment.size(); i += step) {
            step = gbk::CharLength(segment.data(), i, segment.size());
            if (step == 1 && segment[i] == ':') return false;  // a trail byte is never a ':'
        }
    }
    return true;
}


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

NameVerdict CheckServerName(const std::string& name, NameKind kind) {
    if (!IsSafeRelativeName(name)) return NameVerdict::kOutsideInstallation;
    if (IsReservedInstallName(name, kind == NameKind::kPackMember)) return NameVerdict::kInstallationsOwn;
    return NameVerdict::kAccepted;
}
