// Sample blocks for the codec tests, made by the tests themselves (deterministic).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pak/pak_codec.h"

using Bytes = std::vector<uint8_t>;

// Text lines in the style of the game's configuration files.
Bytes MakeText(size_t size);
// x86 machine code: small functions calling each other with E8 (call) and E9 (jmp) rel32.
Bytes MakeX86Code(size_t size);
// Pseudo-random bytes: nothing to compress.
Bytes MakeRandom(size_t size, uint32_t seed = 1);
Bytes MakeZeros(size_t size);

// A buffer with guard bytes on both sides, to catch any write outside its `size` bytes.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size);
    uint8_t* data() { return bytes_.data() + kGuard; }
    size_t size() const { return size_; }
    bool GuardsIntact() const;

private:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xA5;
    size_t size_;
    std::vector<uint8_t> bytes_;
};

// A codec from the factory, destroyed through DestroyPakCodec.
struct CodecDeleter {
    int32_t method;
    void operator()(PakCodec* c) const { DestroyPakCodec(c, method); }
};
using CodecPtr = std::unique_ptr<PakCodec, CodecDeleter>;
inline CodecPtr MakeCodec(int32_t method) { return CodecPtr(CreatePakCodec(method), CodecDeleter{method}); }

// Names a method for test output.
std::string MethodName(int32_t method);

// Encodes `plain` with `codec` at the writers' capacity; returns the packed bytes, or an
// empty vector when Encode failed.
Bytes EncodeBlock(PakCodec& codec, const Bytes& plain, bool* ok = nullptr);

// Decodes `packed` into a guarded buffer of `capacity` bytes. Fails the test when the
// codec writes outside it; returns the codec's result, `produced` = the job's plain size.
bool DecodeBlock(PakCodec& codec, const Bytes& packed, uint32_t capacity, Bytes* plain,
                 uint32_t* produced);
