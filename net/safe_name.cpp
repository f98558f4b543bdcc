#include "net/safe_name.h"

#include <cstddef>
#include <vector>

namespace {

constexpr unsigned char kLeadByteMin = 0x81;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Splits at separators outside double-byte characters.
std::vector<std::string> Segments(const std::string& name) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= kLeadByteMin && i + 1 < name.size()) {
            parts.back() += name.substr(i, 2);
            ++i;
        } else if (IsSeparator(name[i])) {
            parts.emplace_back();
        } else {
            parts.back() += name[i];
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
    if (name.empty() || IsSeparator(name[0])) return false;
    for (const std::string& segment : Segments(name)) {
        if (IsDotSegment(segment)) return false;
        for (size_t i = 0; i < segment.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(segment[i]);
            if (c >= kLeadByteMin) {
                ++i;  // a trail byte is never ':'-like on its own
            } else if (c == ':') {
                return false;
            }
        }
    }
    return true;
}
