// paktool make LISTFILE PACK [-m METHOD]: writes a new pack from a list file.
#include <string>

#include "pak/pak_codec.h"
#include "pak/pak_make.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/method_arg.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

constexpr const char* kMethodOption = "-m";
const std::vector<OptionDef> kOptions = {
    {kMethodOption, "--method", true, false, "the pack's method: -2/lzma, -1/zlib (default), 0/stored, 1/lha, 2/lzo"}};
constexpr int32_t kDefaultMethod = kPakMethodZlib;

int RunMake(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, kOptions, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    int32_t method = kDefaultMethod;
    if (const char* text = args.Value(kMethodOption)) {
        if (int rc = ParseMethodArg(text, method); rc != kExitOk) return rc;
    }
    PakCodecPtr codec;
    if (int rc = OpenPakCodec(method, codec); rc != kExitOk) return rc;
    const char* listPath = args.Positional()[0];
    const char* packPath = args.Positional()[1];
    UseCurrentDirectoryPaths();
    LibraryMessages messages;
    PakMake make;
    if (make.Make(listPath, packPath, method) != 1) {
        return Fail(kExitFailed, "cannot make '%s' from '%s': %s", packPath, listPath,
                    messages.Reason("the list file is missing or names no file").c_str());
    }
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"make", "LISTFILE PACK [-m METHOD]",
     "Writes a new DATAPACK pack from a list file (first line: base directory; then one name a line); "
     "default method -1.",
     RunMake}};

}  // namespace
