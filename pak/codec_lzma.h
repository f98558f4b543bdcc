// Method -2: a block is an Lzma86 block (see codec_lzma86.h), level 5, 64 KiB dictionary,
// with the x86 branch-call filter chosen automatically.
#pragma once

#include "pak/pak_codec.h"

class PakLzmaCodec final : public PakCodec {
public:
    // Output capacity: one block (65536 bytes), or less when the caller's is smaller. A
    // block that does not fit fails with packed size 65537.
    bool Encode(PakCodecJob& job) override;
    // Output capacity = the plain size on entry. A refused block also writes
    // "lzma decode failure\r\n" to the debugger output.
    bool Decode(PakCodecJob& job) override;
};
