#include "net/connection_failure.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace {

// WinINet's error numbers (wininet.h), named here so the mapping builds everywhere.
constexpr uint32_t kWinInetTimeout = 12002;
constexpr uint32_t kWinInetExtendedError = 12003;
constexpr uint32_t kWinInetNameNotResolved = 12007;
constexpr uint32_t kWinInetCannotConnect = 12029;
// The FTP answer of a file the server does not have (or will not give).
constexpr const char kFtpNoSuchFile[] = "550";

constexpr long kHttpNotFound = 404;
constexpr long kHttpGone = 410;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool HasAny(const std::string& lowered, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (lowered.find(word) != std::string::npos) return true;
    }
    return false;
}

// The first reply code of a server answer, skipping the line breaks WinINet leaves before it.
bool AnswerStartsWith(const std::string& answer, const char* code) {
    const size_t at = answer.find_first_not_of("\r\n ");
    return at != std::string::npos && answer.compare(at, std::char_traits<char>::length(code), code) == 0;
}

}  // namespace

FailureCause CertificateReason(const std::string& errorText) {
    const std::string text = Lower(errorText);
    // A revocation check that could not be made is no revocation.
    if (HasAny(text, {"revoked"})) return FailureCause::kCertificateRevoked;
    if (HasAny(text, {"expired", "not_time_valid", "not yet valid"})) return FailureCause::kCertificateExpired;
    if (HasAny(text, {"subject name", "name verification", "wrong_principal", "cn_no_match", "does not match",
                      "hostname mismatch", "ip address mismatch", "failed to match"})) {
        return FailureCause::kCertificateName;
    }
    if (HasAny(text, {"self-signed", "self signed", "issuer", "untrusted_root", "untrustedroot", "untrusted root",
                      "partial_chain", "e_chaining"})) {
        return FailureCause::kCertificateIssuer;
    }
    return FailureCause::kCertificate;
}

FailureCause CauseOfCurlResult(int code, const std::string& errorText) {
    switch (code) {
        case CURLE_OK: return FailureCause::kNone;
        case CURLE_OPERATION_TIMEDOUT: return FailureCause::kTimedOut;
        case CURLE_COULDNT_CONNECT: return FailureCause::kConnectionRefused;
        case CURLE_COULDNT_RESOLVE_HOST: return FailureCause::kHostUnknown;
        case CURLE_SSL_CACERT_BADFILE: return FailureCause::kCaFile;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ISSUER_ERROR: return CertificateReason(errorText);
        case CURLE_SSL_INVALIDCERTSTATUS: return FailureCause::kCertificateRevoked;
        case CURLE_SSL_CONNECT_ERROR:
            // Schannel reports some refusals of the chain as a failed handshake: only a text
            // that speaks of the certificate counts as one.
            if (!HasAny(Lower(errorText), {"certificate", "crypt_e_", "cert_e_", "cert_trust", "sec_e_cert"})) {
                return FailureCause::kNone;
            }
            return CertificateReason(errorText);
        default: return FailureCause::kNone;
    }
}

FailureCause CauseOfHttpStatus(long status) {
    return status == kHttpNotFound || status == kHttpGone ? FailureCause::kFileMissing : FailureCause::kNone;
}

FailureCause CauseOfWinInetError(uint32_t error, const std::string& serverAnswer) {
    switch (error) {
        case kWinInetTimeout: return FailureCause::kTimedOut;
        case kWinInetCannotConnect: return FailureCause::kConnectionRefused;
        case kWinInetNameNotResolved: return FailureCause::kHostUnknown;
        case kWinInetExtendedError:
            return AnswerStartsWith(serverAnswer, kFtpNoSuchFile) ? FailureCause::kFileMissing : FailureCause::kNone;
        default: return FailureCause::kNone;
    }
}
