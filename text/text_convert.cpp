#include "text/text_convert.h"

#include "platform/platform.h"

namespace {

bool SystemIsChineseSimplified() {
    return platform::SystemDefaultLanguage() == platform::kLangChineseSimplified;
}

unsigned CodePageFor(int systemText) {
    if (systemText != kTextOwn && !SystemIsChineseSimplified()) return platform::kCodePageBig5;
    return platform::kCodePageGbk;
}

// Maps the first kTraditionalChars characters of `text` (`length` characters) to
// Traditional Chinese into `out` (kTextBufferChars) and appends the rest unchanged, so a
// long text keeps its tail. Returns nullptr when the mapping is unavailable.
const wchar_t* MapHeadToTraditional(const wchar_t* text, size_t length, wchar_t* out) {
    size_t head = length < kTraditionalChars ? length : kTraditionalChars;
    // Capacity kTextBufferChars - 1 keeps room for the terminator.
    size_t mapped = platform::MapToTraditional(text, head, out, kTextBufferChars - 1);
    if (head > 0 && mapped == 0) return nullptr;
    size_t at = mapped;
    for (size_t i = head; i < length && at < kTextBufferChars - 1; ++i) out[at++] = text[i];
    out[at] = L'\0';
    return out;
}

}  // namespace

const wchar_t* NarrowToWide(const char* text, int systemText) {
    thread_local wchar_t converted[kTextBufferChars];
    // Per thread as well: the worker and the window convert status texts at the same
    // time, and one shared buffer would let one thread's text overwrite the other's.
    thread_local wchar_t traditional[kTextBufferChars];

    size_t n = platform::MultiByteToWide(CodePageFor(systemText), text, converted, kTextBufferChars);
    if (systemText != kTextOwn || SystemIsChineseSimplified()) return converted;

    const wchar_t* mapped = MapHeadToTraditional(converted, n, traditional);
    return mapped != nullptr ? mapped : converted;  // mapping unavailable: keep the text readable
}

const char* WideToNarrow(const wchar_t* text, int systemText) {
    thread_local char converted[kTextBufferChars];
    platform::WideToMultiByte(CodePageFor(systemText), text, converted, kTextBufferChars);
    return converted;
}
