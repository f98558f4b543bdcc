#include "app/single_instance.h"

SingleInstanceLock::~SingleInstanceLock() {
    if (mutex_ == nullptr) return;
    // Give back every ownership taken, so the next instance obtains the mutex cleanly
    // rather than finding it abandoned.
    for (; ownCount_ > 0; --ownCount_) ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
}

bool SingleInstanceLock::Acquire() {
    // No security attributes; TRUE: ask for initial ownership, granted only when this call
    // creates the mutex.
    mutex_ = ::CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
    if (mutex_ == nullptr) return true;  // no lock to be had: run rather than refuse
    if (::GetLastError() != ERROR_ALREADY_EXISTS) ++ownCount_;
    DWORD wait = ::WaitForSingleObject(mutex_, kSingleInstanceWaitMs);
    if (wait == WAIT_TIMEOUT) return false;
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ++ownCount_;
    return true;
}
