// Writes a small PE image of this build's machine for the command-line tests: a program
// (the shape the tool takes) or a plug-in exporting the factory, ending in MARKER.
//   make_test_pe program|plugin MARKER OUT
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/engine/pe_fixture.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_test_pe program|plugin MARKER OUT\n");
        return 2;
    }
    const bool program = std::strcmp(argv[1], "program") == 0;
    const std::string image = program ? petest::FakeTool(argv[2]) : petest::FakePlugin(argv[2]);
    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) return 1;
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
