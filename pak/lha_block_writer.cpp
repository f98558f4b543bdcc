#include "pak/lha_block_writer.h"

#include <cstring>

#include "pak/lha_huffman.h"

namespace lha {
namespace {

constexpr unsigned kFirstFlag = 0x80;
constexpr unsigned kSymbolsPerFlag = 8;
constexpr unsigned kByteBits = 8;
constexpr unsigned kByteMask = 0xFF;

// Significant bits of v: the P symbol of the distance value v = d - 1.
unsigned BitLength(unsigned v) {
    unsigned bits = 0;
    for (; v != 0; v >>= 1) ++bits;
    return bits;
}

// Trailing zero lengths are not sent.
unsigned SentCount(const uint8_t* lengths, unsigned n) {
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

}  // namespace

BlockWriter::BlockWriter(BlockWriterState& state, BitWriter& out) : s_(state), out_(out) {
    std::memset(s_.cFreq, 0, sizeof s_.cFreq);
    std::memset(s_.pFreq, 0, sizeof s_.pFreq);
}

bool BlockWriter::StartSymbol() {
    if (out_.Overflowed()) return false;
    flagMask_ >>= 1;
    if (flagMask_ == 0) {
        flagMask_ = kFirstFlag;
        if (fill_ >= kSymbolBufferLimit) {
            SendBlock();
            fill_ = 0;
            pending_ = 0;
        }
        flagPos_ = fill_++;
        s_.symbols[flagPos_] = 0;
    }
    ++pending_;
    return true;
}

void BlockWriter::PutLiteral(uint8_t byte) {
    if (!StartSymbol()) return;
    s_.symbols[fill_++] = byte;
    ++s_.cFreq[byte];
}

void BlockWriter::PutMatch(unsigned length, unsigned distanceCode) {
    if (!StartSymbol()) return;
    const unsigned symbol = length + kLengthSymbolBias;
    s_.symbols[fill_++] = static_cast<uint8_t>(symbol & kByteMask);
    s_.symbols[flagPos_] |= static_cast<uint8_t>(flagMask_);
    s_.symbols[fill_++] = static_cast<uint8_t>(distanceCode >> kByteBits);
    s_.symbols[fill_++] = static_cast<uint8_t>(distanceCode & kByteMask);
    ++s_.cFreq[symbol];
    ++s_.pFreq[BitLength(distanceCode)];
}

void BlockWriter::Finish() {
    if (pending_ != 0) SendBlock();
    out_.FlushZeros(kFlushBits);
}

void BlockWriter::SendBlock() {
    out_.Put(kBlockCountBits, pending_);
    if (BuildCodeLengths(s_.cFreq, kNC, s_.cLength) >= 2) {
        MakeCanonicalCodes(s_.cLength, kNC, s_.cCode);
        WriteCodeLengthTables();
    } else {
        WriteLoneSymbolTables(LoneSymbol(s_.cFreq, kNC));
    }
    WritePTable();
    WriteSymbols(pending_);
    std::memset(s_.cFreq, 0, sizeof s_.cFreq);
    std::memset(s_.pFreq, 0, sizeof s_.pFreq);
}

void BlockWriter::WriteCodeLengthTables() {
    CountTFrequencies();
    if (BuildCodeLengths(s_.tFreq, kNT, s_.ptLength) >= 2) {
        MakeCanonicalCodes(s_.ptLength, kNT, s_.ptCode);
        WritePtLengths(kNT, kTBits, kTZeroRunAfter);
    } else {
        out_.Put(kTBits, 0);
        out_.Put(kTBits, LoneSymbol(s_.tFreq, kNT));
    }
    WriteCLengths();
}

// One C symbol in the whole block: an empty T table, then an empty C table naming it.
// The symbol's code takes no bits.
void BlockWriter::WriteLoneSymbolTables(unsigned symbol) {
    out_.Put(kTBits, 0);
    out_.Put(kTBits, 0);
    out_.Put(kCBits, 0);
    out_.Put(kCBits, symbol);
}

// Walks the C lengths as WriteCLengths sends them and counts the T symbols used.
void BlockWriter::CountTFrequencies() {
    std::memset(s_.tFreq, 0, sizeof s_.tFreq);
    const unsigned n = SentCount(s_.cLength, kNC);
    unsigned i = 0;
    while (i < n) {
        const unsigned len = s_.cLength[i++];
        if (len != 0) {
            ++s_.tFreq[len + kTLengthBias];
            continue;
        }
        unsigned run = 1;
        while (i < n && s_.cLength[i] == 0) {
            ++i;
            ++run;
        }
        if (run < kShortRunBase) {
            s_.tFreq[kTZeroOne] += run;
        } else if (run <= kShortRunMax) {
            ++s_.tFreq[kTZeroShort];
        } else if (run == kShortRunMax + 1) {
            ++s_.tFreq[kTZeroOne];
            ++s_.tFreq[kTZeroShort];
        } else {
            ++s_.tFreq[kTZeroLong];
        }
    }
}

void BlockWriter::WritePtLengths(unsigned alphabet, unsigned countBits, int zeroRunAfter) {
    const unsigned n = SentCount(s_.ptLength, alphabet);
    out_.Put(countBits, n);
    unsigned i = 0;
    while (i < n) {
        const unsigned len = s_.ptLength[i++];
        if (len < kPtLengthEscape) {
            out_.Put(kPtLengthBits, len);
        } else {
            // 7 and above: "111", one 1-bit per unit beyond 7, then a 0-bit.
            const unsigned bits = len - kPtLengthBits;
            out_.Put(bits, (1u << bits) - 2);
        }
        if (static_cast<int>(i) == zeroRunAfter) {
            while (i < kTZeroRunLimit && s_.ptLength[i] == 0) ++i;
            out_.Put(kTZeroRunBits, i - kTZeroRunAfter);
        }
    }
}

void BlockWriter::WriteCLengths() {
    const unsigned n = SentCount(s_.cLength, kNC);
    out_.Put(kCBits, n);
    auto putT = [this](unsigned t) { out_.Put(s_.ptLength[t], s_.ptCode[t]); };
    unsigned i = 0;
    while (i < n) {
        const unsigned len = s_.cLength[i++];
        if (len != 0) {
            putT(len + kTLengthBias);
            continue;
        }
        unsigned run = 1;
        while (i < n && s_.cLength[i] == 0) {
            ++i;
            ++run;
        }
        if (run < kShortRunBase) {
            for (unsigned k = 0; k < run; ++k) putT(kTZeroOne);
        } else if (run <= kShortRunMax) {
            putT(kTZeroShort);
            out_.Put(kShortRunBits, run - kShortRunBase);
        } else if (run == kShortRunMax + 1) {
            // 19 zeros: one single zero, then a short run of 18.
            putT(kTZeroOne);
            putT(kTZeroShort);
            out_.Put(kShortRunBits, kShortRunMax - kShortRunBase);
        } else {
            putT(kTZeroLong);
            out_.Put(kLongRunBits, run - kLongRunBase);
        }
    }
}

void BlockWriter::WritePTable() {
    if (BuildCodeLengths(s_.pFreq, kNP, s_.ptLength) >= 2) {
        MakeCanonicalCodes(s_.ptLength, kNP, s_.ptCode);
        WritePtLengths(kNP, kPBits, kNoZeroRun);
    } else {
        out_.Put(kPBits, 0);
        out_.Put(kPBits, LoneSymbol(s_.pFreq, kNP));
    }
}

void BlockWriter::WriteSymbols(unsigned count) {
    unsigned pos = 0;
    unsigned flags = 0;
    for (unsigned i = 0; i < count && !out_.Overflowed(); ++i) {
        if (i % kSymbolsPerFlag == 0)
            flags = s_.symbols[pos++];
        else
            flags <<= 1;
        if (flags & kFirstFlag) {
            const unsigned symbol = s_.symbols[pos] + kLiteralCount;
            const unsigned distanceCode = (static_cast<unsigned>(s_.symbols[pos + 1]) << kByteBits) | s_.symbols[pos + 2];
            pos += 3;
            out_.Put(s_.cLength[symbol], s_.cCode[symbol]);
            EncodeDistance(distanceCode);
        } else {
            const unsigned symbol = s_.symbols[pos++];
            out_.Put(s_.cLength[symbol], s_.cCode[symbol]);
        }
    }
}

void BlockWriter::EncodeDistance(unsigned distanceCode) {
    const unsigned k = BitLength(distanceCode);
    out_.Put(s_.ptLength[k], s_.ptCode[k]);
    if (k > 1) out_.Put(k - 1, distanceCode & ((1u << (k - 1)) - 1));
}

}  // namespace lha
