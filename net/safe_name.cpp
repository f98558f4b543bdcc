#include "net/safe_name.h"

#include <cstddef>
#include <vector>

#include "common/gbk.h"

namespace {

// Splits at separators outside double-byte characters.
std::vector<std::string> Segments(const std::string& name) {
    std::vector<std::string> parts(1);
    for (size_t i = 0, step = 0; i < name.size(); i += step) {
        step = gbk::CharLength(name.data(), i, name.size());
        if (step == 1 && gbk::IsPathSeparator(name[i])) {
            parts.emplace_back();
        } else {
            parts.back() += name.substr(i, step);
        }
    }
    return parts;
}

// "..", "...", ". .", ".. " and the like: Windows drops trailing dots and spaces, so all of
// them may name the parent directory.
bool IsDotSegment(const std::string& segment) {
    if (segment.size() < 2) return false;
    for (char c : segment) {
        if (c != '.' && c != ' ') return false;
    }
    return true;
}

}  // namespace

bool IsSafeRelativeName(const std::string& name) {
    if (name.empty() || gbk::IsPathSeparator(name[0])) return false;
    for (const std::string& segment : Segments(name)) {
        if (IsDotSegment(segment)) return false;
        for (size_t i = 0, step = 0; i < segment.size(); i += step) {
            step = gbk::CharLength(segment.data(), i, segment.size());
            if (step == 1 && segment[i] == ':') return false;  // a trail byte is never a ':'
        }
    }
    return true;
}
