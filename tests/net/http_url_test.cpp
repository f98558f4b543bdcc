// Addresses of the HTTP(S) transport: the URL of a remote path, the list of bases, and the
// redirects that are followed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_url.h"

namespace {

struct UrlCase {
    const char* name;
    const char* base;
    const char* remote;
    const char* url;
};

TEST(HttpUrlTest, RemotePathsBecomeEscapedUrlsBelowTheBase) {
    const std::vector<UrlCase> cases = {
        {"base-with-slash", "https://cdn.example.com/kvo/", "download/update.pak",
         "https://cdn.example.com/kvo/download/update.pak"},
        {"base-without-slash", "https://cdn.example.com/kvo", "download/update.pak",
         "https://cdn.example.com/kvo/download/update.pak"},
        {"leading-slash-dropped", "http://h/", "/a/b.txt", "http://h/a/b.txt"},
        {"backslashes", "http://h/", "data\\maps\\m1.dat", "http://h/data/maps/m1.dat"},
        {"space-and-specials", "http://h/", "a b#c?d%e", "http://h/a%20b%23c%3Fd%25e"},
        {"gbk-bytes", "http://h/", "\xD3\xCE\xCF\xB7.exe", "http://h/%D3%CE%CF%B7.exe"},
    };
    for (const UrlCase& c : cases) EXPECT_EQ(HttpUrlOf(c.base, c.remote), c.url) << c.name;
}

TEST(HttpUrlTest, ListsKeepOnlyHttpBasesInOrder) {
    EXPECT_EQ(SplitHttpBases(" https://a.example/x/ ; http://b.example:8080/;;ftp://c/; d.example/ ;HTTPS://E/"),
              (std::vector<std::string>{"https://a.example/x/", "http://b.example:8080/", "HTTPS://E/"}));
    EXPECT_TRUE(SplitHttpBases("").empty());
    EXPECT_TRUE(SplitHttpBases("https://").empty());
}

struct RedirectCase {
    const char* name;
    const char* from;
    const char* to;
    bool allowed;
};

TEST(HttpUrlTest, RedirectsAreFollowedOnlyToHttpsOrTheSameOrigin) {
    const std::vector<RedirectCase> cases = {
        {"https-elsewhere", "https://a.example/f", "https://cdn.example/f", true},
        {"http-to-https", "http://a.example/f", "https://a.example/f", true},
        {"http-same-host", "http://a.example/f", "http://a.example/g", true},
        {"http-same-host-default-port", "http://a.example/f", "http://A.EXAMPLE:80/g", true},
        {"http-other-host", "http://a.example/f", "http://b.example/f", false},
        {"http-same-host-other-port", "http://a.example/f", "http://a.example:8080/f", false},
        {"https-downgraded", "https://a.example/f", "http://a.example/f", false},
        {"user-info-hides-the-host", "http://a.example/f", "http://a.example@b.example/f", false},
        {"other-protocol", "http://a.example/f", "ftp://a.example/f", false},
        {"file-url", "https://a.example/f", "file:///etc/passwd", false},
        {"not-absolute", "https://a.example/f", "/g", false},
    };
    for (const RedirectCase& c : cases) EXPECT_EQ(HttpRedirectAllowed(c.from, c.to), c.allowed) << c.name;
}

struct ProxyCase {
    const char* name;
    const char* url;
    const char* servers;
    const char* bypass;
    const char* proxy;  // "" goes directly
};

// The system's proxy setting as Windows keeps it, applied to one request's address.
TEST(HttpUrlTest, TheSystemProxySettingChoosesTheProxyOrTheDirectWay) {
    const std::vector<ProxyCase> cases = {
        {"one-server-for-every-scheme", "https://cdn.example.com/kvo/x", "proxy:8080", "", "http://proxy:8080"},
        {"https-entry", "https://cdn.example.com/x", "http=p1:80;https=p2:8443", "", "http://p2:8443"},
        {"http-entry", "http://cdn.example.com/x", "http=p1:80;https=p2:8443", "", "http://p1:80"},
        {"entries-upper-case-and-spaced", "https://cdn.example.com/x", "HTTP=p1:80 HTTPS=p2:8443", "",
         "http://p2:8443"},
        {"https-without-its-entry-goes-directly", "https://cdn.example.com/x", "http=p1:80;ftp=f:21", "", ""},
        {"setting-with-its-own-scheme", "https://cdn.example.com/x", "http://proxy:3128", "", "http://proxy:3128"},
        {"no-setting", "https://cdn.example.com/x", "", "", ""},
        {"bypassed-by-wildcard", "https://cdn.example.com/x", "proxy:8080", "*.example.com", ""},
        {"bypass-ignores-case-and-port", "https://CDN.Example.com:8443/x", "proxy:8080", "intra;*.EXAMPLE.com", ""},
        {"bypass-for-another-host", "https://cdn.example.com/x", "proxy:8080", "*.example.org;cdn", "http://proxy:8080"},
        {"local-bypasses-names-without-a-dot", "http://updates/x", "proxy:8080", "<local>", ""},
        {"local-keeps-dotted-names", "https://cdn.example.com/x", "proxy:8080", "<local>", "http://proxy:8080"},
        {"user-info-is-not-the-host", "https://cdn.example.com@inside/x", "proxy:8080", "<local>", ""},
    };
    for (const ProxyCase& c : cases) EXPECT_EQ(HttpProxyFor(c.url, c.servers, c.bypass), c.proxy) << c.name;
}

}  // namespace
