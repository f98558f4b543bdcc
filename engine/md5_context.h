// The streaming MD5 state of RFC 1321: four chaining words, the message length in bits as
// two 32-bit words, and a partial 64-byte block.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMd5BlockBytes = 64;
constexpr size_t kMd5DigestBytes = 16;

class Md5Context {
public:
    Md5Context();
    // Adds `length` bytes to the message.
    void Update(const uint8_t* bytes, size_t length);
    // Pads the message, and writes the 16 digest bytes. The context is spent afterwards.
    void Finish(uint8_t digest[kMd5DigestBytes]);

private:
    void AddBitCount(size_t length);
    // Runs the compression function over `count` consecutive 64-byte blocks.
    void Transform(const uint8_t* blocks, size_t count);

    uint32_t state_[4];
    uint32_t bitCountLow_ = 0;
    uint32_t bitCountHigh_ = 0;
    uint8_t buffer_[kMd5BlockBytes];
    size_t buffered_ = 0;
};
