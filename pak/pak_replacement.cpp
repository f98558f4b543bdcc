#include "pak/pak_replacement.h"

#include <cstring>

#include "pak/pak_format.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kMemoryGranule = 4096;  // in-memory copies take whole granules

}  // namespace

bool PakReplacement::OpenFile(const char* path) {
    if (path == nullptr) return false;
    file_ = std::make_unique<PakFile>();
    SetPakOpenMode(kPakOpenPacksFirst);
    const bool opened = file_->Open(path) == 1;
    SetPakOpenMode(kPakOpenDiskFirst);
    if (!opened) file_.reset();
    return opened;
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
    if (!file_) return false;
    uint32_t done = 0;
    while (done < count) {
        uint32_t got = file_->Read(static_cast<uint8_t*>(buffer) + done, count - done);
        if (got == 0) return false;
        done += got;
    }
    return true;
}

uint32_t PakReplacement::Size() {
    if (inMemory_) return memorySize_;
    return file_ ? file_->GetSize() : 0;
}

void PakReplacement::Rewind() {
    if (inMemory_) {
        memoryPosition_ = 0;
    } else if (file_) {
        file_->Seek(0, kPakSeekBegin);
    }
}

void PakReplacement::Close() {
    if (file_) file_->Close();
    file_.reset();
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
