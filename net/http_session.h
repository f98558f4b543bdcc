// The session of an update run that fetches from web servers: the FTP session's requests,
// attempts, watchdog, stop request and progress reports, over the HTTP(S) client. The
// remote paths of the run are fetched below the base address (http:// or https://).
#pragma once

#include <string>
#include <vector>

#include "net/ftp_session.h"
#include "net/http_client.h"

class HttpSession : public FtpSession {
public:
    HttpSession(const std::string& base, const HttpClientOptions& options,
                const FtpWatchdogTiming& timing = FtpWatchdogTiming())
        : FtpSession(CreateHttpClient(options), base.c_str(), 0, "", "", timing) {}
    // Over mirrors: the first base first; a failed attempt (a dropped line, a refusal) or a
    // stall moves to the next, and a continued download goes on there at the byte reached.
    HttpSession(const std::vector<std::string>& bases, const HttpClientOptions& options,
                const FtpWatchdogTiming& timing = FtpWatchdogTiming())
        : HttpSession(bases.empty() ? std::string() : bases.front(), options, timing) {
        SetHostOrder(bases);
    }
};
