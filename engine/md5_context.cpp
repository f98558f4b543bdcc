#include "engine/md5_context.h"

#include <cstring>

namespace {

constexpr uint32_t kInitA = 0x67452301;
constexpr uint32_t kInitB = 0xefcdab89;
constexpr uint32_t kInitC = 0x98badcfe;
constexpr uint32_t kInitD = 0x10325476;

constexpr uint8_t kPadFirstByte = 0x80;
constexpr size_t kLengthFieldBytes = 8;
constexpr size_t kLengthFieldOffset = kMd5BlockBytes - kLengthFieldBytes;  // 56
constexpr unsigned kBitsPerByteShift = 3;
constexpr unsigned kWordBits = 32;
constexpr size_t kWordBytes = 4;
constexpr size_t kBlockWords = kMd5BlockBytes / kWordBytes;

// Per-step shift amounts, four per round, used in turn.
constexpr unsigned kF1 = 7, kF2 = 12, kF3 = 17, kF4 = 22;
constexpr unsigned kG1 = 5, kG2 = 9, kG3 = 14, kG4 = 20;
constexpr unsigned kH1 = 4, kH2 = 11, kH3 = 16, kH4 = 23;
constexpr unsigned kI1 = 6, kI2 = 10, kI3 = 15, kI4 = 21;

inline uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (kWordBits - n)); }

// One step each of the four rounds: add the round function, a message word and the step's
// additive constant T[i] = floor(abs(sin(i + 1)) * 2^32) to `a`, rotate, add `b`.
// The round functions are in forms with fewer operations than their textbook ones, with
// identical results:
//   F = (b & c) | (~b & d)  ==  d ^ (b & (c ^ d))
//   G = (b & d) | (c & ~d)  ==  (b & d) + (c & ~d): the terms never share a set bit, so they
//                               are added separately, the one without `b` before `b` is known.
//   H = b ^ c ^ d
//   I = c ^ (b | ~d)
inline void StepF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, uint32_t sine, unsigned shift) {
    a += word + sine + (d ^ (b & (c ^ d)));
    a = RotateLeft(a, shift) + b;
}

inline void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, uint32_t sine, unsigned shift) {
    a += word + sine + (c & ~d);
    a += b & d;
    a = RotateLeft(a, shift) + b;
}

inline void StepH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, uint32_t sine, unsigned shift) {
    a += word + sine + (b ^ c ^ d);
    a = RotateLeft(a, shift) + b;
}

inline void StepI(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, uint32_t sine, unsigned shift) {
    a += word + sine + (c ^ (b | ~d));
    a = RotateLeft(a, shift) + b;
}

// A little-endian word at any alignment; the memcpy compiles to one plain load on x86.
inline uint32_t LoadLittleEndian(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

void StoreLittleEndian(uint32_t v, uint8_t* p) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

Md5Context::Md5Context() : state_{kInitA, kInitB, kInitC, kInitD}, buffer_{} {}

void Md5Context::AddBitCount(size_t length) {
    // The bit count is 64 bits wide, kept as two words; it wraps modulo 2^64 as MD5 says.
    uint64_t bits = (static_cast<uint64_t>(bitCountHigh_) << kWordBits) | bitCountLow_;
    bits += static_cast<uint64_t>(length) << kBitsPerByteShift;
    bitCountLow_ = static_cast<uint32_t>(bits);
    bitCountHigh_ = static_cast<uint32_t>(bits >> kWordBits);
}

void Md5Context::Update(const uint8_t* bytes, size_t length) {
    if (length == 0) return;  // `bytes` may then be null
    AddBitCount(length);
    if (buffered_ > 0) {
        size_t take = kMd5BlockBytes - buffered_;
        if (take > length) take = length;
        std::memcpy(buffer_ + buffered_, bytes, take);
        buffered_ += take;
        bytes += take;
        length -= take;
        if (buffered_ < kMd5BlockBytes) return;
        Transform(buffer_, 1);
        buffered_ = 0;
    }
    // Whole blocks are read straight from the caller's bytes, whatever their alignment.
    size_t blocks = length / kMd5BlockBytes;
    if (blocks > 0) {
        Transform(bytes, blocks);
        bytes += blocks * kMd5BlockBytes;
        length -= blocks * kMd5BlockBytes;
    }
    if (length > 0) {
        std::memcpy(buffer_, bytes, length);
        buffered_ = length;
    }
}

void Md5Context::Finish(uint8_t digest[kMd5DigestBytes]) {
    uint8_t lengthField[kLengthFieldBytes];
    StoreLittleEndian(bitCountLow_, lengthField);
    StoreLittleEndian(bitCountHigh_, lengthField + kWordBytes);

    // 0x80, then zeros up to 56 bytes modulo 64 (into a second block when fewer than 8
    // bytes are left in this one), then the bit count.
    buffer_[buffered_++] = kPadFirstByte;
    if (buffered_ > kLengthFieldOffset) {
        std::memset(buffer_ + buffered_, 0, kMd5BlockBytes - buffered_);
        Transform(buffer_, 1);
        buffered_ = 0;
    }
    std::memset(buffer_ + buffered_, 0, kLengthFieldOffset - buffered_);
    std::memcpy(buffer_ + kLengthFieldOffset, lengthField, kLengthFieldBytes);
    Transform(buffer_, 1);
    buffered_ = 0;

    for (size_t i = 0; i < 4; ++i) StoreLittleEndian(state_[i], digest + kWordBytes * i);
}

void Md5Context::Transform(const uint8_t* blocks, size_t count) {
    // The chaining words stay in registers from one block to the next.
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (; count > 0; --count, blocks += kMd5BlockBytes) {
        uint32_t x[kBlockWords];
        for (size_t i = 0; i < kBlockWords; ++i) x[i] = LoadLittleEndian(blocks + kWordBytes * i);
        const uint32_t oldA = a, oldB = b, oldC = c, oldD = d;

        StepF(a, b, c, d, x[0], 0xd76aa478, kF1);
        StepF(d, a, b, c, x[1], 0xe8c7b756, kF2);
        StepF(c, d, a, b, x[2], 0x242070db, kF3);
        StepF(b, c, d, a, x[3], 0xc1bdceee, kF4);
        StepF(a, b, c, d, x[4], 0xf57c0faf, kF1);
        StepF(d, a, b, c, x[5], 0x4787c62a, kF2);
        StepF(c, d, a, b, x[6], 0xa8304613, kF3);
        StepF(b, c, d, a, x[7], 0xfd469501, kF4);
        StepF(a, b, c, d, x[8], 0x698098d8, kF1);
        StepF(d, a, b, c, x[9], 0x8b44f7af, kF2);
        StepF(c, d, a, b, x[10], 0xffff5bb1, kF3);
        StepF(b, c, d, a, x[11], 0x895cd7be, kF4);
        StepF(a, b, c, d, x[12], 0x6b901122, kF1);
        StepF(d, a, b, c, x[13], 0xfd987193, kF2);
        StepF(c, d, a, b, x[14], 0xa679438e, kF3);
        StepF(b, c, d, a, x[15], 0x49b40821, kF4);

        StepG(a, b, c, d, x[1], 0xf61e2562, kG1);
        StepG(d, a, b, c, x[6], 0xc040b340, kG2);
        StepG(c, d, a, b, x[11], 0x265e5a51, kG3);
        StepG(b, c, d, a, x[0], 0xe9b6c7aa, kG4);
        StepG(a, b, c, d, x[5], 0xd62f105d, kG1);
        StepG(d, a, b, c, x[10], 0x02441453, kG2);
        StepG(c, d, a, b, x[15], 0xd8a1e681, kG3);
        StepG(b, c, d, a, x[4], 0xe7d3fbc8, kG4);
        StepG(a, b, c, d, x[9], 0x21e1cde6, kG1);
        StepG(d, a, b, c, x[14], 0xc33707d6, kG2);
        StepG(c, d, a, b, x[3], 0xf4d50d87, kG3);
        StepG(b, c, d, a, x[8], 0x455a14ed, kG4);
        StepG(a, b, c, d, x[13], 0xa9e3e905, kG1);
        StepG(d, a, b, c, x[2], 0xfcefa3f8, kG2);
        StepG(c, d, a, b, x[7], 0x676f02d9, kG3);
        StepG(b, c, d, a, x[12], 0x8d2a4c8a, kG4);

        StepH(a, b, c, d, x[5], 0xfffa3942, kH1);
        StepH(d, a, b, c, x[8], 0x8771f681, kH2);
        StepH(c, d, a, b, x[11], 0x6d9d6122, kH3);
        StepH(b, c, d, a, x[14], 0xfde5380c, kH4);
        StepH(a, b, c, d, x[1], 0xa4beea44, kH1);
        StepH(d, a, b, c, x[4], 0x4bdecfa9, kH2);
        StepH(c, d, a, b, x[7], 0xf6bb4b60, kH3);
        StepH(b, c, d, a, x[10], 0xbebfbc70, kH4);
        StepH(a, b, c, d, x[13], 0x289b7ec6, kH1);
        StepH(d, a, b, c, x[0], 0xeaa127fa, kH2);
        StepH(c, d, a, b, x[3], 0xd4ef3085, kH3);
        StepH(b, c, d, a, x[6], 0x04881d05, kH4);
        StepH(a, b, c, d, x[9], 0xd9d4d039, kH1);
        StepH(d, a, b, c, x[12], 0xe6db99e5, kH2);
        StepH(c, d, a, b, x[15], 0x1fa27cf8, kH3);
        StepH(b, c, d, a, x[2], 0xc4ac5665, kH4);

        StepI(a, b, c, d, x[0], 0xf4292244, kI1);
        StepI(d, a, b, c, x[7], 0x432aff97, kI2);
        StepI(c, d, a, b, x[14], 0xab9423a7, kI3);
        StepI(b, c, d, a, x[5], 0xfc93a039, kI4);
        StepI(a, b, c, d, x[12], 0x655b59c3, kI1);
        StepI(d, a, b, c, x[3], 0x8f0ccc92, kI2);
        StepI(c, d, a, b, x[10], 0xffeff47d, kI3);
        StepI(b, c, d, a, x[1], 0x85845dd1, kI4);
        StepI(a, b, c, d, x[8], 0x6fa87e4f, kI1);
        StepI(d, a, b, c, x[15], 0xfe2ce6e0, kI2);
        StepI(c, d, a, b, x[6], 0xa3014314, kI3);
        StepI(b, c, d, a, x[13], 0x4e0811a1, kI4);
        StepI(a, b, c, d, x[4], 0xf7537e82, kI1);
        StepI(d, a, b, c, x[11], 0xbd3af235, kI2);
        StepI(c, d, a, b, x[2], 0x2ad7d2bb, kI3);
        StepI(b, c, d, a, x[9], 0xeb86d391, kI4);

        a += oldA;
        b += oldB;
        c += oldC;
        d += oldD;
    }
    state_[0] = a;
    state_[1] = b;
    state_[2] = c;
    state_[3] = d;
}
