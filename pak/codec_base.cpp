// The codec interface's one shared operation (also where its type information lives).
#include "pak/pak_codec.h"

uint32_t PakCodec::Bound(uint32_t n) { return n + n / 10 + 1024; }
