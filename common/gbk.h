// Stepping over GBK text. Internal texts are GBK: a byte with the high bit set starts a
// double-byte character, and its second byte may take any value, including '\' (0x5C), '/'
// or an ASCII letter. Every loop that looks for separators, folds letter case or cuts text
// steps with these helpers, so that the second byte of a character is never taken for one.
#pragma once

#include <cstddef>

namespace gbk {

constexpr unsigned char kLeadByteMin = 0x80;

inline bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= kLeadByteMin; }

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

}  // namespace gbk
