#include "engine/delta_patch.h"

#include <memory>
#include <new>

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_d_stableOutBuffer: decode straight into the result
#include <zstd.h>
#include <zstd_errors.h>

namespace {

constexpr int kMinWindowLog = 10;  // ZSTD_WINDOWLOG_MIN

struct CCtxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct DCtxFree {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

// The smallest window that reaches from the end of the new content back to the start of
// the old one, so every part of the old content can be matched.
int WindowLogFor(uint64_t span) {
    int log = kMinWindowLog;
    while (log < kDeltaMaxWindowLog && (uint64_t{1} << log) < span) ++log;
    return log;
}

bool Ok(size_t code) { return !ZSTD_isError(code); }

bool SetUpCompressor(ZSTD_CCtx* cctx, int level, int windowLog) {
    return Ok(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level)) &&
           Ok(ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, windowLog)) &&
           Ok(ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, 1)) &&
           Ok(ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 1)) &&
           Ok(ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1));
}

}  // namespace

bool MakeDeltaPatch(const void* oldBytes, size_t oldSize, const void* newBytes, size_t newSize,
                    std::string* patch, int level) {
    patch->clear();
    if (oldSize >= kDeltaMaxContentSize || newSize >= kDeltaMaxContentSize) return false;
    std::unique_ptr<ZSTD_CCtx, CCtxFree> cctx(ZSTD_createCCtx());
    if (!cctx) return false;
    if (!SetUpCompressor(cctx.get(), level, WindowLogFor(uint64_t{oldSize} + newSize)))
        return false;
    // An empty prefix is no reference at all; zstd takes (nullptr, 0) as "none".
    if (oldSize > 0 && !Ok(ZSTD_CCtx_refPrefix(cctx.get(), oldBytes, oldSize))) return false;
    try {
        patch->resize(ZSTD_compressBound(newSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t written =
        ZSTD_compress2(cctx.get(), &(*patch)[0], patch->size(), newBytes, newSize);
    if (!Ok(written)) {
        patch->clear();
        return false;
    }
    patch->resize(written);
    return true;
}

DeltaApplyResult ApplyDeltaPatch(const void* oldBytes, size_t oldSize, const void* patch,
                                 size_t patchSize, uint64_t resultSize, std::string* result) {
    result->clear();
    if (oldSize >= kDeltaMaxContentSize || resultSize >= kDeltaMaxContentSize)
        return DeltaApplyResult::kTooLarge;
    // The frame must announce exactly the recorded size before anything is decoded.
    ZSTD_frameHeader header;
    const size_t headerResult = ZSTD_getFrameHeader(&header, patch, patchSize);
    // A 32-bit decoder refuses a window above 1 GiB while reading the header: the same
    // refusal as the window check below, whatever the build.
    if (ZSTD_isError(headerResult) && ZSTD_getErrorCode(headerResult) == ZSTD_error_frameParameter_windowTooLarge)
        return DeltaApplyResult::kDamaged;
    if (headerResult != 0 || header.frameType != ZSTD_frame ||
        header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN ||
        header.frameContentSize != resultSize)
        return DeltaApplyResult::kNotAPatch;
    // The decoder skips its own window check when it decodes straight into a large enough
    // buffer; a window beyond old and new content together is no patch of ours either way.
    if (header.windowSize > (uint64_t{1} << kDeltaMaxWindowLog)) return DeltaApplyResult::kDamaged;
    std::unique_ptr<ZSTD_DCtx, DCtxFree> dctx(ZSTD_createDCtx());
    if (!dctx) return DeltaApplyResult::kNoMemory;
    // The output buffer is the whole result and stays put, so the decoder keeps no window
    // of its own: memory is the old content, the result and the decoder's tables.
    if (!Ok(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, kDeltaMaxWindowLog)) ||
        !Ok(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_stableOutBuffer, 1)) ||
        (oldSize > 0 && !Ok(ZSTD_DCtx_refPrefix(dctx.get(), oldBytes, oldSize))))
        return DeltaApplyResult::kNoMemory;
    try {
        result->resize(static_cast<size_t>(resultSize));
    } catch (const std::bad_alloc&) {
        return DeltaApplyResult::kNoMemory;
    }
    // An empty result still needs a valid output pointer for the decoder.
    char none = 0;
    ZSTD_outBuffer out = {resultSize > 0 ? &(*result)[0] : &none, result->size(), 0};
    ZSTD_inBuffer in = {patch, patchSize, 0};
    size_t left = 0;
    size_t before = 0;
    do {  // the decoder may stop between blocks; go on while it makes progress
        before = in.pos + out.pos;
        left = ZSTD_decompressStream(dctx.get(), &out, &in);
    } while (!ZSTD_isError(left) && left != 0 && in.pos + out.pos > before);
    // Complete means: the frame ended (0), every byte of the patch was used (no second frame
    // or trailing bytes) and the result is exactly as long as recorded.
    if (ZSTD_isError(left) || left != 0 || in.pos != in.size || out.pos != resultSize) {
        result->clear();
        return DeltaApplyResult::kDamaged;
    }
    return DeltaApplyResult::kOk;
}
