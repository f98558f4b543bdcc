#include "pak/codec_lzo.h"

#include <cstring>
#include <new>

#include <lzo/lzo1x.h>

#include "pak/codec_result.h"

namespace {

// lzo_init() checks the library against this build's view of its types; run it once.
bool LzoReady() {
    static const bool ready = lzo_init() == LZO_E_OK;
    return ready;
}

}  // namespace

PakLzoCodec::PakLzoCodec() : workArea_(new (std::nothrow) uint8_t[LZO1X_1_MEM_COMPRESS]) {}

bool PakLzoCodec::Encode(PakCodecJob& job) {
    if (!workArea_ || !LzoReady()) return FailEncode(job);
    const uint32_t bound = LzoOutputBound(job.plainSize);
    uint8_t* out = job.packed;
    if (job.packedSize < bound) {
        // The compressor takes no output limit: code into an area of the worst-case size.
        if (scratch_.size() < bound) scratch_.resize(bound);
        out = scratch_.data();
    }
    lzo_uint packedLen = 0;
    const int rc = lzo1x_1_compress(job.plain, job.plainSize, out, &packedLen, workArea_.get());
    if (rc != LZO_E_OK || packedLen > job.packedSize) return FailEncode(job);
    if (out != job.packed) std::memcpy(job.packed, out, packedLen);
    job.packedSize = static_cast<uint32_t>(packedLen);
    return true;
}

bool PakLzoCodec::Decode(PakCodecJob& job) {
    if (!LzoReady()) return RefuseDecode(job);
    lzo_uint plainLen = job.plainSize;
    // LZO_E_OK only when the end marker is the last packed byte; overruns of either
    // buffer, a missing marker and unused input all come back as errors.
    const int rc = lzo1x_decompress_safe(job.packed, job.packedSize, job.plain, &plainLen,
                                         nullptr /* the decompressor needs no work memory */);
    if (rc != LZO_E_OK) return RefuseDecode(job);
    job.plainSize = static_cast<uint32_t>(plainLen);
    return true;
}
