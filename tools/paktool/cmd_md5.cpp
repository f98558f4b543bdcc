// paktool md5: the digest text the update manifests carry for a file.
#include <cstdio>
#include <string>

#include "engine/md5.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"

namespace {

int RunMd5(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 1); rc != kExitOk) return rc;
    // Read in blocks: a large file needs no buffer of its size.
    std::string text;
    if (!Md5FileText(args.Positional()[0], &text)) {
        return Fail(kExitFileError, "cannot open file '%s'", args.Positional()[0]);
    }
    std::printf("%s\n", text.c_str());
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"md5", "FILE", "Prints the 32-digit lowercase MD5 digest text of FILE.", RunMd5}};

}  // namespace
