#include "platform/root_store.h"

#include <fstream>
#include <iterator>

namespace platform {

namespace {

// Where Debian and its relatives keep the bundle of the trusted authorities.
constexpr const char* kBundlePaths[] = {
    "/etc/ssl/certs/ca-certificates.crt",
    "/etc/pki/tls/certs/ca-bundle.crt",
};

}  // namespace

std::string SystemRootCertificatesPem() {
    for (const char* path : kBundlePaths) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!text.empty()) return text;
    }
    return std::string();
}

}  // namespace platform
