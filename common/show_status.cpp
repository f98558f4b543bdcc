#include "common/show_status.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr size_t kCopyExtra = 3;  // CR, LF, NUL

std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}

std::FILE* g_log = nullptr;
std::atomic<StatusReceiver> g_receiver{nullptr};

void WriteLogLine(const char* text) {
    std::lock_guard<std::mutex> hold(LogLock());
    if (g_log == nullptr) return;
    // Binary stream with explicit CR LF, so the file looks the same on every platform.
    std::fputs(text, g_log);
    std::fputs(kLineEnd, g_log);
    std::fflush(g_log);
}

}  // namespace

void OpenDebugLog(const char* path) {
    std::lock_guard<std::mutex> hold(LogLock());
    if (g_log != nullptr) std::fclose(g_log);
    g_log = std::fopen(path, "wb");
}

void CloseDebugLog() {
    std::lock_guard<std::mutex> hold(LogLock());
    if (g_log != nullptr) std::fclose(g_log);
    g_log = nullptr;
}

StatusReceiver SetStatusReceiver(StatusReceiver receiver) { return g_receiver.exchange(receiver); }

void ShowStatus(const char* text) {
    if (text == nullptr) return;
    size_t length = std::strlen(text);
    if (length > kStatusMaxLength) return;

    WriteLogLine(text);

    char* copy = new (std::nothrow) char[length + kCopyExtra];
    if (copy == nullptr) return;
    std::memcpy(copy, text, length);
    std::memcpy(copy + length, kLineEnd, sizeof(kLineEnd));
    StatusReceiver receiver = g_receiver.load();
    if (receiver == nullptr || !receiver(copy, length + 2)) FreeStatusCopy(copy);
}

void FreeStatusCopy(char* copy) { delete[] copy; }
