// The Lzma86 block layout around a raw LZMA1 stream:
//   byte 0      filter flag: 0 none, 1 x86 branch-call filter
//   bytes 1-5   LZMA properties: lc/lp/pb byte, dictionary size (32-bit little-endian)
//   bytes 6-13  plain length, 64-bit little-endian
//   bytes 14-   the LZMA1 stream, without end marker (its length is the plain length)
#pragma once

#include <cstdint>

constexpr uint32_t kLzma86FilterOffset = 0;
constexpr uint32_t kLzma86PropsOffset = 1;
constexpr uint32_t kLzma86PropsSize = 5;
constexpr uint32_t kLzma86LengthOffset = 6;
constexpr uint32_t kLzma86LengthSize = 8;
constexpr uint32_t kLzma86HeaderSize = 14;

constexpr uint8_t kLzma86FilterNone = 0;
constexpr uint8_t kLzma86FilterX86 = 1;

// Encoder settings of the packs: level 5 with a dictionary of one block.
constexpr uint32_t kLzma86Preset = 5;
constexpr uint32_t kLzma86DictSize = 65536;

enum class Lzma86Filter {
    None,  // LZMA1 only
    X86,   // x86 branch-call filter, then LZMA1
    Auto,  // both; the smaller wins, and a tie goes to the unfiltered coding
};

// Codes `plain` as one Lzma86 block into `out`, which holds `capacity` bytes. Returns the
// block's length, or 0 when it does not fit or the coder fails; never writes past capacity.
uint32_t Lzma86Encode(const uint8_t* plain, uint32_t plainSize, uint8_t* out, uint32_t capacity,
                      Lzma86Filter filter);

// Decodes one Lzma86 block of `packedSize` bytes into `plain`, which holds `capacity` bytes.
// The block must declare at most `capacity` plain bytes, decode to exactly that many and use
// every packed byte. On success `produced` is the plain length.
bool Lzma86Decode(const uint8_t* packed, uint32_t packedSize, uint8_t* plain, uint32_t capacity,
                  uint32_t& produced);
