// How every block codec reports a failure: the job's sizes carry the result, because the
// writers look only at the packed size and the reader only at the plain size.
#pragma once

#include "pak/pak_codec.h"

// Decode failure: nothing usable was produced.
inline bool RefuseDecode(PakCodecJob& job) {
    job.plainSize = 0;
    return false;
}

// Encode failure: a packed size larger than any block, so the writers store the block plain.
inline bool FailEncode(PakCodecJob& job) {
    job.packedSize = kPakEncodeFailedSize;
    return false;
}

// The output capacity an Encode may use: the caller's capacity, never more than `limit`.
inline uint32_t EncodeCapacity(const PakCodecJob& job, uint32_t limit) {
    return job.packedSize < limit ? job.packedSize : limit;
}
