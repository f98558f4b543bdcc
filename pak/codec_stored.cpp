#include "pak/codec_stored.h"

#include <cstring>

#include "pak/codec_result.h"

bool PakStoredCodec::Encode(PakCodecJob& job) {
    if (job.plainSize > job.packedSize) return FailEncode(job);
    if (job.plainSize != 0) std::memcpy(job.packed, job.plain, job.plainSize);
    job.packedSize = job.plainSize;
    return true;
}

bool PakStoredCodec::Decode(PakCodecJob& job) {
    // A stored block never holds more bytes than the block it stands for.
    if (job.packedSize > job.plainSize) return RefuseDecode(job);
    if (job.packedSize != 0) std::memcpy(job.plain, job.packed, job.packedSize);
    job.plainSize = job.packedSize;
    return true;
}
