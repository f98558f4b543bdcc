// Stepping over GBK text. Internal texts are GBK: a byte from 0x81 to 0xFE starts a
// double-byte character, and its second byte may take any value, including '\' (0x5C), '/'
// or an ASCII letter. 0x80 and 0xFF start nothing: code page 936 reads them as single
// bytes, so the byte after them is a character of its own (a '\' there is a separator). Every loop that looks for separators, folds letter case or cuts text
// steps with these helpers, so that the second byte of a character is never taken for one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace gbk {

constexpr unsigned char kLeadByteMin = 0x81;
constexpr unsigned char kLeadByteMax = 0xFE;

inline bool IsLeadByte(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b >= kLeadByteMin && b <= kLeadByteMax;
}

// Length of the character that starts at text[index] within `size` bytes: 2 for a lead byte
// with a byte after it, else 1 (a lead byte at the very end stands alone).
inline size_t CharLength(const char* text, size_t index, size_t size) {
    return IsLeadByte(text[index]) && index + 1 < size ? 2 : 1;
}

inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// Index just past the last separator outside double-byte characters (0 when none).
inline size_t FileNameStart(const char* text, size_t size) {
    size_t start = 0;
    for (size_t i = 0; i < size; i += CharLength(text, i, size)) {
        if (IsPathSeparator(text[i])) start = i + 1;
    }
    return start;
}

// The parts of a path between separators outside double-byte characters ("a\\b/" gives
// "a", "b", ""); one empty part for an empty path.
inline std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts(1);
    for (size_t i = 0, step = 0; i < path.size(); i += step) {
        step = CharLength(path.data(), i, path.size());
        if (step == 1 && IsPathSeparator(path[i])) {
            parts.emplace_back();
        } else {
            parts.back().append(path, i, step);
        }
    }
    return parts;
}

}  // namespace gbk
