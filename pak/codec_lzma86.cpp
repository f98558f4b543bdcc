#include "pak/codec_lzma86.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <lzma.h>

// LZMA_FILTER_LZMA1EXT (raw LZMA1 without end marker and with a known length) came with
// liblzma 5.4.
static_assert(LZMA_VERSION >= 50040002u, "liblzma 5.4 or later is needed");

namespace {

constexpr size_t kFilterChainMax = 3;  // optional x86 filter, LZMA1, terminator

// Preset options for the packs' encoder.
bool EncoderOptions(lzma_options_lzma& opt) {
    if (lzma_lzma_preset(&opt, kLzma86Preset)) return false;  // true means: unknown preset
    opt.dict_size = kLzma86DictSize;
    opt.ext_flags = 0;  // no end marker: the header carries the length
    opt.ext_size_low = 0;
    opt.ext_size_high = 0;
    return true;
}

// Builds {[x86,] LZMA1EXT, end} over `opt`.
void BuildChain(lzma_filter (&chain)[kFilterChainMax], bool x86, lzma_options_lzma* opt) {
    size_t n = 0;
    if (x86) chain[n++] = lzma_filter{LZMA_FILTER_X86, nullptr /* start offset 0 */};
    chain[n++] = lzma_filter{LZMA_FILTER_LZMA1EXT, opt};
    chain[n] = lzma_filter{LZMA_VLI_UNKNOWN, nullptr};
}

// Raw LZMA1 coding of `plain` into `out` (at most `capacity` bytes). Returns the length
// written, or 0 when the stream does not fit or the coder fails.
size_t EncodeRaw(const uint8_t* plain, uint32_t plainSize, bool x86, lzma_options_lzma& opt,
                 uint8_t* out, size_t capacity) {
    lzma_filter chain[kFilterChainMax];
    BuildChain(chain, x86, &opt);
    size_t outPos = 0;
    const lzma_ret rc = lzma_raw_buffer_encode(chain, nullptr /* malloc/free */, plain, plainSize,
                                               out, &outPos, capacity);
    return rc == LZMA_OK ? outPos : 0;
}

void PutLength(uint8_t* at, uint64_t length) {
    for (uint32_t i = 0; i < kLzma86LengthSize; ++i) at[i] = static_cast<uint8_t>(length >> (8 * i));
}

uint64_t GetLength(const uint8_t* at) {
    uint64_t length = 0;
    for (uint32_t i = kLzma86LengthSize; i-- > 0;) length = (length << 8) | at[i];
    return length;
}

// The header's LZMA properties, validated by liblzma.
bool DecodeProperties(const uint8_t* props, lzma_options_lzma& opt) {
    lzma_filter filter{LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr /* malloc/free */, props, kLzma86PropsSize) != LZMA_OK)
        return false;
    // liblzma allocated the options with malloc().
    std::unique_ptr<void, void (*)(void*)> owned(filter.options, std::free);
    std::memcpy(&opt, filter.options, sizeof opt);
    return true;
}

}  // namespace

uint32_t Lzma86Encode(const uint8_t* plain, uint32_t plainSize, uint8_t* out, uint32_t capacity,
                      Lzma86Filter filter) {
    if (capacity <= kLzma86HeaderSize) return 0;
    lzma_options_lzma opt{};
    if (!EncoderOptions(opt)) return 0;
    lzma_filter propsFilter{LZMA_FILTER_LZMA1, &opt};
    if (lzma_properties_encode(&propsFilter, out + kLzma86PropsOffset) != LZMA_OK) return 0;

    uint8_t* body = out + kLzma86HeaderSize;
    const size_t bodyCapacity = capacity - kLzma86HeaderSize;
    size_t bodySize = 0;
    uint8_t flag = kLzma86FilterNone;
    if (filter != Lzma86Filter::X86) bodySize = EncodeRaw(plain, plainSize, false, opt, body, bodyCapacity);
    if (filter != Lzma86Filter::None) {
        // The filtered coding must be strictly smaller than the unfiltered one to win.
        const size_t limit = bodySize != 0 ? bodySize - 1 : bodyCapacity;
        std::vector<uint8_t> filtered(limit);
        const size_t size = EncodeRaw(plain, plainSize, true, opt, filtered.data(), limit);
        if (size != 0) {
            std::memcpy(body, filtered.data(), size);
            bodySize = size;
            flag = kLzma86FilterX86;
        }
    }
    if (bodySize == 0) return 0;
    out[kLzma86FilterOffset] = flag;
    PutLength(out + kLzma86LengthOffset, plainSize);
    return static_cast<uint32_t>(kLzma86HeaderSize + bodySize);
}

bool Lzma86Decode(const uint8_t* packed, uint32_t packedSize, uint8_t* plain, uint32_t capacity,
                  uint32_t& produced) {
    produced = 0;
    if (packedSize < kLzma86HeaderSize) return false;
    const uint8_t flag = packed[kLzma86FilterOffset];
    if (flag != kLzma86FilterNone && flag != kLzma86FilterX86) return false;
    const uint64_t length = GetLength(packed + kLzma86LengthOffset);
    if (length > capacity) return false;

    lzma_options_lzma opt{};
    if (!DecodeProperties(packed + kLzma86PropsOffset, opt)) return false;
    // Matches never reach back beyond the block's start, so a dictionary larger than the
    // block is never needed; this keeps a hostile header from asking for gigabytes.
    if (opt.dict_size > length) opt.dict_size = length < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : static_cast<uint32_t>(length);
    // The length is known, so no end marker is needed; one right after the last byte is
    // tolerated (other LZMA1 writers may add it), anywhere else it is damage.
    opt.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(opt, length);

    lzma_filter chain[kFilterChainMax];
    BuildChain(chain, flag == kLzma86FilterX86, &opt);
    const size_t bodySize = packedSize - kLzma86HeaderSize;
    size_t inPos = 0;
    size_t outPos = 0;
    const lzma_ret rc = lzma_raw_buffer_decode(chain, nullptr /* malloc/free */, packed + kLzma86HeaderSize,
                                               &inPos, bodySize, plain, &outPos, static_cast<size_t>(length));
    if (rc != LZMA_OK || outPos != length || inPos != bodySize) return false;
    produced = static_cast<uint32_t>(length);
    return true;
}
