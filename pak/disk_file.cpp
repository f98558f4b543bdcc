#include "pak/disk_file.h"

#include <string>

#include "pak/pak_paths.h"

DiskFile::~DiskFile() { Close(); }

bool DiskFile::OpenRead(const char* name) {
    Close();
    std::string path;
    if (!MakePakDiskPath(name, path)) return false;
    handle_ = platform::OpenFileForRead(path.c_str());
    return IsOpen();
}

bool DiskFile::OpenWrite(const char* name) {
    Close();
    std::string path;
    if (!MakePakDiskPath(name, path)) return false;
    handle_ = platform::OpenFileForWrite(path.c_str());  // resets attributes to normal first
    return IsOpen();
}

void DiskFile::Close() {
    if (IsOpen()) platform::CloseFile(handle_);
    handle_ = platform::kInvalidFile;
    size_ = 0;
    sizeKnown_ = false;
    position_ = 0;
}

uint32_t DiskFile::Read(void* buffer, uint32_t count) {
    if (!IsOpen() || count == 0) return 0;
    uint32_t got = platform::ReadFromFile(handle_, buffer, count);
    position_ += got;
    return got;
}

uint32_t DiskFile::Write(const void* buffer, uint32_t count) {
    if (!IsOpen() || count == 0) return 0;
    uint32_t put = platform::WriteToFile(handle_, buffer, count);
    position_ += put;
    return put;
}

int64_t DiskFile::Seek(int64_t offset, platform::SeekOrigin origin) {
    if (!IsOpen()) return -1;
    int64_t result = platform::SeekFile(handle_, offset, origin);
    if (result >= 0) position_ = result;
    return result;
}

int64_t DiskFile::Tell() const { return IsOpen() ? position_ : -1; }

uint64_t DiskFile::Size() {
    if (!IsOpen()) return 0;
    if (!sizeKnown_) {
        int64_t size = platform::FileSize(handle_);
        size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
        sizeKnown_ = true;
    }
    return size_;
}

bool DiskFile::Flush() { return IsOpen() && platform::FlushFile(handle_); }
