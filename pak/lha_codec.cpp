#include "pak/lha_codec.h"

#include <new>

#include "pak/codec_result.h"

bool PakLhaCodec::Encode(PakCodecJob& job) {
    uint32_t packedLength = 0;
    if (!coder_.Encode(job.plain, job.plainSize, job.packed, job.packedSize, &packedLength)) return FailEncode(job);
    job.packedSize = packedLength;
    return true;
}

bool PakLhaCodec::Decode(PakCodecJob& job) {
    uint32_t plainLength = job.plainSize;
    if (!coder_.Decode(job.packed, job.packedSize, job.plain, &plainLength)) return RefuseDecode(job);
    job.plainSize = plainLength;
    return true;
}

PakCodec* NewLhaCodec() { return new (std::nothrow) PakLhaCodec(); }
