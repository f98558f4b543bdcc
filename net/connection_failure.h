// What the system's clients answer when a connection or a request fails, mapped to the
// cause a player can act on: libcurl's result with its error text, the HTTP status, and
// WinINet's error with the FTP server's last answer.
#pragma once

#include <cstdint>
#include <string>

#include "common/failure_cause.h"

// The cause of a connection's last failure, and what the system said (for the debug log).
struct ConnectionFailure {
    FailureCause cause = FailureCause::kNone;
    std::string detail;
};

// A failed libcurl transfer: `code` its CURLcode, `errorText` its error buffer.
FailureCause CauseOfCurlResult(int code, const std::string& errorText);
// A final HTTP response that is not the file.
FailureCause CauseOfHttpStatus(long status);
// A failed WinINet call: `error` GetLastError's value, `serverAnswer` the FTP server's last
// response (InternetGetLastResponseInfo) when the error is the extended one.
FailureCause CauseOfWinInetError(uint32_t error, const std::string& serverAnswer);
// Why a certificate was refused, from the TLS layer's text (OpenSSL's or Schannel's words);
// kCertificate when the text names no reason known here.
FailureCause CertificateReason(const std::string& errorText);
