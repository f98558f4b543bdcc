#include "net/transfer.h"

#include "platform/platform.h"

namespace {

platform::Mutex& RegistryLock() {
    static platform::Mutex lock;
    return lock;
}

Transfer* g_currentTransfer = nullptr;

}  // namespace

void SetCurrentTransfer(Transfer* transfer) {
    platform::MutexLock hold(RegistryLock());
    g_currentTransfer = transfer;
}

void ClearCurrentTransfer(Transfer* transfer) {
    platform::MutexLock hold(RegistryLock());
    if (g_currentTransfer == transfer) g_currentTransfer = nullptr;
}

void InterruptCurrentTransfer() {
    platform::MutexLock hold(RegistryLock());
    if (g_currentTransfer != nullptr) g_currentTransfer->Interrupt();
}
