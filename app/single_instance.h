// The single-instance lock shared by the launcher and the updater (Windows only).
#pragma once

#include <windows.h>

constexpr const wchar_t* kSingleInstanceMutexName = L"{EC90BCA0-AC33-4364-946E-CB7CD75DE212}";
constexpr DWORD kSingleInstanceWaitMs = 5000;

class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Creates the named mutex and waits up to kSingleInstanceWaitMs for it. False when
    // another process kept it that long. A mutex left by a process that died counts as
    // obtained.
    bool Acquire();

private:
    HANDLE mutex_ = nullptr;
    int ownCount_ = 0;  // times this process holds the mutex
};
