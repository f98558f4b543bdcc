// The HTTP(S) client the session's primitives are made of when a run fetches from web
// servers: the "host" of a connection is a base address (http:// or https://), a remote
// path is fetched with GET below it, and a resumed open asks for the rest with Range. The
// retries, the watchdog, the stop request and the transfers above are the FTP session's.
#pragma once

#include <memory>
#include <string>

#include "net/ftp_client.h"

// How the client reaches servers. TLS servers (see tls_trust.h): the system's TLS layer
// checks them against the system's own trust, or libcurl checks the chain and the host name
// itself against a CA set given here; with neither, https:// is refused.
struct HttpClientOptions {
    // The system's TLS layer checks the servers against the system's trust; no CA set is
    // given to libcurl (never under Wine, whose TLS layer checks nothing).
    bool systemTrust = false;
    // A PEM file of the only authorities trusted; when empty, `caPem` is used.
    std::string caFile;
    // PEM text of the trusted authorities (the system's root store).
    std::string caPem;
    // Revocation: a revoked certificate is always refused; when set, a status that cannot be
    // learned (no revocation list, its server out of reach) is not.
    bool revocationBestEffort = true;
    // The system's proxy setting (see HttpProxyFor), applied to every request; when empty,
    // libcurl's own (the proxy environment variables).
    std::string proxyServers;
    std::string proxyBypass;
};

// A client over libcurl. Its connections refuse https:// bases when neither the system's
// trust nor a CA source is given.
std::shared_ptr<FtpClient> CreateHttpClient(const HttpClientOptions& options);
