// paktool md5: the digest text the update manifests carry for a file.
#include <cstdio>
#include <vector>

#include "engine/md5.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"

namespace {

int RunMd5(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 1); rc != kExitOk) return rc;
    std::vector<uint8_t> content;
    if (int rc = ReadWholeFile(args.Positional()[0], kNoSizeLimit, "file", content); rc != kExitOk)
        return rc;
    std::printf("%s\n", Md5Text(content.data(), content.size()).c_str());
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"md5", "FILE", "Prints the 32-digit lowercase MD5 digest text of FILE.", RunMd5}};

}  // namespace
