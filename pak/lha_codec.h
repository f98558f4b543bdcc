// Method 1 of the pack codecs: blocks coded by the LHA-style coder (pak/lha_coder.h).
#pragma once

#include "pak/lha_coder.h"
#include "pak/pak_codec.h"

class PakLhaCodec final : public PakCodec {
public:
    // Codes the block into the job's packed area within its capacity; when it does not
    // fit, the packed size becomes 65537 and the result false, so the block is stored plain.
    bool Encode(PakCodecJob& job) override;
    // Produces exactly the plain size given on entry, or fails with plain size 0.
    bool Decode(PakCodecJob& job) override;

private:
    LhaCoder coder_;  // this codec's own work areas: codecs on other threads never wait for it
};

// The codec the factory hands out for method 1.
PakCodec* NewLhaCodec();
