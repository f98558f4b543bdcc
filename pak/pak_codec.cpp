#include "pak/pak_codec.h"

#include "pak/codec_lzma.h"
#include "pak/codec_lzo.h"
#include "pak/codec_stored.h"
#include "pak/codec_zlib.h"

#include <new>

PakCodec* CreatePakCodec(int32_t method) {
    switch (method) {
        case kPakMethodLzma: return new (std::nothrow) PakLzmaCodec();
        case kPakMethodZlib: return new (std::nothrow) PakZlibCodec();
        case kPakMethodStored: return new (std::nothrow) PakStoredCodec();
        // METHOD 1 (LHA-style): wired through NewLhaCodec() from pak/lha_codec.h once that
        // header exists; until then a pack of method 1 gets no codec.
        case kPakMethodLha: return nullptr;
        case kPakMethodLzo: return new (std::nothrow) PakLzoCodec();
        default: return nullptr;
    }
}

void DestroyPakCodec(PakCodec* codec, int32_t) { delete codec; }
