#include "net/local_file.h"

#include <limits>

platform::FileHandle CreateLocalFile(const char* path) {
    if (path == nullptr || *path == '\0') return platform::kInvalidFile;
    // A directory that cannot be made is not an error here: the file creation decides.
    platform::CreateParentDirectories(path);
    return platform::OpenFileForWrite(path);
}

bool ReadWholeLocalFile(const char* path, uint64_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    ScopedFile file(platform::OpenFileForRead(path));
    if (!file.valid()) return false;
    const int64_t size = platform::FileSize(file.get());
    if (size < 0 || static_cast<uint64_t>(size) > maxBytes ||
        static_cast<uint64_t>(size) > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    out.resize(static_cast<size_t>(size));
    if (size == 0) return true;
    return platform::ReadFromFile(file.get(), out.data(), static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
}

bool WriteWholeLocalFile(const char* path, const void* data, size_t size) {
    bool ok;
    {
        ScopedFile file(CreateLocalFile(path));
        if (!file.valid()) return false;
        ok = size > std::numeric_limits<uint32_t>::max()
                 ? false
                 : platform::WriteToFile(file.get(), data, static_cast<uint32_t>(size)) == size;
    }
    if (!ok) platform::RemoveFile(path);
    return ok;
}
