// The pack library's log lines and hard errors.
#pragma once

// Receives every PakLog line. Nothing in the product sets one, so log lines go nowhere by
// default; tests and tools may install one. Returns the previous receiver.
using PakLogReceiver = void (*)(const char* text);
PakLogReceiver SetPakLogReceiver(PakLogReceiver receiver);

constexpr int kPakLogTextMax = 255;  // characters of one formatted line

// Formats one log line (cut at kPakLogTextMax characters) and hands it to the receiver.
void PakLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Formats the text, logs it, then shows it in a message box without owner or caption (MB_OK).
void PakError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
