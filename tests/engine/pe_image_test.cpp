// The look at a downloaded tool or plug-in: good images of this build's machine pass, and
// anything else (another machine or kind, no factory, damaged or truncated headers, random
// bytes, offsets pointing outside the file) is refused without a crash.
#include "engine/pe_image.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platformcfg/update_cfg.h"
#include "tests/engine/pe_fixture.h"

namespace {

using petest::MakePe;
using petest::PeShape;

constexpr uint16_t kOtherMachine = kOwnPeMachine == kPeMachineI386 ? kPeMachineAmd64 : kPeMachineI386;

std::string WithByte(std::string image, size_t at, char value) {
    image[at] = value;
    return image;
}

// The offset of the first section header of an image: after the PE signature, the COFF
// header and the optional header, whose size differs between PE32 and PE32+.
size_t SectionTableOf(const std::string& image) {
    const auto u16 = [&image](size_t at) {
        return static_cast<size_t>(static_cast<uint8_t>(image[at]) | static_cast<uint8_t>(image[at + 1]) << 8);
    };
    const size_t newHeader = u16(0x3C) | u16(0x3E) << 16;
    constexpr size_t kSignatureBytes = 4, kCoffBytes = 20, kOptionalSizeField = 16;
    return newHeader + kSignatureBytes + kCoffBytes + u16(newHeader + kSignatureBytes + kOptionalSizeField);
}

struct PeCase {
    const char* name;
    std::string image;
    PeKind kind;
    bool accepted;
};

TEST(PeImage, OnlyProgramsAndPluginsOfThisBuildPass) {
    PeShape library;
    library.kind = PeKind::kLibrary;
    library.exports = {"DllMain", kUpdateCfgFactoryExport};
    PeShape noFactory = library;
    noFactory.exports = {"DllMain", "?GetInstance@iUpdateCfg@@SAPAU1@XZx"};
    PeShape otherMachine;
    otherMachine.machine = kOtherMachine;
    PeShape otherLibrary = library;
    otherLibrary.machine = kOtherMachine;
    const std::string tool = MakePe(PeShape{}, "tool 2.24");
    const std::string plugin = MakePe(library);
    std::mt19937 random(7);
    std::string noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::vector<PeCase> cases = {
        {"good-program", tool, PeKind::kProgram, true},
        {"good-plugin-with-factory", plugin, PeKind::kLibrary, true},
        {"bad-plugin-without-factory", MakePe(noFactory), PeKind::kLibrary, false},
        {"bad-plugin-with-no-exports", MakePe(PeShape{PeShape{}.machine, PeKind::kLibrary, {}}), PeKind::kLibrary, false},
        {"bad-program-of-another-machine", MakePe(otherMachine), PeKind::kProgram, false},
        {"bad-plugin-of-another-machine", MakePe(otherLibrary), PeKind::kLibrary, false},
        {"bad-dll-as-the-tool", plugin, PeKind::kProgram, false},
        {"bad-program-as-the-plugin", tool, PeKind::kLibrary, false},
        {"bad-random-bytes", noise, PeKind::kProgram, false},
        {"bad-random-bytes-with-mz", "MZ" + noise, PeKind::kLibrary, false},
        {"bad-empty", "", PeKind::kProgram, false},
        {"bad-truncated-in-dos-header", tool.substr(0, 0x30), PeKind::kProgram, false},
        {"bad-truncated-in-coff-header", tool.substr(0, 0x50), PeKind::kProgram, false},
        {"bad-truncated-in-section-table", tool.substr(0, SectionTableOf(tool) + 20), PeKind::kProgram, false},
        {"bad-truncated-in-exports", plugin.substr(0, 0x220), PeKind::kLibrary, false},
        {"bad-new-header-offset-outside", WithByte(tool, 0x3F, '\x7F'), PeKind::kProgram, false},
        {"bad-not-executable", WithByte(tool, 0x44 + 18, '\0'), PeKind::kProgram, false},
        {"bad-optional-magic", WithByte(tool, 0x44 + 20, '\0'), PeKind::kProgram, false},
        {"bad-export-table-outside-sections", WithByte(plugin, 0x44 + 20 + (kOwnPeMachine == kPeMachineAmd64 ? 112 : 96) + 3, '\x70'),
         PeKind::kLibrary, false},
        {"bad-name-table-outside-the-file", WithByte(plugin, 0x200 + 32 + 2, '\x7F'), PeKind::kLibrary, false},
    };
    for (const PeCase& c : cases) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.image.data());
        EXPECT_EQ(IsPeImageOf(bytes, c.image.size(), kOwnPeMachine, c.kind,
                              c.kind == PeKind::kLibrary ? kUpdateCfgFactoryExport : nullptr),
                  c.accepted)
            << c.name;
    }
    EXPECT_FALSE(IsPeImageOf(nullptr, 100, kOwnPeMachine, PeKind::kProgram, nullptr));
}

}  // namespace
