#include "pak/pak_buffer.h"

#include "pak/pak_mem.h"

PakBuffer::~PakBuffer() { Free(); }

uint8_t* PakBuffer::Resize(uint32_t size) {
    if (size == size_ && data_ != nullptr) return data_;
    Free();
    if (size == 0) return nullptr;
    data_ = static_cast<uint8_t*>(g_MemAlloc(size));
    if (data_ != nullptr) size_ = size;
    return data_;
}

void PakBuffer::Free() {
    g_MemFree(data_);
    data_ = nullptr;
    size_ = 0;
}
