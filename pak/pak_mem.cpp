#include "pak/pak_mem.h"

#include <cstdlib>

#include "pak/pak_log.h"

void* g_MemAlloc(uint32_t size) {
    void* memory = size != 0 ? std::malloc(size) : nullptr;
    if (memory == nullptr) PakError("g_MemAlloc() Failed, Size = %d", static_cast<int>(size));
    return memory;
}

void g_MemFree(void* memory) { std::free(memory); }
