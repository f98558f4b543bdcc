// Where the worker side's window notifications go. update.exe posts them to its main
// window (PostMessage); paktool prints or drops them; tests record them. Posting never
// waits for the receiver.
#pragma once

#include <cstdint>

class Notifier {
public:
    virtual ~Notifier() = default;
    // One notification (UM_* number) with its two parameters.
    virtual void Post(uint32_t message, uint32_t wParam, uint32_t lParam) = 0;
    // UM_RESTART: `nextProgram` names the program that should run next ("newuper.exe"),
    // or is null for the running program itself.
    virtual void PostRestart(const char* nextProgram) = 0;
};
