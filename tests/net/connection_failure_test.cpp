// What the system's clients say when a request fails, as the causes a player can act on: the
// words of libcurl over OpenSSL (the host build) and over Schannel (the release), the HTTP
// status, and WinINet's errors with the FTP server's answer.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <string>
#include <vector>

#include "net/connection_failure.h"

namespace {

struct CurlCase {
    const char* name;
    int code;
    std::string text;
    FailureCause cause;
};

TEST(ConnectionFailure, CurlResultsNameTheirCause) {
    const std::vector<CurlCase> cases = {
        {"openssl-expired", CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate has expired",
         FailureCause::kCertificateExpired},
        {"openssl-self-signed", CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: self-signed certificate",
         FailureCause::kCertificateIssuer},
        {"openssl-unknown-authority", CURLE_PEER_FAILED_VERIFICATION,
         "SSL certificate problem: unable to get local issuer certificate", FailureCause::kCertificateIssuer},
        {"openssl-wrong-name", CURLE_PEER_FAILED_VERIFICATION,
         "SSL: no alternative certificate subject name matches target host name 'localhost'",
         FailureCause::kCertificateName},
        {"openssl-ip-literal", CURLE_PEER_FAILED_VERIFICATION,
         "SSL: no alternative certificate subject name matches target host name '127.0.0.1'",
         FailureCause::kCertificateName},
        {"openssl-bad-ca-file", CURLE_SSL_CACERT_BADFILE, "error setting certificate file: /x/ca.pem",
         FailureCause::kCaFile},
        {"schannel-expired", CURLE_PEER_FAILED_VERIFICATION,
         "schannel: CertGetCertificateChain trust error CERT_TRUST_IS_NOT_TIME_VALID",
         FailureCause::kCertificateExpired},
        {"schannel-untrusted-root", CURLE_PEER_FAILED_VERIFICATION,
         "schannel: CertGetCertificateChain trust error CERT_TRUST_IS_UNTRUSTED_ROOT",
         FailureCause::kCertificateIssuer},
        {"schannel-wrong-name", CURLE_PEER_FAILED_VERIFICATION,
         "schannel: CertGetNameString() failed to match connection hostname (localhost) against server certificate "
         "names",
         FailureCause::kCertificateName},
        {"schannel-revoked-in-handshake", CURLE_SSL_CONNECT_ERROR,
         "schannel: next InitializeSecurityContext failed: CRYPT_E_REVOKED (0x80092010) - The certificate is revoked.",
         FailureCause::kCertificateRevoked},
        // A revocation check that could not be made is no revocation, but still a refusal.
        {"schannel-revocation-offline", CURLE_SSL_CONNECT_ERROR,
         "schannel: next InitializeSecurityContext failed: CRYPT_E_REVOCATION_OFFLINE (0x80092013) - The revocation "
         "function was unable to check revocation because the revocation server was offline.",
         FailureCause::kCertificate},
        {"handshake-without-certificate-words", CURLE_SSL_CONNECT_ERROR,
         "schannel: next InitializeSecurityContext failed: SEC_E_ILLEGAL_MESSAGE (0x80090326)", FailureCause::kNone},
        {"verification-without-known-words", CURLE_PEER_FAILED_VERIFICATION, "", FailureCause::kCertificate},
        {"closed-port", CURLE_COULDNT_CONNECT,
         "Failed to connect to 127.0.0.1 port 1 after 0 ms: Couldn't connect to server",
         FailureCause::kConnectionRefused},
        {"timed-out", CURLE_OPERATION_TIMEDOUT, "Connection timed out after 30001 milliseconds",
         FailureCause::kTimedOut},
        {"unknown-host", CURLE_COULDNT_RESOLVE_HOST, "Could not resolve host: nohost.invalid",
         FailureCause::kHostUnknown},
        {"reset-mid-body", CURLE_RECV_ERROR, "Recv failure: Connection reset by peer", FailureCause::kNone},
        {"no-failure", CURLE_OK, "", FailureCause::kNone},
    };
    for (const CurlCase& c : cases) EXPECT_EQ(CauseOfCurlResult(c.code, c.text), c.cause) << c.name;
}

TEST(ConnectionFailure, OnlyAMissingFileStatusNamesACause) {
    const std::vector<std::pair<long, FailureCause>> cases = {
        {404, FailureCause::kFileMissing}, {410, FailureCause::kFileMissing}, {403, FailureCause::kNone},
        {500, FailureCause::kNone},        {200, FailureCause::kNone},
    };
    for (const auto& c : cases) EXPECT_EQ(CauseOfHttpStatus(c.first), c.second) << c.first;
}

struct WinInetCase {
    const char* name;
    uint32_t error;
    std::string answer;
    FailureCause cause;
};

TEST(ConnectionFailure, WinInetErrorsNameTheirCause) {
    const std::vector<WinInetCase> cases = {
        {"closed-port", 12029, "", FailureCause::kConnectionRefused},
        {"timed-out", 12002, "", FailureCause::kTimedOut},
        {"unknown-host", 12007, "", FailureCause::kHostUnknown},
        {"file-missing", 12003, "550 Failed to open file.", FailureCause::kFileMissing},
        {"file-missing-after-a-line-break", 12003, "\r\n550 No such file or directory.", FailureCause::kFileMissing},
        {"login-refused", 12003, "530 Login incorrect.", FailureCause::kNone},
        {"a-550-inside-another-answer", 12003, "421 Timeout after 550 seconds", FailureCause::kNone},
        {"connection-reset", 12031, "", FailureCause::kNone},
    };
    for (const WinInetCase& c : cases) EXPECT_EQ(CauseOfWinInetError(c.error, c.answer), c.cause) << c.name;
}

}  // namespace
