// Shared by the signing commands (keygen, sign, verify-signature) and the publishing
// commands with --sign: key files, the publication number, and a signer that writes
// "FILE.sig" beside every file a publication writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/signature.h"
#include "tools/paktool/cli_util.h"

// The options --sign SECRET and --number N, for a command's option table.
extern const OptionDef kSignOption;
extern const OptionDef kNumberOption;
// Publishes under a number not above the current publication's (taking one back).
extern const OptionDef kForceOption;

// Reads a raw key file that must hold exactly `size` bytes (a usage error otherwise).
int ReadKeyFile(const char* path, size_t size, const char* what, uint8_t* out);

// The publication number given as `text` (0 up to the largest signed 64-bit value).
int ParseNumberOption(const char* text, uint64_t& out);

// The last part of `path` (after the last '/' or '\').
std::string BaseName(const std::string& path);

// One word or two for an outcome, for the operator's console: "valid", "wrong name", ...
const char* SignatureCheckWord(SignatureCheck check);

// Signs what one publication writes, all with one publication number.
class PublicationSigner {
public:
    PublicationSigner() = default;
    ~PublicationSigner();
    PublicationSigner(const PublicationSigner&) = delete;
    PublicationSigner& operator=(const PublicationSigner&) = delete;

    // Reads --sign and --number from `args`. Without --sign the signer is off and Sign does
    // nothing (--number alone is a usage error). Without --number the number is one more
    // than the one in `currentSig` (the publication being replaced), or 1 when there is
    // none. Returns kExitOk or the printed error.
    int Init(const ParsedArgs& args, const std::string& currentSig);
    bool enabled() const { return enabled_; }
    uint64_t number() const { return number_; }

    // Writes "`path`.sig" for the `bytes` just written to `path`, signed as `name`.
    int Sign(const std::string& path, const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
    int DefaultNumber(const std::string& currentSig);

    bool enabled_ = false;
    uint64_t number_ = 0;
    uint8_t secret_[kSecretKeyBytes] = {};
};
