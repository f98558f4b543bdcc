// The pack update task: the interface the update driver and the edition switch use to add
// files to a pack and rebuild it. Each operation is true exactly when the PakUpdater
// operation of the same name returned 1.
#pragma once

#include <cstdint>
#include <memory>

#include "pak/pak_updater.h"

class PakUpdateTask {
public:
    virtual bool OpenOrCreate(const char* path, int create) = 0;
    virtual bool AddFile(const char* name, const char* path) = 0;
    virtual bool AddBuffer(const char* name, const void* data, uint32_t size) = 0;
    // The argument is ignored (callers pass their progress object or nullptr).
    virtual bool Rebuild(void* unused) = 0;
    // Queues the removal of the entry `name`, so callers never write the delete marker
    // themselves. This default queues the marker content, which every task understands.
    virtual bool Delete(const char* name);
    // Queues the disk file at `path` as the new content of `name`, its content not held in
    // memory until the rebuild. `handOver`: the file is the task's to delete (as AddFile's);
    // otherwise it stays where it is whatever becomes of the rebuild. This default reads it
    // whole and queues the bytes (a handed-over file is then deleted at once).
    virtual bool AddDiskFile(const char* name, const char* path, bool handOver);
    virtual ~PakUpdateTask() = default;
};

// The task over one PakUpdater it owns; destroying it resets the updater, deleting the
// source files of replacements still queued.
class PakUpdaterTask : public PakUpdateTask {
public:
    // `progress` (may be null) hears how far each rebuild is.
    explicit PakUpdaterTask(RebuildProgress* progress = nullptr) { updater_.SetRebuildProgress(progress); }
    bool OpenOrCreate(const char* path, int create) override;
    bool AddFile(const char* name, const char* path) override;
    bool AddBuffer(const char* name, const void* data, uint32_t size) override;
    bool Rebuild(void* unused) override;
    bool Delete(const char* name) override;
    bool AddDiskFile(const char* name, const char* path, bool handOver) override;

private:
    PakUpdater updater_;
};

std::unique_ptr<PakUpdateTask> CreatePakUpdateTask(RebuildProgress* progress = nullptr);
