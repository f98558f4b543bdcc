#include "pak/pak_codec.h"

uint32_t PakCodec::Bound(uint32_t n) { return n + n / 10 + 1024; }

PakCodec* CreatePakCodec(int32_t) { return nullptr; }  // filled in next
void DestroyPakCodec(PakCodec* codec, int32_t) { delete codec; }
