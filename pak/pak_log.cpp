#include "pak/pak_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "text/message_box.h"

namespace {

std::atomic<PakLogReceiver> g_receiver{nullptr};

constexpr size_t kErrorTextSize = 256;

void Deliver(const char* text) {
    if (PakLogReceiver receiver = g_receiver.load()) receiver(text);
}

}  // namespace

PakLogReceiver SetPakLogReceiver(PakLogReceiver receiver) { return g_receiver.exchange(receiver); }

void PakLog(const char* format, ...) {
    char text[kPakLogTextMax + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Deliver(text);
}

void PakError(const char* format, ...) {
    char text[kErrorTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    PakLog("%s", text);
    MessageBoxNarrow(text, nullptr /* no caption */, platform::kMbOk);
}
