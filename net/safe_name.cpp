#include "net/safe_name.h"

#include <cstddef>
#include <vector>

#include "common/gbk.h"

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
