// Method 1 encoder: LZSS with lazy matching over a sliding window, hash chains with a
// per-chain "too long" flag, feeding the block writer.
#include <cstdint>
#include <cstring>
#include <new>

#include "pak/lha_block_writer.h"
#include "pak/lha_coder.h"
#include "pak/lha_format.h"

namespace lha {
namespace {

// The window holds two dictionaries and one longest match: the current position runs from
// 8192 up to 16384, then the upper 8448 bytes slide down by 8192.
constexpr unsigned kWindowSize = 2 * kDictionarySize + kMaxMatch;  // 16640
constexpr unsigned kSlideAt = 2 * kDictionarySize;                  // 16384
constexpr unsigned kFirstRead = kDictionarySize + kMaxMatch;        // 8448
constexpr unsigned kHashBits = 13;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = 5;
constexpr unsigned kHashCarryMask = 0xFF;  // bits of the hash kept when it rolls forward
constexpr uint16_t kNoPosition = 0;         // positions start at 8192, so 0 is free
constexpr unsigned kChainLimit = 256;       // walks this long flag the chain
constexpr unsigned kMaxSearchOffset = kMaxMatch - kMinMatch;  // 253
constexpr unsigned kNoMatch = kMinMatch - 1;                  // a "match" too short to code

}  // namespace

struct EncoderState {
    uint8_t text[kWindowSize];
    uint16_t hashHead[kHashSize];
    uint16_t chainPrev[kDictionarySize];
    uint8_t chainTooLong[kHashSize];
    BlockWriterState blocks;
};

void EncoderStateFree::operator()(EncoderState* state) const { delete state; }

namespace {

unsigned RollHash(unsigned h, uint8_t next) { return (((h & kHashCarryMask) << kHashShift) ^ next) & kHashMask; }

class Encoder {
public:
    Encoder(EncoderState& state, const uint8_t* plain, uint32_t length, BitWriter& out)
        : s_(state), in_(plain), inLeft_(length), blocks_(state.blocks, out), out_(out) {}

    void Run();

private:
    unsigned ReadInput(uint8_t* dst, unsigned count);
    void Advance();
    void SlideWindow();
    void InsertPosition();
    void SearchMatch();
    unsigned WalkChain(unsigned h, unsigned offset, unsigned wanted);
    void ClampMatch() {
        if (matchLen_ > remainder_) matchLen_ = remainder_;
    }

    EncoderState& s_;
    const uint8_t* in_;
    uint32_t inLeft_;
    BlockWriter blocks_;
    BitWriter& out_;
    unsigned pos_ = kDictionarySize;
    unsigned remainder_ = 0;  // input bytes from pos_ on
    unsigned hash_ = 0;       // hash of the three bytes at pos_
    unsigned matchLen_ = 0;
    unsigned matchPos_ = 0;
};

unsigned Encoder::ReadInput(uint8_t* dst, unsigned count) {
    const unsigned n = inLeft_ < count ? inLeft_ : count;
    std::memcpy(dst, in_, n);
    in_ += n;
    inLeft_ -= n;
    return n;
}

void Encoder::SlideWindow() {
    std::memmove(s_.text, s_.text + kDictionarySize, kWindowSize - kDictionarySize);
    remainder_ += ReadInput(s_.text + kWindowSize - kDictionarySize, kDictionarySize);
    pos_ -= kDictionarySize;
    auto shift = [](uint16_t& p) { p = p > kDictionarySize ? static_cast<uint16_t>(p - kDictionarySize) : kNoPosition; };
    for (uint16_t& p : s_.hashHead) shift(p);
    for (uint16_t& p : s_.chainPrev) shift(p);
    std::memset(s_.chainTooLong, 0, sizeof s_.chainTooLong);
}

void Encoder::Advance() {
    --remainder_;
    if (++pos_ >= kSlideAt) SlideWindow();
    hash_ = RollHash(hash_, s_.text[pos_ + 2]);
}

void Encoder::InsertPosition() {
    s_.chainPrev[pos_ & kDistanceMask] = s_.hashHead[hash_];
    s_.hashHead[hash_] = static_cast<uint16_t>(pos_);
}

// Walks the chain of hash h, whose entries were hashed `offset` bytes into their match,
// keeping the longest match (up to `wanted`) in matchLen_/matchPos_. Returns the steps taken.
unsigned Encoder::WalkChain(unsigned h, unsigned offset, unsigned wanted) {
    const uint8_t* const here = s_.text + pos_;
    // Candidates must start less than a dictionary before the current position.
    const unsigned scanEnd = pos_ > kDictionarySize ? pos_ + offset - kDictionarySize : offset;
    unsigned steps = 0;
    for (unsigned scan = s_.hashHead[h]; scan > scanEnd; scan = s_.chainPrev[scan & kDistanceMask]) {
        ++steps;
        const uint8_t* const cand = s_.text + scan - offset;
        if (cand[matchLen_] != here[matchLen_]) continue;
        unsigned len = 0;
        while (len < wanted && cand[len] == here[len]) ++len;
        if (len > matchLen_) {
            matchPos_ = scan - offset;
            matchLen_ = len;
            if (len == wanted) break;
        }
    }
    return steps;
}

void Encoder::SearchMatch() {
    if (matchLen_ < kNoMatch) matchLen_ = kNoMatch;
    matchPos_ = pos_;
    // A flagged chain is too long to walk: start from the hash of a later offset whose
    // chain is short, and match with that offset taken off.
    unsigned offset = 0;
    unsigned h = hash_;
    while (s_.chainTooLong[h] && offset < kMaxSearchOffset) {
        ++offset;
        h = RollHash(h, s_.text[pos_ + offset + 2]);
    }
    if (offset == kMaxSearchOffset) {
        offset = 0;
        h = hash_;
    }
    unsigned wanted = kMaxMatch;
    for (;;) {
        if (WalkChain(h, offset, wanted) >= kChainLimit) s_.chainTooLong[h] = 1;
        if (matchLen_ > offset + kNoMatch || offset == 0) break;
        // The offset search found nothing longer than its offset could miss: repeat from
        // the plain hash for the short matches.
        wanted = offset + kNoMatch;
        offset = 0;
        h = hash_;
    }
    InsertPosition();
}

void Encoder::Run() {
    std::memset(s_.text, 0, sizeof s_.text);
    std::memset(s_.hashHead, 0, sizeof s_.hashHead);
    std::memset(s_.chainPrev, 0, sizeof s_.chainPrev);
    std::memset(s_.chainTooLong, 0, sizeof s_.chainTooLong);

    remainder_ = ReadInput(s_.text + kDictionarySize, kFirstRead);
    pos_ = kDictionarySize;
    matchLen_ = kNoMatch;
    matchPos_ = pos_;
    ClampMatch();
    const uint8_t* t = s_.text + pos_;
    hash_ = ((((static_cast<unsigned>(t[0]) << kHashShift) ^ t[1]) & kHashCarryMask) << kHashShift ^ t[2]) & kHashMask;
    InsertPosition();

    while (remainder_ > 0 && !out_.Overflowed()) {
        const unsigned lastLen = matchLen_;
        const unsigned lastDistance = pos_ - matchPos_ - 1;
        --matchLen_;
        Advance();
        SearchMatch();
        ClampMatch();
        if (matchLen_ > lastLen || lastLen < kMinMatch) {
            blocks_.PutLiteral(s_.text[pos_ - 1]);
            continue;
        }
        // The match started one position back; its first two positions are in the chains.
        blocks_.PutMatch(lastLen, lastDistance & kDistanceMask);
        for (unsigned k = lastLen - 2; k > 0; --k) {
            Advance();
            InsertPosition();
        }
        Advance();
        matchLen_ = kNoMatch;
        SearchMatch();
        ClampMatch();
    }
    blocks_.Finish();
}

}  // namespace
}  // namespace lha

bool LhaCoder::Encode(const uint8_t* plain, uint32_t plainLength, uint8_t* packed, uint32_t capacity,
                      uint32_t* packedLength) {
    if (plain == nullptr || plainLength == 0) {
        *packedLength = 0;
        return true;
    }
    if (!encoder_) encoder_.reset(new (std::nothrow) lha::EncoderState);
    lha::BitWriter out(packed, packed != nullptr ? capacity : 0);
    if (encoder_) lha::Encoder(*encoder_, plain, plainLength, out).Run();
    if (!encoder_ || out.Overflowed()) {
        *packedLength = plainLength < UINT32_MAX ? plainLength + 1 : UINT32_MAX;
        return false;
    }
    *packedLength = out.Written();
    return true;
}

bool LhaEncode(const uint8_t* plain, uint32_t plainLength, uint8_t* packed, uint32_t capacity,
               uint32_t* packedLength) {
    return LhaCoder().Encode(plain, plainLength, packed, capacity, packedLength);
}
