// Block codecs of the pack archive: one record a block is coded through, one interface,
// one factory keyed by the pack's method number.
#pragma once

#include <cstdint>

// Method numbers as stored in a pack header (signed 32-bit).
enum PakMethod : int32_t {
    kPakMethodLzma = -2,
    kPakMethodZlib = -1,
    kPakMethodStored = 0,
    kPakMethodLha = 1,
    kPakMethodLzo = 2,
};

constexpr uint32_t kPakBlockSize = 65536;         // plain bytes in a full block
constexpr uint32_t kPakPackedCapacity = 66579;    // packed capacity the writers pass to Encode
constexpr uint32_t kPakEncodeFailedSize = 65537;  // packed size left by a failed Encode

// One block coding job.
//   Encode: plain/plainSize are the input; packed is the output, packedSize its capacity on
//           entry and the length produced on return.
//   Decode: packed/packedSize are the input; plain is the output, plainSize the expected
//           length on entry and the length produced on return (0 on failure).
struct PakCodecJob {
    uint8_t* plain;
    uint32_t plainSize;
    uint8_t* packed;
    uint32_t packedSize;
};

class PakCodec {
public:
    // Worst-case output size: n + n / 10 + 1024.
    virtual uint32_t Bound(uint32_t n);
    virtual bool Encode(PakCodecJob& job) = 0;
    // Treats the packed input as hostile: never reads past packedSize, never writes past
    // the plain size given on entry, and refuses damaged data (false, plainSize 0).
    virtual bool Decode(PakCodecJob& job) = 0;
    virtual ~PakCodec() = default;
};

// A new codec for `method`, or nullptr when the number names no method.
PakCodec* CreatePakCodec(int32_t method);
void DestroyPakCodec(PakCodec* codec, int32_t method);
