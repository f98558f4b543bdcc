#include "tests/engine/signed_test_support.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/publisher_key.h"
#include "tests/engine/engine_test_support.h"

namespace signedtest {

namespace fs = std::filesystem;

KeyPair::KeyPair(uint8_t seedByte) {
    uint8_t seed[crypto_sign_SEEDBYTES];
    std::memset(seed, seedByte, sizeof(seed));
    EXPECT_GE(sodium_init(), 0);
    crypto_sign_seed_keypair(publicKey.bytes, secret, seed);
}

std::string SignatureOf(const KeyPair& keys, const std::string& content, const std::string& name, uint64_t number) {
    std::vector<uint8_t> sig;
    EXPECT_TRUE(SignBytes(keys.secret, reinterpret_cast<const uint8_t*>(content.data()), content.size(), name, number,
                          &sig));
    return enginetest::Text(sig);
}

void SignFileAt(const KeyPair& keys, const std::string& path, const std::string& name, uint64_t number) {
    const std::string content = enginetest::ReadFile(path);
    ASSERT_NE(content, "<missing>") << path;
    enginetest::WriteFile(path + kSignatureSuffix, SignatureOf(keys, content, name, number));
}

KeyScope::KeyScope(const PublisherKey* key) { SetPublisherKeyForTesting(key); }
KeyScope::~KeyScope() { SetPublisherKeyForTesting(nullptr); }

std::map<std::string, std::string> FolderContents(const std::string& skip) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator("."); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory() && it->path().filename() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file()) {
            const std::string path = it->path().lexically_normal().generic_string();
            files[path] = enginetest::ReadFile(path);
        }
    }
    return files;
}

}  // namespace signedtest
