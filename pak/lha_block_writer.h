// Collects the encoder's symbols and sends them as Huffman blocks of the method 1 format.
#pragma once

#include <cstdint>

#include "pak/lha_bit_io.h"
#include "pak/lha_format.h"

namespace lha {

constexpr unsigned kSymbolBufferSize = 32768;
// A block is sent once the buffer reaches this fill: room is left for one more flag byte
// with eight matches of three bytes each.
constexpr unsigned kSymbolBufferLimit = kSymbolBufferSize - 24;

// Work areas of the block writer (part of one coder's state).
struct BlockWriterState {
    // Eight symbols per flag byte; a set flag bit marks a match, stored as its length
    // symbol's low byte and the 16-bit value d - 1, high byte first.
    uint8_t symbols[kSymbolBufferSize];
    uint32_t cFreq[kNC];
    uint32_t pFreq[kNP];
    uint32_t tFreq[kNT];
    uint8_t cLength[kNC];
    uint16_t cCode[kNC];
    uint8_t ptLength[kNT];  // the T code while the C lengths are written, then the P code
    uint16_t ptCode[kNT];
};

class BlockWriter {
public:
    BlockWriter(BlockWriterState& state, BitWriter& out);

    void PutLiteral(uint8_t byte);
    // `length` 3..256, `distanceCode` = distance - 1 (0..8191).
    void PutMatch(unsigned length, unsigned distanceCode);
    // Sends the symbols still buffered as the last block and flushes the final byte.
    void Finish();

private:
    bool StartSymbol();
    void SendBlock();
    void WriteCodeLengthTables();
    void WriteLoneSymbolTables(unsigned symbol);
    void CountTFrequencies();
    void WritePtLengths(unsigned alphabet, unsigned countBits, int zeroRunAfter);
    void WriteCLengths();
    void WritePTable();
    void WriteSymbols(unsigned count);
    void EncodeDistance(unsigned distanceCode);

    BlockWriterState& s_;
    BitWriter& out_;
    unsigned fill_ = 0;
    unsigned flagPos_ = 0;
    unsigned flagMask_ = 0;
    unsigned pending_ = 0;  // symbols in the buffer
};

}  // namespace lha
