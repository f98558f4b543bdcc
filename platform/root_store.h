// The certificate authorities the system trusts, for a TLS client that verifies servers
// itself: on Windows the "ROOT" system store (the machine's and the user's trust; under
// Wine the host's), elsewhere the system's CA bundle file.
#pragma once

#include <string>

namespace platform {

// Every trusted root certificate as PEM text, one block after another; "" when the store
// cannot be read or holds none.
std::string SystemRootCertificatesPem();

}  // namespace platform
