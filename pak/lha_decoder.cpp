// Method 1 decoder. The input is hostile: every count is checked against its alphabet,
// every table must form a complete prefix code, every match must lie inside the block
// produced so far and inside the wanted length, and bits are never taken past the end.
#include <cstring>
#include <new>

#include "pak/lha_bit_io.h"
#include "pak/lha_coder.h"
#include "pak/lha_format.h"
#include "pak/lha_huffman.h"
#include "platform/platform.h"
#include "text/message_box.h"

namespace lha {
namespace {

constexpr unsigned kCTableBits = 12;
constexpr unsigned kPtTableBits = 8;
constexpr char kBadTableText[] = "Lha Decode: Bad table";

enum class DecodeStatus { Ok, BadTable, Damaged };

}  // namespace

struct DecoderState {
    uint16_t cTable[1u << kCTableBits];
    uint16_t cLeft[2 * kNC];
    uint16_t cRight[2 * kNC];
    uint8_t cLength[kNC];
    // The T code (while the C lengths are read) and then the P code share these.
    uint16_t ptTable[1u << kPtTableBits];
    uint16_t ptLeft[2 * kNT];
    uint16_t ptRight[2 * kNT];
    uint8_t ptLength[kNT];
};

void DecoderStateFree::operator()(DecoderState* state) const { delete state; }

namespace {

class Decoder {
public:
    Decoder(DecoderState& state, const uint8_t* packed, uint32_t packedLength)
        : s_(state), in_(packed, packedLength) {}

    DecodeStatus Run(uint8_t* plain, uint32_t wanted);

private:
    DecodeStatus ReadBlockHeader();
    DecodeStatus ReadPtTable(unsigned alphabet, unsigned countBits, int zeroRunAfter);
    DecodeStatus ReadCTable();
    bool DecodeSymbol(const DecodeTable& t, const uint8_t* lengths, unsigned n, unsigned& symbol);
    bool DecodeDistance(unsigned& distance);

    DecodeTable CTable() { return {s_.cTable, kCTableBits, s_.cLeft, s_.cRight, 2 * kNC}; }
    DecodeTable PtTable() { return {s_.ptTable, kPtTableBits, s_.ptLeft, s_.ptRight, 2 * kNT}; }

    DecoderState& s_;
    BitReader in_;
    unsigned blockLeft_ = 0;
    unsigned ptAlphabet_ = 0;  // alphabet size of the code now in the P/T table
};

bool Decoder::DecodeSymbol(const DecodeTable& t, const uint8_t* lengths, unsigned n, unsigned& symbol) {
    const unsigned bits = in_.Peek16();
    unsigned s = t.table[bits >> (BitReader::kPeekBits - t.tableBits)];
    // Codes longer than the table continue bit by bit through the overflow tree.
    for (int bit = static_cast<int>(BitReader::kPeekBits - 1 - t.tableBits); s >= n; --bit) {
        if (bit < 0 || s >= t.nodeCapacity) return false;
        s = (bits >> bit) & 1 ? t.right[s] : t.left[s];
    }
    symbol = s;
    return in_.Skip(lengths[s]);
}

DecodeStatus Decoder::ReadPtTable(unsigned alphabet, unsigned countBits, int zeroRunAfter) {
    ptAlphabet_ = alphabet;
    unsigned n = 0;
    if (!in_.Get(countBits, n)) return DecodeStatus::Damaged;
    if (n == 0) {
        unsigned symbol = 0;
        if (!in_.Get(countBits, symbol)) return DecodeStatus::Damaged;
        if (symbol >= alphabet) return DecodeStatus::BadTable;
        std::memset(s_.ptLength, 0, sizeof s_.ptLength);
        BuildLoneSymbolTable(symbol, PtTable());
        return DecodeStatus::Ok;
    }
    if (n > alphabet) return DecodeStatus::BadTable;
    std::memset(s_.ptLength, 0, sizeof s_.ptLength);
    unsigned i = 0;
    while (i < n) {
        unsigned len = 0;
        if (!in_.Get(kPtLengthBits, len)) return DecodeStatus::Damaged;
        if (len == kPtLengthEscape) {
            unsigned more = 1;
            while (more != 0) {
                if (!in_.Get(1, more)) return DecodeStatus::Damaged;
                len += more;
                if (len > kMaxCodeLength) return DecodeStatus::BadTable;
            }
        }
        s_.ptLength[i++] = static_cast<uint8_t>(len);
        if (static_cast<int>(i) == zeroRunAfter) {
            unsigned zeros = 0;
            if (!in_.Get(kTZeroRunBits, zeros)) return DecodeStatus::Damaged;
            if (i + zeros > alphabet) return DecodeStatus::BadTable;
            i += zeros;  // the lengths are already zero
        }
    }
    return BuildDecodeTable(s_.ptLength, alphabet, PtTable()) ? DecodeStatus::Ok : DecodeStatus::BadTable;
}

DecodeStatus Decoder::ReadCTable() {
    unsigned n = 0;
    if (!in_.Get(kCBits, n)) return DecodeStatus::Damaged;
    std::memset(s_.cLength, 0, sizeof s_.cLength);
    if (n == 0) {
        unsigned symbol = 0;
        if (!in_.Get(kCBits, symbol)) return DecodeStatus::Damaged;
        if (symbol >= kNC) return DecodeStatus::BadTable;
        BuildLoneSymbolTable(symbol, CTable());
        return DecodeStatus::Ok;
    }
    if (n > kNC) return DecodeStatus::BadTable;
    const DecodeTable t = PtTable();
    unsigned i = 0;
    while (i < n) {
        unsigned code = 0;
        if (!DecodeSymbol(t, s_.ptLength, kNT, code)) return DecodeStatus::Damaged;
        if (code >= kTFirstLength) {
            s_.cLength[i++] = static_cast<uint8_t>(code - kTLengthBias);
            continue;
        }
        unsigned run = 1;
        if (code == kTZeroShort) {
            if (!in_.Get(kShortRunBits, run)) return DecodeStatus::Damaged;
            run += kShortRunBase;
        } else if (code == kTZeroLong) {
            if (!in_.Get(kLongRunBits, run)) return DecodeStatus::Damaged;
            run += kLongRunBase;
        }
        if (i + run > kNC) return DecodeStatus::BadTable;
        i += run;  // the lengths are already zero
    }
    return BuildDecodeTable(s_.cLength, kNC, CTable()) ? DecodeStatus::Ok : DecodeStatus::BadTable;
}

DecodeStatus Decoder::ReadBlockHeader() {
    unsigned count = 0;
    if (!in_.Get(kBlockCountBits, count) || count == 0) return DecodeStatus::Damaged;
    DecodeStatus st = ReadPtTable(kNT, kTBits, kTZeroRunAfter);
    if (st == DecodeStatus::Ok) st = ReadCTable();
    if (st == DecodeStatus::Ok) st = ReadPtTable(kNP, kPBits, kNoZeroRun);
    blockLeft_ = count;
    return st;
}

// The distance d of a match: P symbol k, then for k > 1 the k - 1 low bits of d - 1.
bool Decoder::DecodeDistance(unsigned& distance) {
    unsigned k = 0;
    if (!DecodeSymbol(PtTable(), s_.ptLength, ptAlphabet_, k)) return false;
    unsigned value = k;
    if (k > 1) {
        unsigned low = 0;
        if (!in_.Get(k - 1, low)) return false;
        value = (1u << (k - 1)) + low;
    }
    distance = value + 1;
    return true;
}

DecodeStatus Decoder::Run(uint8_t* plain, uint32_t wanted) {
    uint32_t produced = 0;
    const DecodeTable cTable = CTable();
    while (produced < wanted) {
        if (blockLeft_ == 0) {
            const DecodeStatus st = ReadBlockHeader();
            if (st != DecodeStatus::Ok) return st;
        }
        --blockLeft_;
        unsigned symbol = 0;
        if (!DecodeSymbol(cTable, s_.cLength, kNC, symbol)) return DecodeStatus::Damaged;
        if (symbol < kLiteralCount) {
            plain[produced++] = static_cast<uint8_t>(symbol);
            continue;
        }
        const unsigned length = symbol - kLengthSymbolBias;
        unsigned distance = 0;
        if (!DecodeDistance(distance)) return DecodeStatus::Damaged;
        if (distance > produced || length > wanted - produced) return DecodeStatus::Damaged;
        // Byte by byte: a match may overlap the bytes it produces.
        const uint8_t* from = plain + produced - distance;
        uint8_t* to = plain + produced;
        for (unsigned k = 0; k < length; ++k) to[k] = from[k];
        produced += length;
    }
    return DecodeStatus::Ok;
}

}  // namespace
}  // namespace lha

bool LhaCoder::Decode(const uint8_t* packed, uint32_t packedLength, uint8_t* plain, uint32_t* plainLength) {
    const uint32_t wanted = *plainLength;
    *plainLength = 0;
    if (wanted == 0) return true;
    if (plain == nullptr || (packed == nullptr && packedLength != 0)) return false;
    if (!decoder_) decoder_.reset(new (std::nothrow) lha::DecoderState);
    if (!decoder_) return false;
    const lha::DecodeStatus status = lha::Decoder(*decoder_, packed, packedLength).Run(plain, wanted);
    if (status == lha::DecodeStatus::Ok) {
        *plainLength = wanted;
        return true;
    }
    if (status == lha::DecodeStatus::BadTable)
        MessageBoxNarrow(lha::kBadTableText, nullptr /* no caption */, platform::kMbOk);
    return false;
}

bool LhaDecode(const uint8_t* packed, uint32_t packedLength, uint8_t* plain, uint32_t* plainLength) {
    return LhaCoder().Decode(packed, packedLength, plain, plainLength);
}
