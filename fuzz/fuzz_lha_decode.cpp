// Fuzz target of the method 1 decoder.
// Input: bytes 0-1 (little-endian) + 1 are the wanted plain length (1..65536); the rest is
// the packed block. Input and output sit in heap areas of exactly their sizes, so the
// sanitizers catch any read past the packed data and any write past the wanted length.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "pak/lha_coder.h"
#include "platform/platform.h"
#include "text/message_box.h"

namespace {

constexpr size_t kLengthBytes = 2;

// "Lha Decode: Bad table" boxes would only flood the log.
int SilentBox(const char*, const char*, unsigned) { return platform::kIdOk; }

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kLengthBytes) return 0;
    static const MessageBoxHook previous = SetMessageBoxHook(SilentBox);
    (void)previous;
    const uint32_t wanted = (data[0] | (static_cast<uint32_t>(data[1]) << 8)) + 1;
    const size_t packedSize = size - kLengthBytes;
    std::unique_ptr<uint8_t[]> packed(new uint8_t[packedSize + 1]);  // +1: never zero-sized
    std::memcpy(packed.get(), data + kLengthBytes, packedSize);
    std::unique_ptr<uint8_t[]> plain(new uint8_t[wanted]);
    uint32_t plainLength = wanted;
    const bool ok = LhaDecode(packed.get(), static_cast<uint32_t>(packedSize), plain.get(), &plainLength);
    Check(plainLength == (ok ? wanted : 0));
    return 0;
}
