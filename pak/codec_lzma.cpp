#include "pak/codec_lzma.h"

#include "pak/codec_lzma86.h"
#include "pak/codec_result.h"
#include "text/message_box.h"

namespace {
constexpr char kLzmaDecodeFailureText[] = "lzma decode failure\r\n";
}  // namespace

bool PakLzmaCodec::Encode(PakCodecJob& job) {
    const uint32_t size = Lzma86Encode(job.plain, job.plainSize, job.packed,
                                       EncodeCapacity(job, kPakBlockSize), Lzma86Filter::Auto);
    if (size == 0) return FailEncode(job);
    job.packedSize = size;
    return true;
}

bool PakLzmaCodec::Decode(PakCodecJob& job) {
    uint32_t produced = 0;
    if (!Lzma86Decode(job.packed, job.packedSize, job.plain, job.plainSize, produced)) {
        DebugOutput(kLzmaDecodeFailureText);
        return RefuseDecode(job);
    }
    job.plainSize = produced;
    return true;
}
