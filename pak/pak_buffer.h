// An owned byte buffer of the pack library.
#pragma once

#include <cstdint>

class PakBuffer {
public:
    PakBuffer() = default;
    ~PakBuffer();
    PakBuffer(const PakBuffer&) = delete;
    PakBuffer& operator=(const PakBuffer&) = delete;

    // Keeps the buffer and its contents when `size` is its current size; otherwise frees
    // it and allocates `size` bytes (contents undefined). Resizing to 0 leaves no buffer.
    // Returns the buffer, or nullptr when there is none.
    uint8_t* Resize(uint32_t size);
    void Free();

    uint8_t* Data() const { return data_; }
    uint32_t Size() const { return size_; }

private:
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
};
