#include "tools/paktool/game_names.h"

#include "common/gbk.h"
#include "tools/paktool/cli_util.h"

namespace {

constexpr unsigned char kAsciiEnd = 0x80;
constexpr unsigned char kGbkTrailMin = 0x40;
constexpr unsigned char kGbkTrailGap = 0x7F;  // the one byte in 0x40..0xFE no second byte takes
constexpr unsigned char kGbkTrailMax = 0xFE;
constexpr unsigned char kUtf8ContinuationMask = 0xC0;
constexpr unsigned char kUtf8Continuation = 0x80;

unsigned char Byte(const std::string& text, size_t i) { return static_cast<unsigned char>(text[i]); }

// The length of the UTF-8 sequence its first byte announces, with the smallest value it may
// code (to refuse overlong forms); 0 for a byte that starts none.
size_t Utf8Length(unsigned char lead, unsigned& minimum) {
    if (lead >= 0xC2 && lead <= 0xDF) { minimum = 0x80; return 2; }
    if (lead >= 0xE0 && lead <= 0xEF) { minimum = 0x800; return 3; }
    if (lead >= 0xF0 && lead <= 0xF4) { minimum = 0x10000; return 4; }
    return 0;
}

}  // namespace

bool IsAsciiText(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= kAsciiEnd) return false;
    }
    return true;
}

bool IsGbkText(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = Byte(text, i);
        if (b < kAsciiEnd) continue;
        if (!gbk::IsLeadByte(text[i]) || i + 1 == text.size()) return false;
        const unsigned char trail = Byte(text, ++i);
        if (trail < kGbkTrailMin || trail == kGbkTrailGap || trail > kGbkTrailMax) return false;
    }
    return true;
}

bool IsUtf8Text(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = Byte(text, i);
        if (lead < kAsciiEnd) {
            ++i;
            continue;
        }
        unsigned minimum = 0;
        const size_t length = Utf8Length(lead, minimum);
        if (length == 0 || i + length > text.size()) return false;
        unsigned value = lead & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            const unsigned char b = Byte(text, i + k);
            if ((b & kUtf8ContinuationMask) != kUtf8Continuation) return false;
            value = value << 6 | (b & 0x3F);
        }
        // No overlong forms, no surrogates, nothing above U+10FFFF.
        if (value < minimum || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

int GameNameToGbk(const std::string& raw, const std::string& path, NameEncoding encoding, std::string& out) {
    if (IsAsciiText(raw)) {
        out = raw;
        return kExitOk;
    }
    if (encoding == NameEncoding::kUtf8) {
        if (!IsUtf8Text(raw)) return Fail(kExitFailed, "the name of '%s' is not UTF-8 text", path.c_str());
        if (!ConvertUtf8ToGbk(raw, out)) {
            return Fail(kExitFailed, "the name of '%s' has no GBK form: players could not read it", path.c_str());
        }
        return kExitOk;
    }
    // GBK names that are also UTF-8 text are rare; UTF-8 names that pass as GBK bytes are
    // common (most Chinese UTF-8 text does), so UTF-8 text is taken for what it is.
    if (IsUtf8Text(raw)) {
        return Fail(kExitFailed,
                    "the name of '%s' is UTF-8, which players would read as other (GBK) characters "
                    "(%s publishes it converted to GBK)",
                    path.c_str(), kUtf8NamesOption);
    }
    if (!IsGbkText(raw)) return Fail(kExitFailed, "the name of '%s' is not GBK text", path.c_str());
    out = raw;
    return kExitOk;
}
