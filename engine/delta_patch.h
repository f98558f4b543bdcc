// Patches of one file's new content against its old content (zstd with the old content as
// a reference prefix): made by the publisher, applied by the updater. A patch from the
// network is hostile: applying it never writes beyond the recorded result size, refuses a
// frame whose window or content size is not what the record promises, and never crashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Old and new contents stay below this size (the largest pack member); a larger file gets no
// patch and is fetched whole.
constexpr uint64_t kDeltaMaxContentSize = 0x4000000;
// The compression level patches are made with: the strongest, since a patch is made once
// and fetched by every player.
constexpr int kDeltaPatchLevel = 19;
// The largest window a patch may ask of the decoder: old and new content together.
constexpr int kDeltaMaxWindowLog = 27;

enum class DeltaApplyResult {
    kOk,
    kTooLarge,     // the old content or the recorded result size exceeds kDeltaMaxContentSize
    kNotAPatch,    // no complete frame header, or a frame with no or another content size
    kDamaged,      // the frame does not decode against the old content (or has trailing bytes)
    kNoMemory,     // the result buffer or the decoder could not be had
};

// Makes in `patch` a patch turning the `oldSize` bytes at `oldBytes` into the `newSize`
// bytes at `newBytes`. False (and `patch` empty) when either content is too large or the
// compressor fails.
bool MakeDeltaPatch(const void* oldBytes, size_t oldSize, const void* newBytes, size_t newSize,
                    std::string* patch, int level = kDeltaPatchLevel);

// Applies the `patchSize` bytes at `patch` to the old content into `result`, which must come
// out exactly `resultSize` bytes long. On any failure `result` is left empty.
DeltaApplyResult ApplyDeltaPatch(const void* oldBytes, size_t oldSize, const void* patch,
                                 size_t patchSize, uint64_t resultSize, std::string* result);
