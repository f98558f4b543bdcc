// Conversion between the program's 8-bit GBK texts and UTF-16 at the system boundary.
#pragma once

#include <cstddef>

// Capacity of the per-thread result buffers: characters for NarrowToWide, bytes for
// WideToNarrow.
constexpr size_t kTextBufferChars = 10240;
// Characters of a result that are mapped to Traditional Chinese.
constexpr size_t kTraditionalChars = 1024;

// Flag values: the program's own texts, and texts that came from the system (paths and
// names read from the machine).
constexpr int kTextOwn = 0;
constexpr int kTextFromSystem = 1;

// Converts `text` to wide characters. Code page 936, or 950 when `systemText` is set and
// the system default language is not Chinese (PRC). Own texts (flag 0) on a system whose
// default language is not Chinese (PRC) are further mapped to Traditional characters (at
// most the first kTraditionalChars of them; the rest of a longer text is kept as it is).
// The result lives in a per-thread buffer of kTextBufferChars (a longer text is cut) and
// stays valid until the next call on the same thread. A null text gives "".
const wchar_t* NarrowToWide(const char* text, int systemText);

// Converts `text` back to 8-bit text with the same code page choice. Per-thread buffer of
// kTextBufferChars bytes (a longer text is cut on a character boundary), valid until the
// next call on the same thread. A null text gives "".
const char* WideToNarrow(const wchar_t* text, int systemText);
