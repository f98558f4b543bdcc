// One file on disk, opened by a name that follows the pack library's disk path rules.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class DiskFile {
public:
    DiskFile() = default;
    ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    // Both opens close a previously open file first and build the disk path from `name`.
    bool OpenRead(const char* name);
    // Resets the file's attributes to normal, then creates or truncates it.
    bool OpenWrite(const char* name);
    void Close();
    bool IsOpen() const { return handle_ != platform::kInvalidFile; }

    // Bytes transferred (0 when closed).
    uint32_t Read(void* buffer, uint32_t count);
    uint32_t Write(const void* buffer, uint32_t count);
    // Moves to `offset` from `origin`; returns the new position, or -1 on failure.
    int64_t Seek(int64_t offset, platform::SeekOrigin origin);
    // The position, or -1 when closed.
    int64_t Tell() const;
    // The file size, asked once and cached (0 when closed or unknown).
    uint64_t Size();
    bool Flush();

private:
    platform::FileHandle handle_ = platform::kInvalidFile;
    uint64_t size_ = 0;
    bool sizeKnown_ = false;
    int64_t position_ = 0;
};
