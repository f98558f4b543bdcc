// paktool keygen: makes the publisher's key pair.
#include <sodium.h>

#include <cstdio>

#include "platform/platform.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/signing_util.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Only the owner may read the secret key file (POSIX; Windows keeps the folder's rights).
class OwnerOnlyFiles {
public:
#ifndef _WIN32
    OwnerOnlyFiles() : previous_(umask(S_IRWXG | S_IRWXO)) {}
    ~OwnerOnlyFiles() { umask(previous_); }

private:
    mode_t previous_;
#endif
};

int RunKeygen(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    const char* secretPath = args.Positional()[0];
    const char* publicPath = args.Positional()[1];
    // A lost secret key cannot be made again: never replace one.
    for (const char* path : {secretPath, publicPath}) {
        if (platform::FileExists(path)) return Fail(kExitFileError, "'%s' already exists; keygen does not replace keys", path);
    }
    if (sodium_init() < 0) return Fail(kExitFailed, "the cryptography library cannot start");
    uint8_t publicKey[kPublicKeyBytes];
    uint8_t secret[kSecretKeyBytes];
    crypto_sign_keypair(publicKey, secret);
    int rc;
    {
        [[maybe_unused]] OwnerOnlyFiles ownerOnly;
        rc = WriteWholeFile(secretPath, secret, sizeof(secret));
    }
    sodium_memzero(secret, sizeof(secret));
    if (rc != kExitOk) return rc;
    if (int rc2 = WriteWholeFile(publicPath, publicKey, sizeof(publicKey)); rc2 != kExitOk) return rc2;
    char hex[2 * kPublicKeyBytes + 1];
    sodium_bin2hex(hex, sizeof(hex), publicKey, sizeof(publicKey));
    std::printf("public key %s\n", hex);
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"keygen", "SECRET PUBLIC",
     "make a publisher key pair (raw 64-byte secret, 32-byte public key); prints the public key in hex "
     "for -DUPDATER_PUBLISHER_KEY",
     RunKeygen}};

}  // namespace
