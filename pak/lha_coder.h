// Method 1 block coder: LZSS with lazy matching and static Huffman blocks, producing and
// reading LHA's -lh5- bit stream. A coded block has no header and no end marker.
//
// The coder's work areas are process-wide; both entry points hold one lock for the whole
// call, so blocks coded on several threads are coded one after the other.
#pragma once

#include <cstdint>

// Codes `plainLength` bytes into `packed` (room for `capacity` bytes). On success
// `packedLength` is the coded length (0 for empty input). When the coded data would not fit,
// nothing past the capacity is written, `packedLength` becomes plainLength + 1 (larger than
// the block, so writers store it plain) and the result is false.
bool LhaEncode(const uint8_t* plain, uint32_t plainLength, uint8_t* packed, uint32_t capacity,
               uint32_t* packedLength);

// Decodes `packed` until the plain length given in `plainLength` has been produced. Reads
// nothing past packedLength and writes nothing past the wanted length. Damaged input (a
// bad table, a distance before the start of the block, a match running past the wanted
// length, data that ends too early) gives false with plainLength 0; a bad table is also
// shown as "Lha Decode: Bad table".
bool LhaDecode(const uint8_t* packed, uint32_t packedLength, uint8_t* plain, uint32_t* plainLength);
