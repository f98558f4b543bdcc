// Fuzz target: the zlib block codec fed hostile packed blocks and damaged good ones.
#include "pak/codec_zlib.h"

using FuzzCodec = PakZlibCodec;

#include "fuzz/fuzz_codec_harness.h"
