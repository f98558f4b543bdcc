// paktool delete PACK NAME: removes member NAME from PACK.
#include <string>

#include "pak/pak_name.h"
#include "pak/pak_updater.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

int RunDelete(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    const char* packPath = args.Positional()[0];
    const std::string name = PackMemberName(args.Positional()[1]);

    return QueueAndRebuild(packPath, [&](PakUpdater& updater) {
        if (!updater.Holds(name.c_str())) return Fail(kExitFailed, "'%s' holds no member '%s'", packPath, name.c_str());
        if (updater.Delete(name.c_str()) != 1) {
            return Fail(kExitFailed, "cannot queue the removal of '%s'", name.c_str());
        }
        return kExitOk;
    });
}

const PaktoolCommandRegistration kRegistration{
    {"delete", "PACK NAME", "Removes member NAME from PACK and rebuilds PACK.", RunDelete}};

}  // namespace
