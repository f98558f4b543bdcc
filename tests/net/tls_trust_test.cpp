// How TLS servers are checked, by where the program runs and whether a CA file is pinned.
#include <gtest/gtest.h>

#include <vector>

#include "net/tls_trust.h"

namespace {

struct TrustCase {
    const char* name;
    bool underWine;
    bool caFilePinned;
    TlsTrust trust;
    bool revocationBestEffort;
};

// Windows checks against its own trust (roots fetched on demand, its distrust rules); only
// Wine, whose TLS layer checks nothing, has libcurl check against the exported roots. A
// pinned file is the only trust wherever the program runs. Revocation is soft-fail in every
// case: a private CA without a revocation list, or a list out of reach, is no refusal.
TEST(TlsTrustTest, TheTrustFollowsThePlatformAndThePinnedFile) {
    const std::vector<TrustCase> cases = {
        {"windows-system-trust", false, false, TlsTrust::kSystem, true},
        {"wine-exported-roots", true, false, TlsTrust::kExportedRoots, true},
        {"windows-pinned-file", false, true, TlsTrust::kPinnedFile, true},
        {"wine-pinned-file", true, true, TlsTrust::kPinnedFile, true},
    };
    for (const TrustCase& c : cases) {
        const TlsVerification chosen = ChooseTlsVerification(c.underWine, c.caFilePinned);
        EXPECT_EQ(chosen.trust, c.trust) << c.name;
        EXPECT_EQ(chosen.revocationBestEffort, c.revocationBestEffort) << c.name;
    }
}

}  // namespace
