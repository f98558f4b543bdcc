#include "pak/pak_codec.h"

#include "pak/codec_lzma.h"
#include "pak/codec_lzo.h"
#include "pak/codec_stored.h"
#include "pak/codec_zlib.h"
#include "pak/lha_codec.h"

#include <new>

PakCodec* CreatePakCodec(int32_t method) {
    switch (method) {
        case kPakMethodLzma: return new (std::nothrow) PakLzmaCodec();
        case kPakMethodZlib: return new (std::nothrow) PakZlibCodec();
        case kPakMethodStored: return new (std::nothrow) PakStoredCodec();
        case kPakMethodLha: return NewLhaCodec();
        case kPakMethodLzo: return new (std::nothrow) PakLzoCodec();
        default: return nullptr;
    }
}

void DestroyPakCodec(PakCodec* codec, int32_t) { delete codec; }
