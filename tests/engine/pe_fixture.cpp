#include "tests/engine/pe_fixture.h"

#include <cstring>

#include "platformcfg/update_cfg.h"

namespace petest {

namespace {

constexpr uint32_t kNewHeader = 0x40;
constexpr uint32_t kSectionAddress = 0x1000;
constexpr uint32_t kSectionFileOffset = 0x200;
constexpr uint32_t kSectionBytes = 0x200;

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string MakePe(const PeShape& shape, const std::string& marker) {
    std::string image(kSectionFileOffset + kSectionBytes, '\0');
    Put16(image, 0, 0x5A4D);
    Put32(image, 0x3C, kNewHeader);
    Put32(image, kNewHeader, 0x00004550);
    const bool wide = shape.machine == kPeMachineAmd64;
    const uint16_t optionalSize = wide ? 240 : 224;
    const size_t coff = kNewHeader + 4;
    Put16(image, coff, shape.machine);
    Put16(image, coff + 2, 1);
    Put16(image, coff + 16, optionalSize);
    Put16(image, coff + 18, static_cast<uint16_t>(0x0002 | (shape.kind == PeKind::kLibrary ? 0x2000 : 0)));
    const size_t optional = coff + 20;
    Put16(image, optional, wide ? 0x20B : 0x10B);
    const size_t countField = optional + (wide ? 108 : 92);
    Put32(image, countField, 16);
    const size_t section = optional + optionalSize;
    std::memcpy(&image[section], ".edata", 6);
    Put32(image, section + 8, kSectionBytes);
    Put32(image, section + 12, kSectionAddress);
    Put32(image, section + 16, kSectionBytes);
    Put32(image, section + 20, kSectionFileOffset);
    if (!shape.exports.empty()) {
        // Export directory at the section's start, then the name table, then the names.
        const uint32_t count = static_cast<uint32_t>(shape.exports.size());
        const uint32_t tableRva = kSectionAddress + 40;
        Put32(image, countField + 4, kSectionAddress);
        Put32(image, countField + 8, kSectionBytes);
        Put32(image, kSectionFileOffset + 24, count);
        Put32(image, kSectionFileOffset + 32, tableRva);
        uint32_t nameRva = tableRva + 4 * count;
        for (uint32_t i = 0; i < count; ++i) {
            Put32(image, kSectionFileOffset + 40 + 4 * i, nameRva);
            const std::string& name = shape.exports[i];
            image.replace(kSectionFileOffset + (nameRva - kSectionAddress), name.size() + 1,
                          std::string(name.c_str(), name.size() + 1));
            nameRva += static_cast<uint32_t>(name.size() + 1);
        }
    }
    return image + marker;
}

std::string FakeTool(const std::string& marker) { return MakePe(PeShape{}, marker); }

std::string FakePlugin(const std::string& marker) {
    PeShape shape;
    shape.kind = PeKind::kLibrary;
    shape.exports = {"DllMain", kUpdateCfgFactoryExport};
    return MakePe(shape, marker);
}

}  // namespace petest
