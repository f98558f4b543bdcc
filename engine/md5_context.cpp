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
constexpr unsigned kRoundSteps = 16;
constexpr unsigned kStepCount = 64;

// Per-step shift amounts, four per round.
constexpr unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// T[i] = floor(abs(sin(i + 1)) * 2^32).
constexpr uint32_t kSine[kStepCount] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (kWordBits - n)); }

uint32_t LoadLittleEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
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
        Transform(buffer_);
        buffered_ = 0;
    }
    for (; length >= kMd5BlockBytes; bytes += kMd5BlockBytes, length -= kMd5BlockBytes) Transform(bytes);
    if (length > 0) {
        std::memcpy(buffer_, bytes, length);
        buffered_ = length;
    }
}

void Md5Context::Finish(uint8_t digest[kMd5DigestBytes]) {
    uint8_t lengthField[kLengthFieldBytes];
    StoreLittleEndian(bitCountLow_, lengthField);
    StoreLittleEndian(bitCountHigh_, lengthField + 4);

    // 0x80, then zeros up to 56 bytes modulo 64 (into a second block when fewer than 8
    // bytes are left in this one), then the bit count.
    buffer_[buffered_++] = kPadFirstByte;
    if (buffered_ > kLengthFieldOffset) {
        std::memset(buffer_ + buffered_, 0, kMd5BlockBytes - buffered_);
        Transform(buffer_);
        buffered_ = 0;
    }
    std::memset(buffer_ + buffered_, 0, kLengthFieldOffset - buffered_);
    std::memcpy(buffer_ + kLengthFieldOffset, lengthField, kLengthFieldBytes);
    Transform(buffer_);
    buffered_ = 0;

    for (size_t i = 0; i < 4; ++i) StoreLittleEndian(state_[i], digest + 4 * i);
}

void Md5Context::Transform(const uint8_t block[kMd5BlockBytes]) {
    uint32_t x[kRoundSteps];
    for (unsigned i = 0; i < kRoundSteps; ++i) x[i] = LoadLittleEndian(block + 4 * i);

    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (unsigned step = 0; step < kStepCount; ++step) {
        unsigned round = step / kRoundSteps;
        uint32_t f;
        unsigned word;
        switch (round) {
            case 0:  // F(b,c,d) = (b & c) | (~b & d)
                f = (b & c) | (~b & d);
                word = step;
                break;
            case 1:  // G(b,c,d) = (b & d) | (c & ~d)
                f = (b & d) | (c & ~d);
                word = (5 * step + 1) % kRoundSteps;
                break;
            case 2:  // H(b,c,d) = b ^ c ^ d
                f = b ^ c ^ d;
                word = (3 * step + 5) % kRoundSteps;
                break;
            default:  // I(b,c,d) = c ^ (b | ~d)
                f = c ^ (b | ~d);
                word = (7 * step) % kRoundSteps;
                break;
        }
        uint32_t rotated = RotateLeft(a + f + kSine[step] + x[word], kShift[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}
