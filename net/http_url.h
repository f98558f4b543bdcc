// Addresses of the HTTP(S) transport: the URL of a remote path below a base, the bases a
// plug-in gives, and which redirects are followed.
#pragma once

#include <string>
#include <vector>

// The URL of the server's `remotePath` below `base` (an http:// or https:// address, with
// or without its final '/'): backslashes become slashes, a leading slash is dropped, and
// every byte other than letters, digits, "-._~/" is percent-encoded (file names may be GBK).
std::string HttpUrlOf(const std::string& base, const std::string& remotePath);

// Whether `text` begins with http:// or https:// (in any case) and names a host.
bool IsHttpBase(const std::string& text);

// The bases of a ';'-separated list, in order, spaces around each trimmed; only http:// and
// https:// entries are kept.
std::vector<std::string> SplitHttpBases(const std::string& list);

// Whether a redirect from `from` to `to` (both absolute) may be followed: to https, or to
// the same scheme, host and port. Anything else (a downgrade to plain http, a plain http
// address elsewhere, another protocol) is refused.
bool HttpRedirectAllowed(const std::string& from, const std::string& to);

// The proxy a request to `url` goes through under the system's proxy setting: `servers` as
// Windows keeps it ("host:port" for every scheme, or "scheme=host:port" entries separated by
// ';' or spaces; an https address with no "https=" entry goes directly) and `bypass` (hosts
// separated by ';' with '*' wildcards, "<local>" for names without a dot). The answer is
// "http://host:port" for libcurl, or "" to go directly.
std::string HttpProxyFor(const std::string& url, const std::string& servers, const std::string& bypass);
