#include "text/message_box.h"

#include <atomic>
#include <string>

#include "platform/platform.h"
#include "text/text_convert.h"

namespace {

std::atomic<MessageBoxHook> g_messageBoxHook{nullptr};

}  // namespace

int MessageBoxNarrow(const char* text, const char* caption, unsigned flags) {
    if (MessageBoxHook hook = g_messageBoxHook.load()) return hook(text, caption, flags);
    // The text is copied out before the caption's conversion reuses the per-thread buffer.
    const std::wstring wideText = NarrowToWide(text, kTextOwn);
    if (caption == nullptr) return platform::MessageBoxWide(wideText.c_str(), nullptr /* system caption */, flags);
    return platform::MessageBoxWide(wideText.c_str(), NarrowToWide(caption, kTextOwn), flags);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return g_messageBoxHook.exchange(hook); }

void DebugOutput(const char* text) {
    if (text != nullptr) platform::DebugOutputWide(NarrowToWide(text, kTextOwn));
}
