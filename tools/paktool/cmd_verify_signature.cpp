// paktool verify-signature: checks FILE.sig against FILE and the publisher's public key.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/signing_util.h"
#include "platform/platform.h"

namespace {

const OptionDef kNameOption = {nullptr, "--name", true, false,
                               "the name FILE must be signed as (default: the name the signature holds)"};

// The name `sig` is signed under; empty when it is no signature file.
std::string SignedName(const std::vector<uint8_t>& sig) {
    SignatureRecord record;
    if (sig.empty() || !ParseSignature(sig.data(), sig.size(), &record)) return std::string();
    return record.name;
}

int RunVerifySignature(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {kNameOption}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    PublisherKey key{};
    if (int rc = ReadKeyFile(args.Positional()[0], kPublicKeyBytes, "public key", key.bytes); rc != kExitOk) return rc;
    const std::string file = args.Positional()[1];
    // The signed file must be there; a missing signature is one of the outcomes.
    if (!platform::FileExists(file.c_str())) return Fail(kExitFileError, "cannot open file '%s'", file.c_str());
    const std::string sigPath = file + kSignatureSuffix;
    std::vector<uint8_t> sig;
    if (platform::FileExists(sigPath.c_str())) {
        if (int rc = ReadWholeFile(sigPath.c_str(), kNoSizeLimit, "signature", sig); rc != kExitOk) return rc;
    }
    // A published file is signed under its path on the server, which its local name never
    // shows: without --name the signature's own name is checked (the key still decides).
    const std::string signedName = SignedName(sig);
    const bool nameGiven = args.Has(kNameOption.longName);
    std::string name = nameGiven ? args.Value(kNameOption.longName) : signedName;
    if (name.empty()) name = BaseName(file);
    uint64_t number = 0;
    const SignatureCheck check = VerifyFile(key, sig.empty() ? nullptr : sig.data(), sig.size(), file, name, &number);
    if (check != SignatureCheck::kValid) {
        std::printf("signature %s\n", SignatureCheckWord(check));
        if (check == SignatureCheck::kWrongName) {
            return Fail(kExitFailed, "'%s' is signed as '%s', not as '%s': wrong name", file.c_str(),
                        signedName.c_str(), name.c_str());
        }
        return Fail(kExitFailed, "'%s' is not signed as '%s' by this key: %s", file.c_str(), name.c_str(),
                    SignatureCheckWord(check));
    }
    if (nameGiven) {
        std::printf("signature valid, publication %" PRIu64 "\n", number);
    } else {
        std::printf("signature valid, publication %" PRIu64 ", signed as '%s'\n", number, name.c_str());
    }
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"verify-signature", "PUBLIC FILE [--name NAME]",
     "check FILE.sig against FILE signed as NAME (default: the name the signature holds, such as "
     "download/data/a.txt for a published file); prints the outcome and the publication number",
     RunVerifySignature}};

}  // namespace
