// paktool id NAME: the id a pack indexes NAME under.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "pak/pak_name.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

int RunId(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 1); rc != kExitOk) return rc;
    const std::string name = PackMemberName(args.Positional()[0]);
    std::printf("%08" PRIx32 "\n", CalcFoldedFileId(name.c_str()));
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"id", "NAME", "Prints the id of NAME (folded, '\\' read as '/') as 8 hex digits.", RunId}};

}  // namespace
