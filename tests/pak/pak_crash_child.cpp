// Helper program of the rebuild crash test: replaces member NAME of PACK with SOURCE and
// rebuilds, but ends the process abruptly (no clean-up, exit code 3) just before its Nth
// file write, flush or replace. Exit 0 when the rebuild finished before reaching N.
// Usage: pak_crash_child PACK NAME SOURCE N
#include <cstdio>
#include <cstdlib>

#include <unistd.h>  // _exit: ends the process without any clean-up (host-only program)

#include "pak/pak_paths.h"
#include "pak/pak_updater.h"
#include "platform/platform.h"

namespace {

constexpr int kExitCrashed = 3;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
long g_opsBeforeCrash = 0;

bool CrashAtNthOperation(platform::FileOp, const char*) {
    if (--g_opsBeforeCrash <= 0) _exit(kExitCrashed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PACK NAME SOURCE N\n", argv[0]);
        return kExitUsage;
    }
    g_opsBeforeCrash = std::strtol(argv[4], nullptr, 10);
    SetRootPath(".");
    SetWorkPath("\\");
    PakUpdater updater;
    if (updater.OpenOrCreate(argv[1], 0) != 1 || updater.AddFile(argv[2], argv[3]) != 1) return kExitFailed;
    platform::SetFileFaultHook(CrashAtNthOperation);
    return updater.Rebuild() == 1 ? 0 : kExitFailed;
}
