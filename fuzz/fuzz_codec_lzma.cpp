// Fuzz target: the lzma block codec fed hostile packed blocks and damaged good ones.
#include "pak/codec_lzma.h"

using FuzzCodec = PakLzmaCodec;

#include "fuzz/fuzz_codec_harness.h"
