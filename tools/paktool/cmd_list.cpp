// paktool list PACK: the header and the index of a pack, in index order.
#include <cinttypes>
#include <cstdio>

#include "pak/pak_archive.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/method_arg.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

int RunList(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 1); rc != kExitOk) return rc;
    UseCurrentDirectoryPaths();
    LibraryMessages messages;
    PakArchive pack;
    if (int rc = OpenPackArchive(pack, args.Positional()[0]); rc != kExitOk) return rc;
    std::printf("magic %s entries %" PRIu32 " method %d (%s)\n", pack.Magic(), pack.Count(),
                static_cast<int>(pack.Method()), MethodName(pack.Method()));
    for (uint32_t i = 0; i < pack.Count(); ++i) {
        const PakIndexEntry entry = pack.EntryAt(i);
        std::printf("%08" PRIx32 " %" PRIu32 " %" PRIu32 "\n", entry.id, entry.offset, entry.size);
    }
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"list", "PACK",
     "Prints the magic, entry count and method, then one line per index entry: id (8 hex digits), offset, size.",
     RunList}};

}  // namespace
