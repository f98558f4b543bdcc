// Heap blocks of the pack library.
#pragma once

#include <cstdint>

// Memory of `size` bytes, or nullptr (reported through PakError with the size).
void* g_MemAlloc(uint32_t size);
void g_MemFree(void* memory);
