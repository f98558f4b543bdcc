#include "pak/pak_entry_table.h"

#include "pak/pak_format.h"

bool PakEntryTable::Begin(DiskFile& out, int64_t start, uint32_t blocks) {
    start_ = start;
    values_.assign(static_cast<size_t>(blocks) * kPakBlockTableValueSize, 0);
    const uint32_t size = static_cast<uint32_t>(values_.size());
    return size == 0 || out.Write(values_.data(), size) == size;
}

void PakEntryTable::Set(uint32_t block, uint16_t value) {
    PakStore16(values_.data() + static_cast<size_t>(block) * kPakBlockTableValueSize, value);
}

bool PakEntryTable::WriteBack(DiskFile& out) const {
    const uint32_t size = static_cast<uint32_t>(values_.size());
    if (size == 0) return true;
    return out.Seek(start_, platform::SeekOrigin::Begin) >= 0 && out.Write(values_.data(), size) == size &&
           out.Seek(0, platform::SeekOrigin::End) >= 0;
}
