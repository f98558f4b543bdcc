// Shared pieces of the signed-update tests: publisher key pairs made from fixed seeds, the
// signature file of some bytes, the built-in key lent for one test, and a snapshot of the
// installation folder to show that a refusal changed nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "engine/signature.h"

namespace signedtest {

// A publisher's key pair made from a fixed seed byte, so every run signs the same bytes.
struct KeyPair {
    explicit KeyPair(uint8_t seedByte);
    PublisherKey publicKey{};
    uint8_t secret[kSecretKeyBytes] = {};
};

// The signature file of `content` requested as `name` in publication `number`.
std::string SignatureOf(const KeyPair& keys, const std::string& content, const std::string& name, uint64_t number);

// Writes "PATH.sig" for the file at `path` (signed as `name`).
void SignFileAt(const KeyPair& keys, const std::string& path, const std::string& name, uint64_t number);

// Makes `key` the build's publisher key while alive.
class KeyScope {
public:
    explicit KeyScope(const PublisherKey* key);
    ~KeyScope();
    KeyScope(const KeyScope&) = delete;
    KeyScope& operator=(const KeyScope&) = delete;
};

// Every file below the current directory (except below `skip`, a folder name) with its
// content, by path.
std::map<std::string, std::string> FolderContents(const std::string& skip);

}  // namespace signedtest
