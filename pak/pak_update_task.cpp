#include "pak/pak_update_task.h"

#include "pak/pak_format.h"

bool PakUpdateTask::Delete(const char* name) { return AddBuffer(name, kPakDeleteMarker, kPakDeleteMarkerSize); }

bool PakUpdaterTask::OpenOrCreate(const char* path, int create) {
    return updater_.OpenOrCreate(path, create) == 1;
}

bool PakUpdaterTask::AddFile(const char* name, const char* path) {
    return updater_.AddFile(name, path) == 1;
}

bool PakUpdaterTask::AddBuffer(const char* name, const void* data, uint32_t size) {
    return updater_.AddBuffer(name, data, size) == 1;
}

bool PakUpdaterTask::Rebuild(void* /*unused*/) { return updater_.Rebuild() == 1; }

bool PakUpdaterTask::Delete(const char* name) { return updater_.Delete(name) == 1; }

std::unique_ptr<PakUpdateTask> CreatePakUpdateTask(RebuildProgress* progress) {
    return std::make_unique<PakUpdaterTask>(progress);
}
