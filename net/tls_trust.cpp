#include "net/tls_trust.h"

TlsVerification ChooseTlsVerification(bool runningUnderWine, bool caFilePinned) {
    TlsVerification chosen;
    if (caFilePinned) {
        chosen.trust = TlsTrust::kPinnedFile;
    } else {
        chosen.trust = runningUnderWine ? TlsTrust::kExportedRoots : TlsTrust::kSystem;
    }
    chosen.revocationBestEffort = true;
    return chosen;
}
