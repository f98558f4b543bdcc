// paktool's view of a pack rebuild: on a terminal, the percentage rewritten in place on one
// line; anything else (a pipe, a file) gets nothing, so scripted output stays as it was.
#pragma once

#include "pak/rebuild_progress.h"

class TerminalRebuildMeter : public RebuildProgress {
public:
    TerminalRebuildMeter();
    void OnPercent(int percent) override;

private:
    bool terminal_;
};
