// Sample blocks and small helpers shared by the method 1 coder tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lha_test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBlock = 65536;

Bytes RandomBytes(size_t n, uint32_t seed);
Bytes EqualBytes(size_t n, uint8_t value);
// Words and line breaks: compressible like the game's text files.
Bytes Text(size_t n, uint32_t seed);
// Random bytes in which the `length` bytes at `distance` before `at` are repeated at `at`.
Bytes WithRepeat(size_t n, size_t at, size_t distance, size_t length, uint32_t seed);
// Bytes drawn with Fibonacci-weighted frequencies: their Huffman code needs lengths
// beyond 16 bits unless they are limited.
Bytes FibonacciSkewed(size_t n);

// Codes `plain` with the method 1 coder into a generous area; fails the test on error.
Bytes Encode(const Bytes& plain);

// Assembles hand-made coded blocks: fields of a few bits, most significant bit first.
class BitAssembler {
public:
    BitAssembler& Put(unsigned count, unsigned value);
    Bytes Finish() const;  // padded with zero bits to a whole byte

private:
    std::string bits_;
};

// Records what the decoder shows in message boxes while the object lives.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    struct Box {
        std::string text;
        bool hasCaption;
        unsigned flags;
    };
    static std::vector<Box>& Boxes();
};

}  // namespace lha_test
