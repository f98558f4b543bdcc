// The system underneath the program.
#pragma once

namespace platform {

// Whether the program runs under Wine (its ntdll exports wine_get_version); false on POSIX.
bool RunningUnderWine();

}  // namespace platform
