// paktool extract PACK NAME OUT: writes one member's content to OUT.
#include <cstdint>
#include <string>
#include <vector>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_paths.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

constexpr size_t kPackPath = 0;
constexpr size_t kMemberName = 1;
constexpr size_t kOutPath = 2;

int RunExtract(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 3); rc != kExitOk) return rc;
    const char* packPath = args.Positional()[kPackPath];
    const std::string name = PackMemberName(args.Positional()[kMemberName]);
    UseCurrentDirectoryPaths();
    LibraryMessages messages;
    PakList list;
    if (int rc = OpenPackInList(list, packPath); rc != kExitOk) return rc;

    uint32_t size = 0;
    if (list.Find(name.c_str(), nullptr, &size) < 0) {
        return Fail(kExitFailed, "'%s' holds no member '%s'", packPath, name.c_str());
    }
    std::vector<uint8_t> content(size);
    if (size != 0) {  // an empty member has no blocks to read
        SetPakOpenMode(kPakOpenPacksOnly);
        PakFile file;
        if (file.Open(name.c_str()) != 1 || file.Read(content.data(), size) != size) {
            return Fail(kExitFailed, "member '%s' of '%s' is damaged", name.c_str(), packPath);
        }
    }
    return WriteWholeFile(args.Positional()[kOutPath], content.data(), content.size());
}

const PaktoolCommandRegistration kRegistration{
    {"extract", "PACK NAME OUT", "Writes the content of member NAME of PACK to OUT.", RunExtract}};

}  // namespace
