#include "tools/paktool/rebuild_meter.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define PAKTOOL_ISATTY _isatty
#define PAKTOOL_FILENO _fileno
#else
#include <unistd.h>
#define PAKTOOL_ISATTY isatty
#define PAKTOOL_FILENO fileno
#endif

namespace {

constexpr const char* kMeterFormat = "\rrebuilding %3d%%";
constexpr const char* kMeterEnd = "\n";

}  // namespace

TerminalRebuildMeter::TerminalRebuildMeter() : terminal_(PAKTOOL_ISATTY(PAKTOOL_FILENO(stdout)) != 0) {}

void TerminalRebuildMeter::OnPercent(int percent) {
    if (!terminal_) return;
    std::printf(kMeterFormat, percent);
    if (percent >= kRebuildPercentDone) std::fputs(kMeterEnd, stdout);
    std::fflush(stdout);
}
