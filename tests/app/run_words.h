// Sets the process-wide run words for a test and puts them back to their start values after.
#pragma once

#include <cstdint>

#include "common/run_state.h"

class RunWords {
public:
    RunWords(int32_t stopFlag = 0, uint32_t failedFiles = 0, int32_t interruptNotice = 0) {
        StopFlag.store(stopFlag);
        FailedFileCount.store(failedFiles);
        InterruptNotice.store(interruptNotice);
    }
    ~RunWords() {
        StopFlag.store(0);
        FailedFileCount.store(0);
        InterruptNotice.store(0);
    }
    RunWords(const RunWords&) = delete;
    RunWords& operator=(const RunWords&) = delete;
};
