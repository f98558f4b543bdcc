// One queued replacement of the rebuild: where its new content comes from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pak/pak_buffer.h"
#include "pak/pak_file.h"

struct PakReplacement {
    // Opens `path` as a PakFile (packs first, then the disk); the open mode returns to 0.
    bool OpenFile(const char* path);
    // Takes a copy of `size` bytes at `data` (none for size 0).
    bool CopyBuffer(const void* data, uint32_t size);

    // Reads exactly `count` bytes; false when fewer arrived.
    bool ReadExactly(void* buffer, uint32_t count);
    uint32_t Size();
    void Rewind();
    void Close();
    // True when the content is exactly the 8 bytes of the delete marker (rewinds after).
    bool IsDeleteMarker();
    // Closes the source and deletes its source file (if it came from disk).
    void Discard();

    uint32_t id = 0;  // any value, 0 included: a real name can have the id 0
    // Set when the record removes its entry instead of storing content (queued as a
    // deletion, or its content turned out to be the delete marker); it writes no entry.
    bool deletion = false;
    std::string sourcePath;

private:
    std::unique_ptr<PakFile> file_;
    PakBuffer memory_;
    uint32_t memorySize_ = 0;
    uint32_t memoryPosition_ = 0;
    bool inMemory_ = false;
};
