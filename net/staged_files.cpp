#include "net/staged_files.h"

#include <mutex>

namespace {

std::mutex g_lock;
std::shared_ptr<StagedFileRecorder> g_recorder;

}  // namespace

void SetStagedFileRecorder(std::shared_ptr<StagedFileRecorder> recorder) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_recorder = std::move(recorder);
}

std::shared_ptr<StagedFileRecorder> CurrentStagedFileRecorder() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_recorder;
}
