#include "engine/md5.h"

#include <cstdint>
#include <vector>

#include "engine/md5_context.h"
#include "platform/platform.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr unsigned kNibbleBits = 4;
constexpr uint8_t kNibbleMask = 0x0F;
// Files are read in blocks of this size.
constexpr uint32_t kFileBlockBytes = 1024 * 1024;

std::string DigestText(Md5Context& context) {
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

}  // namespace

std::string Md5Text(const void* bytes, size_t length) {
    Md5Context context;
    context.Update(static_cast<const uint8_t*>(bytes), length);
    return DigestText(context);
}

bool Md5FileText(const char* path, std::string* text) {
    platform::OwnedFile file(platform::OpenFileForRead(path));
    if (file.get() == platform::kInvalidFile) return false;
    const int64_t size = platform::FileSize(file.get());
    if (size < 0) return false;
    Md5Context context;
    std::vector<uint8_t> block(kFileBlockBytes);
    for (uint64_t left = static_cast<uint64_t>(size); left > 0;) {
        const uint32_t want = left < kFileBlockBytes ? static_cast<uint32_t>(left) : kFileBlockBytes;
        const uint32_t got = platform::ReadFromFile(file.get(), block.data(), want);
        if (got == 0) return false;
        context.Update(block.data(), got);
        left -= got;
    }
    *text = DigestText(context);
    return true;
}
