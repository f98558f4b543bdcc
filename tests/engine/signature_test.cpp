// Publisher signatures: the record layout byte by byte, every refusal of a signature that
// does not vouch for exactly this file under this name, and files hashed in blocks.
#include <gtest/gtest.h>

#include <sodium.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/publisher_key.h"
#include "engine/signature.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/signed_test_support.h"

namespace {

using enginetest::ScratchDir;
using signedtest::KeyPair;

constexpr size_t kNameLengthOffset = 48;
constexpr size_t kNameOffset = 50;
constexpr size_t kLongestName = 512;
constexpr uint64_t kNumber = 0x0102030405060708ull;
constexpr uint64_t kUntouched = 0xDEADull;

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Sign(const KeyPair& keys, const std::vector<uint8_t>& file, const std::string& name,
                          uint64_t number = kNumber) {
    std::vector<uint8_t> sig;
    EXPECT_TRUE(SignBytes(keys.secret, file.data(), file.size(), name, number, &sig));
    return sig;
}

// Deterministic, irregular bytes (a linear congruential sequence).
std::vector<uint8_t> PatternBytes(size_t n) {
    std::vector<uint8_t> out(n);
    uint32_t x = 0x9E3779B9u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    enginetest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

TEST(SignatureLayout, FieldsSitWhereTheFormatPutsThemAndParseBack) {
    SignatureRecord record;
    record.number = kNumber;
    for (size_t i = 0; i < kSha256Bytes; ++i) record.sha256[i] = static_cast<uint8_t>(0xA0 + i);
    record.name = "download/update.pak";
    for (size_t i = 0; i < kSignatureBytes; ++i) record.signature[i] = static_cast<uint8_t>(i * 3);

    const std::vector<uint8_t> bytes = SerializeSignature(record);
    const size_t n = record.name.size();
    ASSERT_EQ(bytes.size(), 114 + n);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "KVOSIG");
    EXPECT_EQ(bytes[6], 1);
    EXPECT_EQ(bytes[7], 0);
    const uint8_t numberLittleEndian[] = {8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(bytes.data() + 8, numberLittleEndian, sizeof(numberLittleEndian)), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 16, record.sha256, kSha256Bytes), 0);
    EXPECT_EQ(bytes[kNameLengthOffset], n);
    EXPECT_EQ(bytes[kNameLengthOffset + 1], 0);
    EXPECT_EQ(std::string(bytes.begin() + kNameOffset, bytes.begin() + kNameOffset + n), record.name);
    EXPECT_EQ(std::memcmp(bytes.data() + kNameOffset + n, record.signature, kSignatureBytes), 0);

    SignatureRecord parsed;
    ASSERT_TRUE(ParseSignature(bytes.data(), bytes.size(), &parsed));
    EXPECT_EQ(parsed.number, record.number);
    EXPECT_EQ(std::memcmp(parsed.sha256, record.sha256, kSha256Bytes), 0);
    EXPECT_EQ(parsed.name, record.name);
    EXPECT_EQ(std::memcmp(parsed.signature, record.signature, kSignatureBytes), 0);
}

TEST(SignatureLayout, SignedFileCarriesTheSha256AndAnEd25519SignatureOverEverythingBeforeIt) {
    const KeyPair keys(0x11);
    const std::vector<uint8_t> sig = Sign(keys, Bytes("abc"), "version.txt");
    SignatureRecord record;
    ASSERT_TRUE(ParseSignature(sig.data(), sig.size(), &record));
    // SHA-256("abc") from FIPS 180-2.
    const uint8_t kAbcSha256[kSha256Bytes] = {
        0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
        0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
    EXPECT_EQ(std::memcmp(record.sha256, kAbcSha256, kSha256Bytes), 0);
    EXPECT_EQ(record.number, kNumber);
    EXPECT_EQ(record.name, "version.txt");
    const size_t signedBytes = sig.size() - kSignatureBytes;
    EXPECT_EQ(crypto_sign_verify_detached(sig.data() + signedBytes, sig.data(), signedBytes, keys.publicKey.bytes), 0);
}

TEST(SignatureLayout, NameLengthMustBeOneTo512Bytes) {
    const KeyPair keys(0x12);
    const std::vector<uint8_t> file = Bytes("content");
    struct Case {
        const char* name;
        size_t length;
        bool signs;
    } cases[] = {
        {"empty name", 0, false},
        {"one byte", 1, true},
        {"longest", kLongestName, true},
        {"one too long", kLongestName + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name(c.length, 'n');
        std::vector<uint8_t> sig;
        EXPECT_EQ(SignBytes(keys.secret, file.data(), file.size(), name, kNumber, &sig), c.signs);
        SignatureRecord record;
        record.name = name;
        EXPECT_EQ(SerializeSignature(record).empty(), !c.signs);
        if (c.signs) {
            EXPECT_EQ(VerifyBytes(keys.publicKey, sig.data(), sig.size(), file.data(), file.size(), name, nullptr),
                      SignatureCheck::kValid);
        }
    }
}

// One check through VerifyBytes and through VerifyFile (the file written to disk first).
struct Verified {
    SignatureCheck fromBytes;
    SignatureCheck fromFile;
    uint64_t numberFromBytes = kUntouched;
    uint64_t numberFromFile = kUntouched;
};

Verified VerifyBothWays(const PublisherKey& key, const std::vector<uint8_t>& sig, const std::vector<uint8_t>& file,
                        const std::string& name) {
    Verified v{};
    const uint8_t* sigData = sig.empty() ? nullptr : sig.data();
    v.fromBytes = VerifyBytes(key, sigData, sig.size(), file.data(), file.size(), name, &v.numberFromBytes);
    WriteBytes("signed.bin", file);
    v.fromFile = VerifyFile(key, sigData, sig.size(), "signed.bin", name, &v.numberFromFile);
    return v;
}

TEST(SignatureVerify, AcceptsTheSignedFileAndReportsItsNumber) {
    ScratchDir scratch;
    const KeyPair keys(0x21);
    const std::vector<uint8_t> file = Bytes("[update]\nversion=2.23\n");
    const Verified v = VerifyBothWays(keys.publicKey, Sign(keys, file, "download/update.pak"), file,
                                      "download/update.pak");
    EXPECT_EQ(v.fromBytes, SignatureCheck::kValid);
    EXPECT_EQ(v.fromFile, SignatureCheck::kValid);
    EXPECT_EQ(v.numberFromBytes, kNumber);
    EXPECT_EQ(v.numberFromFile, kNumber);
}

TEST(SignatureVerify, RefusesEverySignatureThatDoesNotVouchForThisFileUnderThisName) {
    const KeyPair keys(0x31);
    const KeyPair otherKeys(0x32);
    const std::string name = "download/update.pak";
    const std::vector<uint8_t> file = Bytes("manifest container bytes");

    // Each case starts from a good signature and the signed file, and spoils one thing.
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>& sig, std::vector<uint8_t>& file, PublisherKey& key)> spoil;
        SignatureCheck expected;
    } cases[] = {
        {"no signature", [](auto& sig, auto&, auto&) { sig.clear(); }, SignatureCheck::kMissing},
        {"flipped byte in the file", [](auto&, auto& f, auto&) { f[3] ^= 0x01; }, SignatureCheck::kWrongFile},
        {"file one byte longer", [](auto&, auto& f, auto&) { f.push_back(0); }, SignatureCheck::kWrongFile},
        {"empty file", [](auto&, auto& f, auto&) { f.clear(); }, SignatureCheck::kWrongFile},
        {"flipped byte in the signature", [](auto& sig, auto&, auto&) { sig[sig.size() - 5] ^= 0x80; },
         SignatureCheck::kBadSignature},
        {"number raised", [](auto& sig, auto&, auto&) { sig[8] += 1; }, SignatureCheck::kBadSignature},
        {"digest changed", [](auto& sig, auto&, auto&) { sig[16] ^= 0xFF; }, SignatureCheck::kBadSignature},
        {"signed name changed", [](auto& sig, auto&, auto&) { sig[kNameOffset] = 'D'; },
         SignatureCheck::kBadSignature},
        {"another publisher's key", [&](auto&, auto&, auto& key) { key = otherKeys.publicKey; },
         SignatureCheck::kBadSignature},
        {"signed by another publisher", [&](auto& sig, auto& f, auto&) { sig = Sign(otherKeys, f, name); },
         SignatureCheck::kBadSignature},
        {"valid signature of another file",
         [&](auto& sig, auto& f, auto&) {
             f = Bytes("new update.exe");
             sig = Sign(keys, f, "download/update.exe");
         },
         SignatureCheck::kWrongName},
        {"same file signed under another name",
         [&](auto& sig, auto& f, auto&) { sig = Sign(keys, f, "download/update.pak.bak"); },
         SignatureCheck::kWrongName},
        {"name differs in letter case",
         [&](auto& sig, auto& f, auto&) { sig = Sign(keys, f, "Download/Update.pak"); },
         SignatureCheck::kWrongName},
        {"truncated by one byte", [](auto& sig, auto&, auto&) { sig.pop_back(); }, SignatureCheck::kMalformed},
        {"only the signed part", [](auto& sig, auto&, auto&) { sig.resize(sig.size() - kSignatureBytes); },
         SignatureCheck::kMalformed},
        {"one byte too many", [](auto& sig, auto&, auto&) { sig.push_back(0); }, SignatureCheck::kMalformed},
        {"bad magic", [](auto& sig, auto&, auto&) { sig[0] = 'k'; }, SignatureCheck::kMalformed},
        {"format version 2", [](auto& sig, auto&, auto&) { sig[6] = 2; }, SignatureCheck::kMalformed},
        {"format version 0x0101", [](auto& sig, auto&, auto&) { sig[7] = 1; }, SignatureCheck::kMalformed},
        {"name length 0", [](auto& sig, auto&, auto&) { sig[kNameLengthOffset] = 0; }, SignatureCheck::kMalformed},
        {"name length 513 with the bytes to match",
         [](auto& sig, auto&, auto&) {
             const size_t grow = kLongestName + 1 - (sig[kNameLengthOffset] | sig[kNameLengthOffset + 1] << 8);
             sig[kNameLengthOffset] = (kLongestName + 1) & 0xFF;
             sig[kNameLengthOffset + 1] = (kLongestName + 1) >> 8;
             sig.insert(sig.begin() + kNameOffset, grow, 'x');
         },
         SignatureCheck::kMalformed},
        {"name length larger than the file", [](auto& sig, auto&, auto&) { sig[kNameLengthOffset] += 1; },
         SignatureCheck::kMalformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        std::vector<uint8_t> sig = Sign(keys, file, name);
        std::vector<uint8_t> content = file;
        PublisherKey key = keys.publicKey;
        c.spoil(sig, content, key);
        const Verified v = VerifyBothWays(key, sig, content, name);
        EXPECT_EQ(v.fromBytes, c.expected);
        EXPECT_EQ(v.fromFile, c.expected);
        EXPECT_EQ(v.numberFromBytes, kUntouched) << "a refused signature must not report a number";
        EXPECT_EQ(v.numberFromFile, kUntouched);
    }
}

TEST(SignatureVerify, AnOutcomeTextForEachRefusal) {
    const SignatureCheck refusals[] = {SignatureCheck::kMissing, SignatureCheck::kMalformed,
                                       SignatureCheck::kBadSignature, SignatureCheck::kWrongFile,
                                       SignatureCheck::kWrongName};
    std::vector<std::string> seen = {SignatureCheckText(SignatureCheck::kValid)};
    for (SignatureCheck check : refusals) {
        const std::string text = SignatureCheckText(check);
        EXPECT_FALSE(text.empty());
        for (const std::string& other : seen) EXPECT_NE(text, other) << "two outcomes read the same";
        seen.push_back(text);
    }
}

// Larger than the read block and not a multiple of it, so the last partial block counts.
constexpr size_t kLargeFileBytes = 3 * 1024 * 1024 + 17;

TEST(SignatureFile, LargeFileSignedAndCheckedInBlocksMatchesTheWholeBuffer) {
    ScratchDir scratch;
    const KeyPair keys(0x41);
    const std::vector<uint8_t> content = PatternBytes(kLargeFileBytes);
    WriteBytes("big.olp", content);

    std::vector<uint8_t> fromFile;
    ASSERT_TRUE(SignFile(keys.secret, "big.olp", kOfflinePackageSignedName, kNumber, &fromFile));
    // Ed25519 is deterministic: the streamed digest must give the very same signature file.
    EXPECT_EQ(fromFile, Sign(keys, content, kOfflinePackageSignedName));

    uint64_t number = 0;
    EXPECT_EQ(VerifyFile(keys.publicKey, fromFile.data(), fromFile.size(), "big.olp", kOfflinePackageSignedName,
                         &number),
              SignatureCheck::kValid);
    EXPECT_EQ(number, kNumber);

    std::vector<uint8_t> lastByteChanged = content;
    lastByteChanged.back() ^= 0x01;
    WriteBytes("big.olp", lastByteChanged);
    EXPECT_EQ(VerifyFile(keys.publicKey, fromFile.data(), fromFile.size(), "big.olp", kOfflinePackageSignedName,
                         nullptr),
              SignatureCheck::kWrongFile);
}

TEST(SignatureFile, MissingFileCannotBeSignedAndDoesNotVerify) {
    ScratchDir scratch;
    const KeyPair keys(0x42);
    std::vector<uint8_t> sig;
    EXPECT_FALSE(SignFile(keys.secret, "absent.olp", kOfflinePackageSignedName, kNumber, &sig));
    EXPECT_TRUE(sig.empty());
    sig = Sign(keys, Bytes("package"), kOfflinePackageSignedName);
    EXPECT_EQ(VerifyFile(keys.publicKey, sig.data(), sig.size(), "absent.olp", kOfflinePackageSignedName, nullptr),
              SignatureCheck::kWrongFile);
}

TEST(PublisherKeyForTesting, ReplacesTheBuiltInKeyUntilRestored) {
    const PublisherKey* builtIn = BuiltInPublisherKey();
    {
        const KeyPair keys(0x51);
        SetPublisherKeyForTesting(&keys.publicKey);
    }
    const KeyPair same(0x51);
    ASSERT_NE(BuiltInPublisherKey(), nullptr);
    EXPECT_EQ(std::memcmp(BuiltInPublisherKey()->bytes, same.publicKey.bytes, kPublicKeyBytes), 0)
        << "the key set for a test must outlive the caller's copy";
    SetPublisherKeyForTesting(nullptr);
    EXPECT_EQ(BuiltInPublisherKey(), builtIn);
}

}  // namespace
