#include "pak/pak_name.h"

#include <string>


namespace {

// Folding leaves the byte after any byte from 0x80 up as it is. This is wider than GBK's
// lead-byte range (0x81-0xFE) on purpose: stored ids were made this way.
constexpr unsigned char kShieldingByteMin = 0x80;
constexpr unsigned char kUpperFirst = 'A';
constexpr unsigned char kUpperLast = 'Z';
constexpr unsigned char kCaseOffset = 'a' - 'A';
constexpr uint32_t kIdModulus = 0x8000000B;
constexpr uint32_t kIdMultiplier = static_cast<uint32_t>(-17);
constexpr uint32_t kIdMask = 0x7AE8D31F;

}  // namespace

void FoldPakName(char* name) {
    if (name == nullptr) return;
    unsigned char previous = 0;
    for (char* p = name; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        // Deliberately not character stepping: a byte after any byte >= 0x80 is left as it
        // is, so a trail byte >= 0x80 shields the byte after it too. Stored ids depend on it.
        if (previous >= kShieldingByteMin) {
            previous = c;
        } else if (c < kUpperFirst) {
            previous = 0;
        } else {
            previous = c;
            if (c <= kUpperLast) *p = static_cast<char>(c + kCaseOffset);
        }
    }
}

uint32_t CalcFileId(const char* foldedName) {
    uint32_t h = 0;
    if (foldedName != nullptr) {
        uint32_t position = 1;
        for (const char* p = foldedName; *p != '\0'; ++p, ++position) {
            int32_t c = static_cast<signed char>(*p);
            uint32_t t = position * static_cast<uint32_t>(c) + h;
            h = t % kIdModulus;
            h = h * kIdMultiplier;
        }
    }
    return h ^ kIdMask;
}

uint32_t CalcFoldedFileId(const char* name) {
    std::string copy = name != nullptr ? name : "";
    FoldPakName(&copy[0]);
    return CalcFileId(copy.c_str());
}
