// Message boxes and debugger output for the program's own GBK texts. They convert with
// NarrowToWide(…, kTextOwn), so the texts read right on every system language (Traditional
// characters where the system is not Chinese (PRC)), and hand the result to the wide calls of
// the platform layer. Flags and answers are platform's kMb* / kId* values.
#pragma once

// Shows a message box with no owner window. Text and caption are GBK; a null caption gives
// the system's own. On POSIX the box is a line on stderr and the answer kIdOk / kIdNo.
int MessageBoxNarrow(const char* text, const char* caption, unsigned flags);

// Unit tests of portable code replace the box with a recorder that sees the GBK texts
// unconverted; nullptr restores the real box. Returns the previous hook. Never used by the
// product itself.
using MessageBoxHook = int (*)(const char* text, const char* caption, unsigned flags);
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Writes a GBK text to the debugger (on POSIX to stderr, only when KVO_DEBUG_OUTPUT is set).
// A null text writes nothing.
void DebugOutput(const char* text);
