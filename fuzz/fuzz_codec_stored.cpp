// Fuzz target: the stored block codec fed hostile packed blocks and damaged good ones.
#include "pak/codec_stored.h"

using FuzzCodec = PakStoredCodec;

#include "fuzz/fuzz_codec_harness.h"
