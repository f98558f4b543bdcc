// Publisher signatures: a detached "NAME.sig" file beside each file the tool trusts only
// when signed. The record binds a publication number, the SHA-256 of the signed bytes and
// the name the file is requested under, and carries an Ed25519 signature over all of them.
//
// Layout (little-endian): "KVOSIG", format version 1 (2 bytes), publication number
// (8 bytes), SHA-256 (32 bytes), name length N (2 bytes, 1..512), the name (N bytes),
// then the 64-byte signature over everything before it. Total 114 + N bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kPublicKeyBytes = 32, kSecretKeyBytes = 64, kSignatureBytes = 64, kSha256Bytes = 32;
constexpr const char* kSignatureSuffix = ".sig";
// The longest name a signature file holds (bytes).
constexpr size_t kMaxSignedNameBytes = 512;
// The name an offline package is signed under, whatever the player calls the file.
constexpr const char* kOfflinePackageSignedName = "offline.olp";

struct PublisherKey { uint8_t bytes[kPublicKeyBytes]; };

struct SignatureRecord {
    uint64_t number = 0;
    uint8_t sha256[kSha256Bytes] = {};
    std::string name;
    uint8_t signature[kSignatureBytes] = {};
};

enum class SignatureCheck { kValid, kMissing, kMalformed, kBadSignature, kWrongFile, kWrongName };

// The layout only: no key is involved. ParseSignature is false for anything but exactly one
// well-formed record; SerializeSignature returns an empty vector for a name out of range.
bool ParseSignature(const uint8_t* data, size_t size, SignatureRecord* out);
std::vector<uint8_t> SerializeSignature(const SignatureRecord& record);

// The signature file for `size` bytes at `file` (or the file at `path`, read in blocks),
// requested as `name`, in publication `number`. False when the name is out of range or the
// file cannot be read.
bool SignBytes(const uint8_t secret[kSecretKeyBytes], const uint8_t* file, size_t size,
               const std::string& name, uint64_t number, std::vector<uint8_t>* sigFile);
bool SignFile(const uint8_t secret[kSecretKeyBytes], const std::string& path,
              const std::string& name, uint64_t number, std::vector<uint8_t>* sigFile);

// Checks a signature file against the signed bytes and the name they were requested as.
// sig == nullptr or sigSize 0 → kMissing. `number` (may be null) receives the signed
// publication number when the outcome is kValid. VerifyFile reads the file in blocks; a file
// that cannot be read is kWrongFile.
SignatureCheck VerifyBytes(const PublisherKey& key, const uint8_t* sig, size_t sigSize,
                           const uint8_t* file, size_t fileSize, const std::string& name,
                           uint64_t* number);
SignatureCheck VerifyFile(const PublisherKey& key, const uint8_t* sig, size_t sigSize,
                          const std::string& path, const std::string& name, uint64_t* number);

// A short status text (GBK at run time) for each outcome.
const char* SignatureCheckText(SignatureCheck check);
