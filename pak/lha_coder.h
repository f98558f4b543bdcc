// Method 1 block coder: LZSS with lazy matching and static Huffman blocks, producing and
// reading LHA's -lh5- bit stream. A coded block has no header and no end marker.
//
// The coder's work areas belong to one LhaCoder: blocks coded at the same time on several
// threads each go through a coder of their own, and none waits for another.
#pragma once

#include <cstdint>
#include <memory>

namespace lha {

struct EncoderState;
struct DecoderState;

// The areas are made by the first call that needs them and freed with the coder.
struct EncoderStateFree {
    void operator()(EncoderState* state) const;
};
struct DecoderStateFree {
    void operator()(DecoderState* state) const;
};

}  // namespace lha

class LhaCoder {
public:
    LhaCoder() = default;
    LhaCoder(const LhaCoder&) = delete;
    LhaCoder& operator=(const LhaCoder&) = delete;

    // Codes `plainLength` bytes into `packed` (room for `capacity` bytes). On success
    // `packedLength` is the coded length (0 for empty input). When the coded data would not
    // fit, nothing past the capacity is written, `packedLength` becomes plainLength + 1
    // (larger than the block, so writers store it plain) and the result is false; so too
    // when the work areas cannot be had.
    bool Encode(const uint8_t* plain, uint32_t plainLength, uint8_t* packed, uint32_t capacity,
                uint32_t* packedLength);

    // Decodes `packed` until the plain length given in `plainLength` has been produced.
    // Reads nothing past packedLength and writes nothing past the wanted length. Damaged
    // input (a bad table, a distance before the start of the block, a match running past
    // the wanted length, data that ends too early) gives false with plainLength 0; a bad
    // table is also shown as "Lha Decode: Bad table".
    bool Decode(const uint8_t* packed, uint32_t packedLength, uint8_t* plain, uint32_t* plainLength);

private:
    std::unique_ptr<lha::EncoderState, lha::EncoderStateFree> encoder_;
    std::unique_ptr<lha::DecoderState, lha::DecoderStateFree> decoder_;
};

// One block through a coder of its own (LhaCoder::Encode / Decode).
bool LhaEncode(const uint8_t* plain, uint32_t plainLength, uint8_t* packed, uint32_t capacity,
               uint32_t* packedLength);
bool LhaDecode(const uint8_t* packed, uint32_t packedLength, uint8_t* plain, uint32_t* plainLength);
