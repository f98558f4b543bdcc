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
