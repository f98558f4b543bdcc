// Bit streams of the method 1 format: most significant bit first within each byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lha {

// Writes into a caller's area of fixed capacity. Bytes that would land beyond the capacity
// are dropped and remembered as an overflow, so the caller can give up on the block.
class BitWriter {
public:
    BitWriter(uint8_t* out, uint32_t capacity) : out_(out), capacity_(capacity) {}

    // Appends the low `count` bits (count <= 16) of `value`.
    void Put(unsigned count, unsigned value) {
        if (count == 0) return;
        pending_ = (pending_ << count) | (value & ((1u << count) - 1));
        pendingBits_ += count;
        while (pendingBits_ >= kByteBits) {
            pendingBits_ -= kByteBits;
            Emit(static_cast<uint8_t>(pending_ >> pendingBits_));
        }
        pending_ &= (1u << pendingBits_) - 1;
    }

    // Pads the last partial byte with zero bits.
    void FlushZeros(unsigned count) {
        Put(count, 0);
        pending_ = 0;
        pendingBits_ = 0;
    }

    bool Overflowed() const { return overflow_; }
    uint32_t Written() const { return written_; }

private:
    static constexpr unsigned kByteBits = 8;

    void Emit(uint8_t byte) {
        if (written_ >= capacity_) {
            overflow_ = true;
            return;
        }
        out_[written_++] = byte;
    }

    uint8_t* out_;
    uint32_t capacity_;
    uint32_t written_ = 0;
    uint32_t pending_ = 0;
    unsigned pendingBits_ = 0;
    bool overflow_ = false;
};

// Reads hostile input. Peeking past the last byte sees zero bits (the data ends with zero
// flush bits and a 16-bit look-ahead may reach beyond it), but consuming a bit that is not
// there fails.
class BitReader {
public:
    static constexpr unsigned kPeekBits = 16;

    BitReader(const uint8_t* in, size_t size)
        : in_(in), size_(size), totalBits_(static_cast<uint64_t>(size) * kByteBits) {
        Refill();
    }

    // The next 16 bits, zero-padded beyond the end.
    unsigned Peek16() const { return static_cast<unsigned>(window_ >> (kWindowBits - kPeekBits)); }

    // Drops `count` bits (count <= 16); false when they run past the end of the input.
    bool Skip(unsigned count) {
        if (consumed_ + count > totalBits_) return false;
        consumed_ += count;
        window_ <<= count;
        windowBits_ -= count;
        if (windowBits_ < kPeekBits) Refill();
        return true;
    }

    // Reads `count` bits (count <= 16) into `value`.
    bool Get(unsigned count, unsigned& value) {
        value = count == 0 ? 0 : Peek16() >> (kPeekBits - count);
        return Skip(count);
    }

private:
    static constexpr unsigned kByteBits = 8;
    static constexpr unsigned kWindowBits = 64;

    void Refill() {
        while (windowBits_ <= kWindowBits - kByteBits) {
            const uint64_t byte = next_ < size_ ? in_[next_++] : 0;
            window_ |= byte << (kWindowBits - kByteBits - windowBits_);
            windowBits_ += kByteBits;
        }
    }

    const uint8_t* in_;
    size_t size_;
    size_t next_ = 0;
    uint64_t totalBits_;
    uint64_t consumed_ = 0;
    uint64_t window_ = 0;  // left-aligned: the next bit is bit 63
    unsigned windowBits_ = 0;
};

}  // namespace lha
