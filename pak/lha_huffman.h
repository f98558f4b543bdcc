// Huffman codes of the method 1 format: code lengths limited to 16 bits, canonical code
// assignment (shorter codes first, symbols in ascending order within a length), and the
// lookup tables the decoder walks.
#pragma once

#include <cstdint>

namespace lha {

// Code lengths for the symbols of `freq` (n <= 510), at most 16 bits each. Returns the
// number of symbols that occur. With fewer than two, every length is left 0: the caller
// sends a single-symbol table instead.
unsigned BuildCodeLengths(const uint32_t* freq, unsigned n, uint8_t* lengths);

// The symbol a single-symbol table names: the one symbol that occurs, or 0 for none.
unsigned LoneSymbol(const uint32_t* freq, unsigned n);

// Canonical codes for `lengths` (unused symbols get code 0).
void MakeCanonicalCodes(const uint8_t* lengths, unsigned n, uint16_t* codes);

// Decoding table: `table` has 1 << tableBits entries indexed by the next tableBits bits;
// an entry below n is a symbol, anything else a node of the overflow tree (left/right
// hold the node's children, indexed by node number) for codes longer than tableBits.
struct DecodeTable {
    uint16_t* table;
    unsigned tableBits;
    uint16_t* left;
    uint16_t* right;
    unsigned nodeCapacity;  // size of left/right; nodes are numbered n .. nodeCapacity-1
};

// Builds the table from received lengths. False when the lengths do not form a complete
// prefix code (or a length exceeds 16); the table is then unusable.
bool BuildDecodeTable(const uint8_t* lengths, unsigned n, const DecodeTable& t);

// Fills the table for a single-symbol code: the symbol takes no bits.
void BuildLoneSymbolTable(unsigned symbol, const DecodeTable& t);

}  // namespace lha
