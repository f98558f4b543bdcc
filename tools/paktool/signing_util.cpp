#include "tools/paktool/signing_util.h"

#include <sodium.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>

#include "platform/platform.h"

const OptionDef kSignOption = {nullptr, "--sign", true, false, "sign every file written with this secret key file"};
const OptionDef kNumberOption = {nullptr, "--number", true, false,
                                 "the publication number of the signatures (publish: default one above the current)"};
const OptionDef kForceOption = {nullptr, "--force", false, false,
                                "sign with a --number not above the current one (taking a publication back)"};

namespace {

// Numbers stay within what ParseInt64 reads.
constexpr int64_t kMaxNumber = INT64_MAX;

}  // namespace

int ReadKeyFile(const char* path, size_t size, const char* what, uint8_t* out) {
    std::vector<uint8_t> bytes;
    if (int rc = ReadWholeFile(path, size, what, bytes); rc != kExitOk) return rc;
    if (bytes.size() != size) {
        return Fail(kExitUsage, "%s '%s' is %" PRIu64 " bytes, not the %" PRIu64 " of a key", what, path,
                    static_cast<uint64_t>(bytes.size()), static_cast<uint64_t>(size));
    }
    std::copy(bytes.begin(), bytes.end(), out);
    sodium_memzero(bytes.data(), bytes.size());
    return kExitOk;
}

int ParseNumberOption(const char* text, uint64_t& out) {
    int64_t value = 0;
    if (int rc = ParseIntOption(kNumberOption.longName, text, 0, kMaxNumber, value); rc != kExitOk) return rc;
    out = static_cast<uint64_t>(value);
    return kExitOk;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* SignatureCheckWord(SignatureCheck check) {
    switch (check) {
        case SignatureCheck::kValid: return "valid";
        case SignatureCheck::kMissing: return "missing";
        case SignatureCheck::kMalformed: return "malformed";
        case SignatureCheck::kBadSignature: return "bad signature";
        case SignatureCheck::kWrongFile: return "wrong file";
        case SignatureCheck::kWrongName: return "wrong name";
    }
    return "unknown";
}

PublicationSigner::~PublicationSigner() {
    sodium_memzero(secret_, sizeof(secret_));
}

int PublicationSigner::Init(const ParsedArgs& args, const std::string& currentSig) {
    const char* secretPath = args.Value(kSignOption.longName);
    const char* numberText = args.Value(kNumberOption.longName);
    if (secretPath == nullptr) {
        return numberText == nullptr ? kExitOk : FailUsage("--number needs --sign");
    }
    if (int rc = ReadKeyFile(secretPath, kSecretKeyBytes, "secret key", secret_); rc != kExitOk) return rc;
    enabled_ = true;
    if (numberText == nullptr) return DefaultNumber(currentSig);
    if (int rc = ParseNumberOption(numberText, number_); rc != kExitOk) return rc;
    // A number not above the current one is refused by every installation that applied the
    // current one (lower), or mixes two publications under one number (equal): taking a
    // publication back that way is the operator's explicit call (--force).
    std::vector<uint8_t> current;
    SignatureRecord record;
    if (platform::FileExists(currentSig.c_str()) &&
        ReadWholeFile(currentSig.c_str(), kNoSizeLimit, "signature", current) == kExitOk &&
        ParseSignature(current.data(), current.size(), &record) && number_ <= record.number) {
        if (!args.Has(kForceOption.longName)) {
            return Fail(kExitFailed,
                        "publication %" PRIu64 " is not above the current %" PRIu64
                        " in '%s': installations that applied that one would refuse it (--force publishes it anyway)",
                        number_, record.number, currentSig.c_str());
        }
        Note("publication %" PRIu64 " is not above the current %" PRIu64
             " in '%s': installations that applied that one will refuse this one",
             number_, record.number, currentSig.c_str());
    }
    return kExitOk;
}

int PublicationSigner::DefaultNumber(const std::string& currentSig) {
    if (currentSig.empty() || !platform::FileExists(currentSig.c_str())) {
        number_ = 1;
        return kExitOk;
    }
    std::vector<uint8_t> current;
    if (int rc = ReadWholeFile(currentSig.c_str(), kNoSizeLimit, "signature", current); rc != kExitOk) return rc;
    SignatureRecord record;
    if (!ParseSignature(current.data(), current.size(), &record)) {
        return Fail(kExitFailed, "'%s' is not a signature file, so the next publication number is unknown: give --number",
                    currentSig.c_str());
    }
    if (record.number >= static_cast<uint64_t>(kMaxNumber)) {
        return Fail(kExitFailed, "the publication number in '%s' cannot grow any more", currentSig.c_str());
    }
    number_ = record.number + 1;
    return kExitOk;
}

int PublicationSigner::Sign(const std::string& path, const std::string& name, const std::vector<uint8_t>& bytes) const {
    if (!enabled_) return kExitOk;
    std::vector<uint8_t> sig;
    if (!SignBytes(secret_, bytes.data(), bytes.size(), name, number_, &sig)) {
        return Fail(kExitFailed, "cannot sign '%s' as '%s' (a name is 1 to %" PRIu64 " bytes)", path.c_str(),
                    name.c_str(), static_cast<uint64_t>(kMaxSignedNameBytes));
    }
    const std::string sigPath = path + kSignatureSuffix;
    return WriteWholeFile(sigPath.c_str(), sig.data(), sig.size());
}
