#include "pak/pak_update_task.h"

#include <vector>

#include "pak/pak_format.h"
#include "platform/platform.h"

bool PakUpdateTask::Delete(const char* name) { return AddBuffer(name, kPakDeleteMarker, kPakDeleteMarkerSize); }

bool PakUpdateTask::AddDiskFile(const char* name, const char* path, bool handOver) {
    std::vector<uint8_t> bytes;
    {
        const platform::OwnedFile file(platform::OpenFileForRead(path));
        if (!file.valid()) return false;
        const int64_t size = platform::FileSize(file.get());
        if (size < 0 || size >= static_cast<int64_t>(kPakMaxEntrySize)) return false;
        bytes.resize(static_cast<size_t>(size));
        for (size_t done = 0; done < bytes.size();) {
            const uint32_t got =
                platform::ReadFromFile(file.get(), bytes.data() + done, static_cast<uint32_t>(bytes.size() - done));
            if (got == 0) return false;
            done += got;
        }
    }
    const uint32_t count = static_cast<uint32_t>(bytes.size());
    if (!AddBuffer(name, count != 0 ? bytes.data() : nullptr, count)) return false;
    if (handOver) platform::RemoveFile(path);
    return true;
}

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

bool PakUpdaterTask::AddDiskFile(const char* name, const char* path, bool handOver) {
    return updater_.AddDiskFile(name, path, handOver) == 1;
}

std::unique_ptr<PakUpdateTask> CreatePakUpdateTask(RebuildProgress* progress) {
    return std::make_unique<PakUpdaterTask>(progress);
}
