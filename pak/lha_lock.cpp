#include "pak/lha_lock.h"

namespace lha {

platform::Mutex& CoderMutex() {
    // Built on first use, so coding during another object's static construction is safe.
    static platform::Mutex mutex;
    return mutex;
}

}  // namespace lha
