// Fixed parameters of the method 1 block format: LZSS over an 8 KiB dictionary with
// static Huffman codes, in the bit layout of LHA's -lh5- method.
#pragma once

#include <cstdint>

namespace lha {

constexpr unsigned kDictionaryBits = 13;
constexpr unsigned kDictionarySize = 1u << kDictionaryBits;  // match distances 1..8192
constexpr unsigned kDistanceMask = kDictionarySize - 1;
constexpr unsigned kMinMatch = 3;    // shortest match worth coding
constexpr unsigned kMaxMatch = 256;  // longest match

constexpr unsigned kLiteralCount = 256;
// Character/length alphabet: 0-255 literal bytes, 256-509 match lengths 3-256.
constexpr unsigned kNC = kLiteralCount + kMaxMatch - kMinMatch + 1;  // 510
constexpr unsigned kLengthSymbolBias = kLiteralCount - kMinMatch;    // symbol = length + 253
// Distance alphabet: symbol k codes the distances whose value d - 1 has k significant bits.
constexpr unsigned kNP = kDictionaryBits + 1;  // 14
// Alphabet of the code that codes the character/length code lengths.
constexpr unsigned kNT = 16 + 3;  // 19

constexpr unsigned kCBits = 9;  // bits of the C table count and of a lone C symbol
constexpr unsigned kPBits = 4;  // same for the P table
constexpr unsigned kTBits = 5;  // same for the T table

constexpr unsigned kBlockCountBits = 16;  // symbols in one Huffman block
constexpr unsigned kMaxCodeLength = 16;

// Code lengths in the T and P tables: 3 bits, and 7 extends by one unit per 1-bit.
constexpr unsigned kPtLengthBits = 3;
constexpr unsigned kPtLengthEscape = 7;
// The T table carries a 2-bit zero-length run after its third length; P has none.
constexpr int kTZeroRunAfter = 3;
constexpr int kNoZeroRun = -1;
constexpr unsigned kTZeroRunBits = 2;
constexpr unsigned kTZeroRunLimit = 6;  // the run covers lengths 3..5 at most

// T symbols 0-2 code runs of zero C lengths; k >= 3 is the length k - 2.
constexpr unsigned kTZeroOne = 0;     // one zero length
constexpr unsigned kTZeroShort = 1;   // 4 more bits + 3 zero lengths
constexpr unsigned kTZeroLong = 2;    // 9 more bits + 20 zero lengths
constexpr unsigned kTLengthBias = 2;
constexpr unsigned kTFirstLength = 3;  // T symbol of the C length 1
constexpr unsigned kShortRunBits = 4;
constexpr unsigned kShortRunBase = 3;
constexpr unsigned kShortRunMax = kShortRunBase + (1u << kShortRunBits) - 1;  // 18
constexpr unsigned kLongRunBits = kCBits;
constexpr unsigned kLongRunBase = 20;

// Bits written after the last block to flush the final byte.
constexpr unsigned kFlushBits = 7;

}  // namespace lha
