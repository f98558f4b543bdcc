// The delta list parser and the patch decoder fed hostile bytes. The first byte picks the
// target; for the decoder the next four give the result size the record would promise, and
// a fixed old content is the reference.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/delta_list.h"
#include "engine/delta_patch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kSizeBytes = 4;
    if (size < 1 + kSizeBytes) return 0;
    if (data[0] % 2 == 0) {
        std::vector<DeltaEntry> entries;
        ParseDeltaList(std::string(reinterpret_cast<const char*>(data + 1), size - 1), &entries);
        return 0;
    }
    uint32_t resultSize = 0;
    for (size_t i = 0; i < kSizeBytes; ++i) resultSize |= static_cast<uint32_t>(data[1 + i]) << (8 * i);
    // Bounded so one input never asks for more than a few MiB of result.
    resultSize %= 4u << 20;
    static const std::string kOld(64 * 1024, 'o');
    std::string result;
    ApplyDeltaPatch(kOld.data(), kOld.size(), data + 1 + kSizeBytes, size - 1 - kSizeBytes, resultSize, &result);
    return 0;
}
