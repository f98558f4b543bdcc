// Method 0: a block is kept as its plain bytes.
#pragma once

#include "pak/pak_codec.h"

class PakStoredCodec final : public PakCodec {
public:
    // Copies the plain bytes; fails (packed size 65537) when they exceed the capacity.
    bool Encode(PakCodecJob& job) override;
    // Copies the packed bytes; refuses more bytes than the plain capacity on entry.
    bool Decode(PakCodecJob& job) override;
};
