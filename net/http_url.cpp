#include "net/http_url.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr const char kHttp[] = "http";
constexpr const char kHttps[] = "https";
constexpr const char kSchemeEnd[] = "://";
constexpr const char kUnreservedMarks[] = "-._~/";

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The scheme (lowered) and authority (lowered, without user info) of an absolute URL; both
// empty when it has none.
struct Origin {
    std::string scheme;
    std::string authority;
};

Origin OriginOf(const std::string& url) {
    Origin origin;
    const size_t schemeEnd = url.find(kSchemeEnd);
    if (schemeEnd == std::string::npos || schemeEnd == 0) return origin;
    const size_t start = schemeEnd + sizeof(kSchemeEnd) - 1;
    const size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    if (authority.empty()) return origin;
    origin.scheme = Lowered(url.substr(0, schemeEnd));
    origin.authority = Lowered(authority);
    return origin;
}

// The authority with the scheme's default port made explicit, so "host" and "host:443"
// compare equal under https.
std::string WithPort(const Origin& origin) {
    const size_t close = origin.authority.rfind(']');
    const size_t colon = origin.authority.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) return origin.authority;
    return origin.authority + (origin.scheme == kHttps ? ":443" : ":80");
}

bool Unreserved(unsigned char c) {
    if (std::isalnum(c) && c < 0x80) return true;
    for (const char* m = kUnreservedMarks; *m != '\0'; ++m) {
        if (c == static_cast<unsigned char>(*m)) return true;
    }
    return false;
}

}  // namespace

std::string HttpUrlOf(const std::string& base, const std::string& remotePath) {
    std::string url = base;
    if (url.empty() || url.back() != '/') url += '/';
    size_t from = 0;
    while (from < remotePath.size() && (remotePath[from] == '/' || remotePath[from] == '\\')) ++from;
    for (size_t i = from; i < remotePath.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(remotePath[i] == '\\' ? '/' : remotePath[i]);
        if (Unreserved(c)) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof(escaped), "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}

bool IsHttpBase(const std::string& text) {
    const Origin origin = OriginOf(text);
    return (origin.scheme == kHttp || origin.scheme == kHttps) && !origin.authority.empty();
}

std::vector<std::string> SplitHttpBases(const std::string& list) {
    std::vector<std::string> bases;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(start, end - start);
        const size_t first = entry.find_first_not_of(" \t");
        const size_t last = entry.find_last_not_of(" \t");
        entry = first == std::string::npos ? std::string() : entry.substr(first, last - first + 1);
        if (IsHttpBase(entry)) bases.push_back(entry);
        start = end + 1;
    }
    return bases;
}

bool HttpRedirectAllowed(const std::string& from, const std::string& to) {
    const Origin source = OriginOf(from);
    const Origin target = OriginOf(to);
    if (target.authority.empty()) return false;
    if (target.scheme == kHttps) return true;
    return target.scheme == kHttp && source.scheme == kHttp && WithPort(source) == WithPort(target);
}

namespace {

constexpr const char kLocalNames[] = "<local>";
constexpr const char kProxySeparators[] = "; \t";
constexpr const char kProxyScheme[] = "http://";

// The host of an authority, without its port or IPv6 brackets.
std::string HostOf(const std::string& authority) {
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        return close == std::string::npos ? authority : authority.substr(1, close - 1);
    }
    return authority.substr(0, authority.find(':'));
}

std::vector<std::string> Entries(const std::string& list, const char* separators) {
    std::vector<std::string> entries;
    size_t at = 0;
    while (at < list.size()) {
        const size_t end = list.find_first_of(separators, at);
        const std::string entry = list.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!entry.empty()) entries.push_back(entry);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return entries;
}

// '*' matches any run of characters; everything else itself, letter case ignored.
bool WildcardMatch(const std::string& pattern, const std::string& text) {
    size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[p])) ==
                                              std::tolower(static_cast<unsigned char>(text[t]))) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool Bypassed(const std::string& host, const std::string& bypass) {
    for (const std::string& entry : Entries(bypass, kProxySeparators)) {
        if (Lowered(entry) == kLocalNames ? host.find('.') == std::string::npos : WildcardMatch(entry, host)) {
            return true;
        }
    }
    return false;
}

// The "host:port" of the entry for `scheme`: the one without a scheme, else "scheme=...".
std::string ServerFor(const std::string& scheme, const std::string& servers) {
    std::string chosen;
    for (const std::string& entry : Entries(servers, kProxySeparators)) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) return entry;
        if (Lowered(entry.substr(0, equals)) == scheme) chosen = entry.substr(equals + 1);
    }
    return chosen;
}

}  // namespace

std::string HttpProxyFor(const std::string& url, const std::string& servers, const std::string& bypass) {
    const Origin origin = OriginOf(url);
    if (origin.authority.empty() || Bypassed(HostOf(origin.authority), bypass)) return std::string();
    std::string server = ServerFor(origin.scheme, servers);
    if (server.empty()) return std::string();
    // The setting may carry a scheme of its own ("http://host:port").
    if (server.find(kSchemeEnd) == std::string::npos) server = kProxyScheme + server;
    return server;
}
