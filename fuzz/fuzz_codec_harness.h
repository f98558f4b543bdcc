// Body shared by the codec fuzz targets. Each target includes its codec's header, names the
// class as FuzzCodec and then includes this file.
//
// Input: byte 0 chooses what is done with the rest.
//   bit 0 clear: bytes 3.. are a packed block, decoded into a room of 65536 bytes, or of
//                bytes 1-2 (little-endian) when bit 1 is set.
//   bit 0 set:   bytes 4.. are plain data (at most one block); they are encoded, must decode
//                back unchanged, and then the block is damaged (byte at the position in
//                bytes 1-2 xored with byte 3, or cut there when byte 3 is 0) and decoded again.
// Every decode must keep the rules: false leaves plain size 0, true leaves a plain size no
// larger than the room. The sanitizers catch reads outside the exact-size input buffers;
// the compression libraries are not instrumented, so guard bytes behind every output area
// catch their writes past the room they were given.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "pak/pak_codec.h"

namespace fuzz_codec {

constexpr size_t kRawHeader = 3;
constexpr size_t kRoundTripHeader = 4;
constexpr size_t kGuardSize = 32;
constexpr uint8_t kGuardByte = 0xA5;

inline void Check(bool condition) {
    if (!condition) std::abort();
}

inline uint32_t Le16(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8); }

// An output area of `size` bytes followed by guard bytes.
inline std::unique_ptr<uint8_t[]> GuardedArea(size_t size) {
    std::unique_ptr<uint8_t[]> area(new uint8_t[size + kGuardSize]);
    std::memset(area.get() + size, kGuardByte, kGuardSize);
    return area;
}

inline void CheckGuard(const uint8_t* area, size_t size) {
    for (size_t i = 0; i < kGuardSize; ++i) Check(area[size + i] == kGuardByte);
}

// Decodes `packed` from a buffer of exactly its size into a room of exactly `room` bytes.
inline bool DecodeInto(PakCodec& codec, const uint8_t* packed, size_t packedSize, uint32_t room,
                       std::unique_ptr<uint8_t[]>& plain, uint32_t& produced) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[packedSize]);
    if (packedSize) std::memcpy(in.get(), packed, packedSize);
    plain = GuardedArea(room);
    PakCodecJob job{plain.get(), room, in.get(), static_cast<uint32_t>(packedSize)};
    const bool ok = codec.Decode(job);
    CheckGuard(plain.get(), room);
    Check(ok ? job.plainSize <= room : job.plainSize == 0);
    produced = job.plainSize;
    return ok;
}

inline void DecodeRaw(PakCodec& codec, const uint8_t* data, size_t size) {
    if (size < kRawHeader) return;
    const uint32_t room = (data[0] & 2) ? Le16(data + 1) : kPakBlockSize;
    std::unique_ptr<uint8_t[]> plain;
    uint32_t produced = 0;
    DecodeInto(codec, data + kRawHeader, size - kRawHeader, room, plain, produced);
}

inline void RoundTripThenDamage(PakCodec& codec, const uint8_t* data, size_t size) {
    if (size < kRoundTripHeader) return;
    size_t plainSize = size - kRoundTripHeader;
    if (plainSize > kPakBlockSize) plainSize = kPakBlockSize;
    std::unique_ptr<uint8_t[]> plain(new uint8_t[plainSize]);
    std::memcpy(plain.get(), data + kRoundTripHeader, plainSize);
    std::unique_ptr<uint8_t[]> packed = GuardedArea(kPakPackedCapacity);
    PakCodecJob job{plain.get(), static_cast<uint32_t>(plainSize), packed.get(), kPakPackedCapacity};
    const bool encoded = codec.Encode(job);
    CheckGuard(packed.get(), kPakPackedCapacity);
    if (!encoded) {
        Check(job.packedSize > kPakBlockSize);
        return;
    }
    Check(job.packedSize <= kPakPackedCapacity);
    const size_t packedSize = job.packedSize;

    std::unique_ptr<uint8_t[]> decoded;
    uint32_t produced = 0;
    Check(DecodeInto(codec, packed.get(), packedSize, static_cast<uint32_t>(plainSize), decoded, produced));
    Check(produced == plainSize && std::memcmp(decoded.get(), plain.get(), plainSize) == 0);

    if (packedSize == 0) return;
    const size_t at = Le16(data + 1) % packedSize;
    size_t damagedSize = packedSize;
    if (data[3] == 0) {
        damagedSize = at;
    } else {
        packed[at] ^= data[3];
    }
    DecodeInto(codec, packed.get(), damagedSize, static_cast<uint32_t>(plainSize), decoded, produced);
}

}  // namespace fuzz_codec

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzCodec codec;
    if (size == 0) return 0;
    if (data[0] & 1) {
        fuzz_codec::RoundTripThenDamage(codec, data, size);
    } else {
        fuzz_codec::DecodeRaw(codec, data, size);
    }
    return 0;
}
