// The certificate authorities the system trusts, for a TLS client that verifies servers
// itself: on Windows the "ROOT" system store (the machine's and the user's trust; under
// Wine the host's), elsewhere the system's CA bundle file. Only what the store holds now:
// roots Windows would fetch on demand and its limits on roots are not in it, so on Windows
// itself the system's TLS layer checks against its own trust instead.
#pragma once

#include <string>

namespace platform {

// Every trusted root certificate as PEM text, one block after another; "" when the store
// cannot be read or holds none.
std::string SystemRootCertificatesPem();

}  // namespace platform
