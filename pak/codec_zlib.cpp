#include "pak/codec_zlib.h"

#include <zlib.h>

#include "pak/codec_result.h"

bool PakZlibCodec::Encode(PakCodecJob& job) {
    uLongf packedLen = EncodeCapacity(job, kPakBlockSize);
    const int rc = compress(job.packed, &packedLen, job.plain, job.plainSize);
    if (rc != Z_OK) return FailEncode(job);
    job.packedSize = static_cast<uint32_t>(packedLen);
    return true;
}

bool PakZlibCodec::Decode(PakCodecJob& job) {
    uLongf plainLen = job.plainSize < kPakBlockSize ? job.plainSize : kPakBlockSize;
    uLong packedUsed = job.packedSize;
    // uncompress2 reports how much input the stream took, so trailing bytes are caught.
    const int rc = uncompress2(job.plain, &plainLen, job.packed, &packedUsed);
    if (rc != Z_OK || packedUsed != job.packedSize) return RefuseDecode(job);
    job.plainSize = static_cast<uint32_t>(plainLen);
    return true;
}
