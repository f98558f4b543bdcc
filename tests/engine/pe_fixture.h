// Minimal PE images for the tests: a program or a DLL of a chosen machine with one section,
// optionally exporting names, followed by `marker` (so two builds can be told apart).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/pe_image.h"

namespace petest {

struct PeShape {
    uint16_t machine = kOwnPeMachine;
    PeKind kind = PeKind::kProgram;
    std::vector<std::string> exports;
};

std::string MakePe(const PeShape& shape, const std::string& marker = "");

// A program, and a plug-in exporting the factory the tool asks for, of this build's machine.
std::string FakeTool(const std::string& marker);
std::string FakePlugin(const std::string& marker);

}  // namespace petest
