// The lock over the method 1 coder's process-wide work areas.
#pragma once

#include "platform/platform.h"

namespace lha {

// Held for the whole of one Encode or Decode.
platform::Mutex& CoderMutex();

}  // namespace lha
