// The built-in publisher key. UPDATER_PUBLISHER_KEY_HEX is defined for this one file only
// (by engine/signature.cmake, from the CMake setting), so a keyed build differs from an
// unkeyed one nowhere else.
#include "engine/publisher_key.h"

namespace {

#ifdef UPDATER_PUBLISHER_KEY_HEX
constexpr const char kKeyHex[] = UPDATER_PUBLISHER_KEY_HEX;
static_assert(sizeof(kKeyHex) == 2 * kPublicKeyBytes + 1, "the publisher key is 64 hex digits");

constexpr uint8_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
}

PublisherKey DecodeBuiltInKey() {
    PublisherKey key{};
    for (size_t i = 0; i < kPublicKeyBytes; ++i) {
        key.bytes[i] = static_cast<uint8_t>(HexDigit(kKeyHex[2 * i]) << 4 | HexDigit(kKeyHex[2 * i + 1]));
    }
    return key;
}

const PublisherKey kBuiltInKey = DecodeBuiltInKey();
const PublisherKey* const kBuiltIn = &kBuiltInKey;
#else
const PublisherKey* const kBuiltIn = nullptr;
#endif

// A copy, so a test may pass the address of a temporary.
PublisherKey g_testKey{};
bool g_testKeySet = false;

}  // namespace

const PublisherKey* BuiltInPublisherKey() {
    return g_testKeySet ? &g_testKey : kBuiltIn;
}

void SetPublisherKeyForTesting(const PublisherKey* key) {
    g_testKeySet = key != nullptr;
    if (key != nullptr) g_testKey = *key;
}
