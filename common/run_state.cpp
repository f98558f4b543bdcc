#include "common/run_state.h"

std::atomic<int32_t> StopFlag{0};
std::atomic<uint32_t> FailedFileCount{0};
std::atomic<int32_t> InterruptNotice{0};
