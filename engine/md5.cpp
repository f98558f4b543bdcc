#include "engine/md5.h"

#include <cstdint>

#include "engine/md5_context.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr unsigned kNibbleBits = 4;
constexpr uint8_t kNibbleMask = 0x0F;

}  // namespace

std::string Md5Text(const void* bytes, size_t length) {
    Md5Context context;
    context.Update(static_cast<const uint8_t*>(bytes), length);
    uint8_t digest[kMd5DigestBytes];
    context.Finish(digest);

    std::string text;
    text.reserve(kMd5TextLength);
    for (uint8_t byte : digest) {
        text += kHexDigits[byte >> kNibbleBits];
        text += kHexDigits[byte & kNibbleMask];
    }
    return text;
}
