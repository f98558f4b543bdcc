// Publisher signatures: the record layout, signing and checking (SHA-256 and Ed25519 from
// libsodium).
#include "engine/signature.h"

#include <sodium.h>

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr char kMagic[] = {'K', 'V', 'O', 'S', 'I', 'G'};
constexpr uint16_t kFormatVersion = 1;
constexpr size_t kMagicOffset = 0;
constexpr size_t kVersionOffset = 6;
constexpr size_t kNumberOffset = 8;
constexpr size_t kSha256Offset = 16;
constexpr size_t kNameLengthOffset = 48;
constexpr size_t kNameOffset = 50;
constexpr size_t kMinNameLength = 1;
// The fixed part around the name: everything but the name itself.
constexpr size_t kFixedBytes = kNameOffset + kSignatureBytes;
// Files are hashed in blocks of this size.
constexpr uint32_t kReadBlockBytes = 64 * 1024;

static_assert(sizeof(kMagic) == kVersionOffset - kMagicOffset, "magic size");
static_assert(crypto_sign_PUBLICKEYBYTES == kPublicKeyBytes, "public key size");
static_assert(crypto_sign_SECRETKEYBYTES == kSecretKeyBytes, "secret key size");
static_assert(crypto_sign_BYTES == kSignatureBytes, "signature size");
static_assert(crypto_hash_sha256_BYTES == kSha256Bytes, "digest size");

void PutLittleEndian(uint64_t value, size_t bytes, uint8_t* out) {
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLittleEndian(const uint8_t* in, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = bytes; i > 0; --i) value = value << 8 | in[i - 1];
    return value;
}

bool NameInRange(size_t length) {
    return length >= kMinNameLength && length <= kMaxSignedNameBytes;
}

// sodium_init may be called any number of times, from any thread; below 0 it failed.
bool SodiumReady() {
    return sodium_init() >= 0;
}

// The SHA-256 of the whole file at `path`, read in blocks. False when it cannot be opened or
// read to its end.
bool HashFile(const std::string& path, uint8_t digest[kSha256Bytes]) {
    platform::OwnedFile file(platform::OpenFileForRead(path.c_str()));
    if (file.get() == platform::kInvalidFile) return false;
    const int64_t size = platform::FileSize(file.get());
    if (size < 0) return false;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::vector<uint8_t> block(kReadBlockBytes);
    uint64_t remaining = static_cast<uint64_t>(size);
    while (remaining > 0) {
        const uint32_t want = remaining < kReadBlockBytes ? static_cast<uint32_t>(remaining) : kReadBlockBytes;
        const uint32_t got = platform::ReadFromFile(file.get(), block.data(), want);
        if (got == 0) return false;
        crypto_hash_sha256_update(&state, block.data(), got);
        remaining -= got;
    }
    crypto_hash_sha256_final(&state, digest);
    return true;
}

// The signature file for a file whose digest is already known.
bool SignDigest(const uint8_t secret[kSecretKeyBytes], const uint8_t digest[kSha256Bytes],
                const std::string& name, uint64_t number, std::vector<uint8_t>* sigFile) {
    if (!SodiumReady() || !NameInRange(name.size())) return false;
    SignatureRecord record;
    record.number = number;
    std::memcpy(record.sha256, digest, kSha256Bytes);
    record.name = name;
    std::vector<uint8_t> bytes = SerializeSignature(record);
    const size_t signedBytes = bytes.size() - kSignatureBytes;
    // The detached form: no length out-parameter is needed (null).
    if (crypto_sign_detached(bytes.data() + signedBytes, nullptr, bytes.data(), signedBytes, secret) != 0) {
        return false;
    }
    *sigFile = std::move(bytes);
    return true;
}

// The checks that need no file content: the layout, the publisher's signature and the name.
// On kValid `record` holds the parsed record.
SignatureCheck CheckRecord(const PublisherKey& key, const uint8_t* sig, size_t sigSize,
                           const std::string& name, SignatureRecord* record) {
    if (sig == nullptr || sigSize == 0) return SignatureCheck::kMissing;
    if (!ParseSignature(sig, sigSize, record)) return SignatureCheck::kMalformed;
    if (!SodiumReady()) return SignatureCheck::kBadSignature;
    const size_t signedBytes = sigSize - kSignatureBytes;
    if (crypto_sign_verify_detached(record->signature, sig, signedBytes, key.bytes) != 0) {
        return SignatureCheck::kBadSignature;
    }
    if (record->name != name) return SignatureCheck::kWrongName;
    return SignatureCheck::kValid;
}

SignatureCheck CheckDigest(const SignatureRecord& record, const uint8_t digest[kSha256Bytes],
                           uint64_t* number) {
    if (sodium_memcmp(record.sha256, digest, kSha256Bytes) != 0) return SignatureCheck::kWrongFile;
    if (number != nullptr) *number = record.number;
    return SignatureCheck::kValid;
}

}  // namespace

bool ParseSignature(const uint8_t* data, size_t size, SignatureRecord* out) {
    if (data == nullptr || size < kFixedBytes + kMinNameLength) return false;
    if (std::memcmp(data + kMagicOffset, kMagic, sizeof(kMagic)) != 0) return false;
    if (GetLittleEndian(data + kVersionOffset, kNumberOffset - kVersionOffset) != kFormatVersion) return false;
    const size_t nameLength = static_cast<size_t>(GetLittleEndian(data + kNameLengthOffset, kNameOffset - kNameLengthOffset));
    if (!NameInRange(nameLength) || size != kFixedBytes + nameLength) return false;
    out->number = GetLittleEndian(data + kNumberOffset, kSha256Offset - kNumberOffset);
    std::memcpy(out->sha256, data + kSha256Offset, kSha256Bytes);
    out->name.assign(reinterpret_cast<const char*>(data + kNameOffset), nameLength);
    std::memcpy(out->signature, data + kNameOffset + nameLength, kSignatureBytes);
    return true;
}

std::vector<uint8_t> SerializeSignature(const SignatureRecord& record) {
    if (!NameInRange(record.name.size())) return {};
    std::vector<uint8_t> bytes(kFixedBytes + record.name.size());
    std::memcpy(bytes.data() + kMagicOffset, kMagic, sizeof(kMagic));
    PutLittleEndian(kFormatVersion, kNumberOffset - kVersionOffset, bytes.data() + kVersionOffset);
    PutLittleEndian(record.number, kSha256Offset - kNumberOffset, bytes.data() + kNumberOffset);
    std::memcpy(bytes.data() + kSha256Offset, record.sha256, kSha256Bytes);
    PutLittleEndian(record.name.size(), kNameOffset - kNameLengthOffset, bytes.data() + kNameLengthOffset);
    std::memcpy(bytes.data() + kNameOffset, record.name.data(), record.name.size());
    std::memcpy(bytes.data() + kNameOffset + record.name.size(), record.signature, kSignatureBytes);
    return bytes;
}

bool SignBytes(const uint8_t secret[kSecretKeyBytes], const uint8_t* file, size_t size,
               const std::string& name, uint64_t number, std::vector<uint8_t>* sigFile) {
    if (!SodiumReady()) return false;
    uint8_t digest[kSha256Bytes];
    crypto_hash_sha256(digest, file, size);
    return SignDigest(secret, digest, name, number, sigFile);
}

bool SignFile(const uint8_t secret[kSecretKeyBytes], const std::string& path,
              const std::string& name, uint64_t number, std::vector<uint8_t>* sigFile) {
    if (!SodiumReady()) return false;
    uint8_t digest[kSha256Bytes];
    return HashFile(path, digest) && SignDigest(secret, digest, name, number, sigFile);
}

SignatureCheck VerifyBytes(const PublisherKey& key, const uint8_t* sig, size_t sigSize,
                           const uint8_t* file, size_t fileSize, const std::string& name,
                           uint64_t* number) {
    SignatureRecord record;
    const SignatureCheck check = CheckRecord(key, sig, sigSize, name, &record);
    if (check != SignatureCheck::kValid) return check;
    uint8_t digest[kSha256Bytes];
    crypto_hash_sha256(digest, file, fileSize);
    return CheckDigest(record, digest, number);
}

SignatureCheck VerifyFile(const PublisherKey& key, const uint8_t* sig, size_t sigSize,
                          const std::string& path, const std::string& name, uint64_t* number) {
    SignatureRecord record;
    const SignatureCheck check = CheckRecord(key, sig, sigSize, name, &record);
    if (check != SignatureCheck::kValid) return check;
    uint8_t digest[kSha256Bytes];
    if (!HashFile(path, digest)) return SignatureCheck::kWrongFile;
    return CheckDigest(record, digest, number);
}

const char* SignatureCheckText(SignatureCheck check) {
    switch (check) {
        case SignatureCheck::kValid: return "签名有效";
        case SignatureCheck::kMissing: return "缺少发布者签名";
        case SignatureCheck::kMalformed: return "签名文件已损坏";
        case SignatureCheck::kBadSignature: return "签名不是发布者的";
        case SignatureCheck::kWrongFile: return "文件内容与签名不符";
        case SignatureCheck::kWrongName: return "签名属于另一个文件";
    }
    return "签名无法验证";
}
