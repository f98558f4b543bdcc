// How the TLS servers of a run are checked, chosen from where the program runs and whether
// the plug-in pins a CA file. On Windows the system's TLS layer (Schannel) checks the chain
// against the system's own trust, which a CA set handed to libcurl would replace: Windows
// fetches a missing root on demand (automatic root update) and applies its Disallowed store
// and distrust dates only on its own chain checks. Under Wine the TLS layer checks nothing,
// so libcurl checks against the system's roots exported as PEM.
#pragma once

enum class TlsTrust {
    kSystem,         // the system's TLS layer, against the system's own trust
    kExportedRoots,  // libcurl, against the system's trusted roots exported as PEM
    kPinnedFile,     // libcurl, against the plug-in's CA file alone
};

struct TlsVerification {
    TlsTrust trust = TlsTrust::kSystem;
    // A revoked certificate is refused, but one whose status cannot be learned (a private
    // CA without a revocation list, a revocation server out of reach) is not, as browsers do.
    bool revocationBestEffort = true;

    bool operator==(const TlsVerification& o) const {
        return trust == o.trust && revocationBestEffort == o.revocationBestEffort;
    }
};

TlsVerification ChooseTlsVerification(bool runningUnderWine, bool caFilePinned);
