// paktool add PACK NAME FILE: replaces (or adds) member NAME with the content of FILE.
#include <cstring>
#include <string>

#include "pak/pak_format.h"
#include "pak/pak_updater.h"
#include "platform/platform.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

// The rebuild consumes its source files: it gets a copy, FILE stays.
constexpr const char* kCopySuffix = ".addtmp";

// True when the file holds exactly the 8 bytes of the delete marker: the rebuild would
// remove the member instead of storing them.
bool HoldsDeleteMarker(const char* path) {
    const platform::OwnedFile h(platform::OpenFileForRead(path));
    if (!h.valid()) return false;
    char content[kPakDeleteMarkerSize];
    return platform::FileSize(h.get()) == kPakDeleteMarkerSize &&
           platform::ReadFromFile(h.get(), content, kPakDeleteMarkerSize) == kPakDeleteMarkerSize &&
           std::memcmp(content, kPakDeleteMarker, kPakDeleteMarkerSize) == 0;
}

int RunAdd(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 3); rc != kExitOk) return rc;
    const char* packPath = args.Positional()[0];
    const std::string name = PackMemberName(args.Positional()[1]);
    const char* filePath = args.Positional()[2];
    if (!platform::FileExists(filePath)) return Fail(kExitFileError, "cannot open file '%s'", filePath);
    if (HoldsDeleteMarker(filePath)) {
        return Fail(kExitUsage,
                    "'%s' holds exactly the 8 bytes \"%s\", which a pack update reads as \"remove the member\"; "
                    "to remove '%s' use: paktool delete %s %s",
                    filePath, kPakDeleteMarker, name.c_str(), packPath, name.c_str());
    }
    const std::string copy = std::string(packPath) + kCopySuffix;

    return QueueAndRebuild(packPath, [&](PakUpdater& updater) {
        if (!platform::CopyFileTo(filePath, copy.c_str(), false)) {
            return Fail(kExitFileError, "cannot copy '%s' to '%s'", filePath, copy.c_str());
        }
        if (updater.AddFile(name.c_str(), copy.c_str()) != 1) {
            platform::RemoveFile(copy.c_str());
            return Fail(kExitFailed, "cannot queue '%s' as member '%s' (name too long?)", filePath, name.c_str());
        }
        return kExitOk;
    });
}

const PaktoolCommandRegistration kRegistration{
    {"add", "PACK NAME FILE", "Stores FILE as member NAME of PACK (replacing it) and rebuilds PACK; FILE stays. "
     "A FILE of exactly the 8 bytes \"DeleteMe\" is refused: remove members with delete.",
     RunAdd}};

}  // namespace
