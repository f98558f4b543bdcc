// Method -1: a block is one zlib stream (RFC 1950) made by compress() at the default level.
#pragma once

#include "pak/pak_codec.h"

class PakZlibCodec final : public PakCodec {
public:
    // Output capacity: one block (65536 bytes), or less when the caller's is smaller. A
    // stream that does not fit fails with packed size 65537.
    bool Encode(PakCodecJob& job) override;
    // Output capacity: one block, or less when the caller's plain size is smaller. Only a
    // complete stream that uses every packed byte is accepted.
    bool Decode(PakCodecJob& job) override;
};
