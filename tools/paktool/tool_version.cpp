#include "tools/paktool/tool_version.h"

#include <cstring>

namespace {

// The key of the version resource's root block, UTF-16LE with its terminating NUL.
constexpr char kVersionKey[] = "V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0";
constexpr size_t kVersionKeyBytes = sizeof kVersionKey;  // 15 characters and the NUL, 2 bytes each
constexpr size_t kBlockAlignment = 4;                    // the value follows on a 32-bit boundary
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr size_t kFileVersionMsOffset = 8;  // after the signature and the structure version
constexpr size_t kFixedInfoMinBytes = kFileVersionMsOffset + 4;
constexpr int64_t kMinorsPerMajor = 100;

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

bool ReadProgramVersion(const uint8_t* bytes, size_t size, int64_t& version) {
    if (bytes == nullptr || size < kVersionKeyBytes) return false;
    for (size_t at = 0; at + kVersionKeyBytes <= size; ++at) {
        if (std::memcmp(bytes + at, kVersionKey, kVersionKeyBytes) != 0) continue;
        // The block starts 32-bit aligned, and the key 6 bytes into it; its padding aligns
        // the value the same way within the file, whose sections start aligned.
        const size_t end = at + kVersionKeyBytes;
        const size_t value = (end + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
        if (value > size || size - value < kFixedInfoMinBytes) return false;
        if (ReadLe32(bytes + value) != kFixedInfoSignature) continue;
        const uint32_t fileVersionMs = ReadLe32(bytes + value + kFileVersionMsOffset);
        version = static_cast<int64_t>(fileVersionMs >> 16) * kMinorsPerMajor + (fileVersionMs & 0xFFFF);
        return true;
    }
    return false;
}
