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

}  // namespace
