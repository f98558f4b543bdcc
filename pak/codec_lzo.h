// Method 2: a block is one LZO1X stream made by LZO1X-1, ending with 0x11 0x00 0x00.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pak/pak_codec.h"

// Worst-case LZO1X-1 output for n input bytes.
constexpr uint32_t LzoOutputBound(uint32_t n) { return n + n / 16 + 64 + 3; }

class PakLzoCodec final : public PakCodec {
public:
    PakLzoCodec();
    // Fails (packed size 65537) when the work area is missing or the stream does not fit
    // the caller's capacity.
    bool Encode(PakCodecJob& job) override;
    // Output capacity = the plain size on entry; accepted only when the stream ends
    // exactly at its end marker with every packed byte used.
    bool Decode(PakCodecJob& job) override;

private:
    // LZO1X-1's hash table of 16384 entries. The library sizes an entry as a pointer, so
    // the area is 64 KiB on 32-bit builds and 128 KiB on 64-bit ones.
    std::unique_ptr<uint8_t[]> workArea_;
    // Output area for callers whose capacity is below the worst case.
    std::vector<uint8_t> scratch_;
};
