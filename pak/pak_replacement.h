// One queued replacement of the rebuild: where its new content comes from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pak/pak_buffer.h"
#include "pak/pak_file.h"
#include "platform/platform.h"

struct PakReplacement {
    // A file source is checked when it is queued (it opens; its size is noted) and opened
    // again only when its bytes are read, so a queue of many files holds no handle and a
    // queued file can still be removed by its owner.
    // `path` as a PakFile (packs first, then the disk); the open mode returns to 0.
    bool OpenFile(const char* path);
    // The disk file at `path` exactly as given: no pack lookup, no pack path rules.
    bool OpenDiskFile(const char* path);
    // Takes a copy of `size` bytes at `data` (none for size 0).
    bool CopyBuffer(const void* data, uint32_t size);

    // Reads exactly `count` bytes; false when fewer arrived (or a file no longer has the
    // size it had when it was queued).
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
    enum class FileKind { kNone, kPakFile, kDiskFile };
    // Opens the file source at its start; the file's size, or -1 when it cannot be opened.
    int64_t OpenSource();
    // Notes the file source of `kind` at `path` when it opens; it is closed again.
    bool QueueFile(FileKind kind, const char* path);

    FileKind fileKind_ = FileKind::kNone;
    std::string filePath_;
    uint32_t fileSize_ = 0;
    std::unique_ptr<PakFile> file_;  // a PakFile source, open only while it is read
    std::unique_ptr<platform::OwnedFile> disk_;  // a disk file source, likewise
    PakBuffer memory_;
    uint32_t memorySize_ = 0;
    uint32_t memoryPosition_ = 0;
    bool inMemory_ = false;
};
