// Fuzz target: the lzo block codec fed hostile packed blocks and damaged good ones.
#include "pak/codec_lzo.h"

using FuzzCodec = PakLzoCodec;

#include "fuzz/fuzz_codec_harness.h"
