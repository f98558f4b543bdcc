#include "text/text_convert.h"

#include "platform/platform.h"

namespace {

unsigned CodePageFor(int systemText) {
    if (systemText != 0 && platform::SystemDefaultLanguage() != platform::kLangChineseSimplified)
        return platform::kCodePageBig5;
    return platform::kCodePageGbk;
}

}  // namespace

const wchar_t* NarrowToWide(const char* text, int systemText) {
    thread_local wchar_t converted[kTextBufferChars];
    // Per thread as well: the worker and the window convert status texts at the same
    // time, and one shared buffer would let one thread's text overwrite the other's.
    thread_local wchar_t traditional[kTraditionalChars + 1];

    size_t n = platform::MultiByteToWide(CodePageFor(systemText), text, converted, kTextBufferChars);
    if (systemText != 0 || platform::SystemDefaultLanguage() == platform::kLangChineseSimplified)
        return converted;

    size_t count = n < kTraditionalChars ? n : kTraditionalChars;
    size_t mapped = platform::MapToTraditional(converted, count, traditional, kTraditionalChars);
    if (count > 0 && mapped == 0) return converted;  // mapping unavailable: keep the text readable
    traditional[mapped] = L'\0';
    return traditional;
}

const char* WideToNarrow(const wchar_t* text, int systemText) {
    thread_local char converted[kTextBufferChars];
    platform::WideToMultiByte(CodePageFor(systemText), text, converted, kTextBufferChars);
    return converted;
}
