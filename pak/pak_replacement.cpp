#include "pak/pak_replacement.h"

#include <cstring>

#include "pak/pak_format.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kMemoryGranule = 4096;  // in-memory copies take whole granules

}  // namespace

bool PakReplacement::OpenFile(const char* path) { return QueueFile(FileKind::kPakFile, path); }

bool PakReplacement::OpenDiskFile(const char* path) { return QueueFile(FileKind::kDiskFile, path); }

bool PakReplacement::QueueFile(FileKind kind, const char* path) {
    if (path == nullptr) return false;
    fileKind_ = kind;
    filePath_ = path;
    const int64_t size = OpenSource();
    file_.reset();
    disk_.reset();
    if (size < 0 || size > UINT32_MAX) {
        fileKind_ = FileKind::kNone;
        return false;
    }
    fileSize_ = static_cast<uint32_t>(size);
    return true;
}

int64_t PakReplacement::OpenSource() {
    if (fileKind_ == FileKind::kPakFile) {
        file_ = std::make_unique<PakFile>();
        SetPakOpenMode(kPakOpenPacksFirst);
        const bool opened = file_->Open(filePath_.c_str()) == 1;
        SetPakOpenMode(kPakOpenDiskFirst);
        if (!opened) file_.reset();
        return opened ? static_cast<int64_t>(file_->GetSize()) : -1;
    }
    if (fileKind_ == FileKind::kDiskFile) {
        disk_ = std::make_unique<platform::OwnedFile>(platform::OpenFileForRead(filePath_.c_str()));
        if (!disk_->valid()) disk_.reset();
        return disk_ ? platform::FileSize(disk_->get()) : -1;
    }
    return -1;
}

bool PakReplacement::CopyBuffer(const void* data, uint32_t size) {
    inMemory_ = true;
    memorySize_ = size;
    memoryPosition_ = 0;
    const uint32_t granules = size / kMemoryGranule + 1;
    if (static_cast<uint64_t>(granules) * kMemoryGranule > UINT32_MAX) return false;
    if (memory_.Resize(granules * kMemoryGranule) == nullptr) return false;
    if (size != 0) std::memcpy(memory_.Data(), data, size);
    return true;
}

bool PakReplacement::ReadExactly(void* buffer, uint32_t count) {
    if (count == 0) return true;
    if (inMemory_) {
        if (count > memorySize_ - memoryPosition_) return false;
        std::memcpy(buffer, memory_.Data() + memoryPosition_, count);
        memoryPosition_ += count;
        return true;
    }
    if (fileKind_ == FileKind::kNone) return false;
    // The first read opens the file again: it must still be what was queued.
    if (!file_ && !disk_ && OpenSource() != static_cast<int64_t>(fileSize_)) {
        file_.reset();
        disk_.reset();
        return false;
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const uint32_t got = file_ ? file_->Read(out + done, count - done)
                                   : platform::ReadFromFile(disk_->get(), out + done, count - done);
        if (got == 0) return false;
        done += got;
    }
    return true;
}

uint32_t PakReplacement::Size() {
    if (inMemory_) return memorySize_;
    return fileKind_ != FileKind::kNone ? fileSize_ : 0;
}

void PakReplacement::Rewind() {
    if (inMemory_) {
        memoryPosition_ = 0;
        return;
    }
    // The next read opens the file again at its start.
    file_.reset();
    disk_.reset();
}

void PakReplacement::Close() {
    file_.reset();
    disk_.reset();
    fileKind_ = FileKind::kNone;
    memory_.Free();
    memorySize_ = 0;
    memoryPosition_ = 0;
}

bool PakReplacement::IsDeleteMarker() {
    if (Size() != kPakDeleteMarkerSize) return false;
    char content[kPakDeleteMarkerSize];
    const bool read = ReadExactly(content, kPakDeleteMarkerSize);
    Rewind();
    return read && std::memcmp(content, kPakDeleteMarker, kPakDeleteMarkerSize) == 0;
}

void PakReplacement::Discard() {
    Close();
    if (sourcePath.empty()) return;
    platform::SetFileAttributesNormal(sourcePath.c_str());
    platform::RemoveFile(sourcePath.c_str());
}
