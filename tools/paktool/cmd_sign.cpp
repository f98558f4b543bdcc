// paktool sign: writes the publisher's signature file beside one file.
#include <sodium.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/signing_util.h"

namespace {

const OptionDef kNameOption = {nullptr, "--name", true, false,
                               "the name to sign FILE as: its remote path (default: FILE's base name)"};

int RunSign(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {kNumberOption, kNameOption}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    const char* numberText = args.Value(kNumberOption.longName);
    if (numberText == nullptr) return FailUsage("--number is required");
    uint64_t number = 0;
    if (int rc = ParseNumberOption(numberText, number); rc != kExitOk) return rc;
    const std::string file = args.Positional()[1];
    const std::string name = args.Has(kNameOption.longName) ? args.Value(kNameOption.longName) : BaseName(file);
    if (name.empty() || name.size() > kMaxSignedNameBytes) {
        return Fail(kExitUsage, "a signed name is 1 to %" PRIu64 " bytes, not %" PRIu64,
                    static_cast<uint64_t>(kMaxSignedNameBytes), static_cast<uint64_t>(name.size()));
    }
    uint8_t secret[kSecretKeyBytes];
    if (int rc = ReadKeyFile(args.Positional()[0], kSecretKeyBytes, "secret key", secret); rc != kExitOk) return rc;
    std::vector<uint8_t> sig;
    const bool signedOk = SignFile(secret, file, name, number, &sig);
    sodium_memzero(secret, sizeof(secret));
    if (!signedOk) return Fail(kExitFileError, "cannot read file '%s'", file.c_str());
    const std::string sigPath = file + kSignatureSuffix;
    if (int rc = WriteWholeFile(sigPath.c_str(), sig.data(), sig.size()); rc != kExitOk) return rc;
    std::printf("signed %s as '%s', publication %" PRIu64 "\n", sigPath.c_str(), name.c_str(), number);
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"sign", "SECRET FILE --number N [--name NAME]",
     "write FILE.sig: FILE signed as NAME (default: FILE's base name) in publication N", RunSign}};

}  // namespace
