#include "engine/pe_image.h"

#include <cstring>

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;            // "MZ"
constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kNewHeaderOffsetField = 0x3C;    // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;     // "PE\0\0"
constexpr size_t kCoffHeaderBytes = 20;
constexpr size_t kCoffMachine = 0;
constexpr size_t kCoffSectionCount = 2;
constexpr size_t kCoffOptionalHeaderSize = 16;
constexpr size_t kCoffCharacteristics = 18;
constexpr uint16_t kImageExecutable = 0x0002;
constexpr uint16_t kImageDll = 0x2000;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
// Where the data directory count and the directories start in each optional header form.
constexpr size_t kPe32DirectoryCount = 92;
constexpr size_t kPe32PlusDirectoryCount = 108;
constexpr size_t kDirectoryEntryBytes = 8;
constexpr uint32_t kExportDirectory = 0;
constexpr size_t kSectionHeaderBytes = 40;
constexpr size_t kSectionVirtualSize = 8;
constexpr size_t kSectionVirtualAddress = 12;
constexpr size_t kSectionRawSize = 16;
constexpr size_t kSectionRawOffset = 20;
constexpr size_t kExportNameCount = 24;
constexpr size_t kExportNameTable = 32;
constexpr size_t kExportDirectoryBytes = 40;
constexpr size_t kMaxExportNameBytes = 512;
constexpr uint32_t kMaxSections = 96;              // the format's own limit
constexpr uint32_t kMaxExportNames = 65536;

// The bytes of a file, read only inside their bounds.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Has(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }
    bool U16(size_t offset, uint16_t* out) const {
        if (!Has(offset, 2)) return false;
        *out = static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
        return true;
    }
    bool U32(size_t offset, uint32_t* out) const {
        if (!Has(offset, 4)) return false;
        *out = static_cast<uint32_t>(data_[offset]) | static_cast<uint32_t>(data_[offset + 1]) << 8 |
               static_cast<uint32_t>(data_[offset + 2]) << 16 | static_cast<uint32_t>(data_[offset + 3]) << 24;
        return true;
    }
    // The NUL-terminated text at `offset` equals `text` (the NUL inside the file).
    bool TextIs(size_t offset, const char* text) const {
        const size_t length = std::strlen(text);
        return Has(offset, length + 1) && std::memcmp(data_ + offset, text, length) == 0 && data_[offset + length] == 0;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

struct PeLayout {
    size_t sections = 0;         // offset of the first section header
    uint32_t sectionCount = 0;
    uint32_t exportRva = 0;
    uint32_t exportSize = 0;
};

// The file offset of the relative virtual address `rva`, through the section that holds it.
bool FileOffsetOf(const Bytes& file, const PeLayout& pe, uint32_t rva, size_t* out) {
    for (uint32_t i = 0; i < pe.sectionCount; ++i) {
        const size_t header = pe.sections + static_cast<size_t>(i) * kSectionHeaderBytes;
        uint32_t virtualSize = 0, address = 0, rawSize = 0, rawOffset = 0;
        if (!file.U32(header + kSectionVirtualSize, &virtualSize) || !file.U32(header + kSectionVirtualAddress, &address) ||
            !file.U32(header + kSectionRawSize, &rawSize) || !file.U32(header + kSectionRawOffset, &rawOffset)) {
            return false;
        }
        const uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
        if (rva < address || rva - address >= extent) continue;
        if (rva - address >= rawSize) return false;  // in the section, but not in the file
        *out = static_cast<size_t>(rawOffset) + (rva - address);
        return true;
    }
    return false;
}

bool ExportsName(const Bytes& file, const PeLayout& pe, const char* name) {
    if (pe.exportRva == 0 || pe.exportSize < kExportDirectoryBytes) return false;
    size_t directory = 0;
    uint32_t count = 0, table = 0;
    if (!FileOffsetOf(file, pe, pe.exportRva, &directory) || !file.U32(directory + kExportNameCount, &count) ||
        !file.U32(directory + kExportNameTable, &table) || count > kMaxExportNames) {
        return false;
    }
    size_t names = 0;
    if (count == 0 || !FileOffsetOf(file, pe, table, &names)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameRva = 0;
        size_t at = 0;
        if (!file.U32(names + static_cast<size_t>(i) * 4, &nameRva)) return false;
        if (FileOffsetOf(file, pe, nameRva, &at) && file.TextIs(at, name)) return true;
    }
    return false;
}

// Reads the headers up to the section table; false for anything that is no PE image of
// `machine` and `kind`.
bool ReadLayout(const Bytes& file, uint16_t machine, PeKind kind, PeLayout* pe) {
    uint16_t magic = 0;
    uint32_t newHeader = 0, signature = 0;
    if (!file.Has(0, kDosHeaderBytes) || !file.U16(0, &magic) || magic != kDosMagic ||
        !file.U32(kNewHeaderOffsetField, &newHeader) || !file.U32(newHeader, &signature) || signature != kPeSignature) {
        return false;
    }
    const size_t coff = static_cast<size_t>(newHeader) + 4;
    uint16_t fileMachine = 0, sections = 0, optionalSize = 0, characteristics = 0, optionalMagic = 0;
    if (!file.U16(coff + kCoffMachine, &fileMachine) || !file.U16(coff + kCoffSectionCount, &sections) ||
        !file.U16(coff + kCoffOptionalHeaderSize, &optionalSize) ||
        !file.U16(coff + kCoffCharacteristics, &characteristics) || fileMachine != machine ||
        sections == 0 || sections > kMaxSections || (characteristics & kImageExecutable) == 0) {
        return false;
    }
    if (((characteristics & kImageDll) != 0) != (kind == PeKind::kLibrary)) return false;
    const size_t optional = coff + kCoffHeaderBytes;
    if (!file.U16(optional, &optionalMagic)) return false;
    const bool wide = machine == kPeMachineAmd64;
    if (optionalMagic != (wide ? kOptionalMagicPe32Plus : kOptionalMagicPe32)) return false;
    const size_t countField = optional + (wide ? kPe32PlusDirectoryCount : kPe32DirectoryCount);
    uint32_t directories = 0;
    if (!file.U32(countField, &directories)) return false;
    if (directories > kExportDirectory) {
        const size_t entry = countField + 4 + kExportDirectory * kDirectoryEntryBytes;
        if (entry + kDirectoryEntryBytes > optional + optionalSize || !file.U32(entry, &pe->exportRva) ||
            !file.U32(entry + 4, &pe->exportSize)) {
            return false;
        }
    }
    pe->sections = optional + optionalSize;
    pe->sectionCount = sections;
    return file.Has(pe->sections, static_cast<size_t>(sections) * kSectionHeaderBytes);
}

}  // namespace

bool IsPeImageOf(const uint8_t* bytes, size_t size, uint16_t machine, PeKind kind, const char* requiredExport) {
    if (bytes == nullptr) return false;
    const Bytes file(bytes, size);
    PeLayout pe;
    if (!ReadLayout(file, machine, kind, &pe)) return false;
    if (kind == PeKind::kLibrary && requiredExport != nullptr) {
        return std::strlen(requiredExport) < kMaxExportNameBytes && ExportsName(file, pe, requiredExport);
    }
    return true;
}
