#include "platformcfg/reference/settings_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LookupCase {
    const char* name;
    std::string text;
    const char* key;
    const char* expect;  // null: not set
};

TEST(SettingsFileTest, KeysOfTheSectionOnly) {
    const LookupCase cases[] = {
        {"plain", "[updatecfg]\nftp address = 127.0.0.1\n", "ftp address", "127.0.0.1"},
        {"CR LF and tabs", "[updatecfg]\r\n\tftp port\t=\t2121\t\r\n", "ftp port", "2121"},
        {"GBK value kept byte for byte", "[updatecfg]\nplatfrom string = \xB1\xBE\xB5\xD8\n", "platfrom string",
         "\xB1\xBE\xB5\xD8"},
        {"equals sign inside value", "[updatecfg]\nhttp_1024 = http://h/p?a=1\n", "http_1024", "http://h/p?a=1"},
        {"empty value", "[updatecfg]\nftp password =\n", "ftp password", ""},
        {"last line without line end", "[updatecfg]\nftpip0=10.0.0.1", "ftpip0", "10.0.0.1"},
        {"later value wins", "[updatecfg]\nftp port = 1\nftp port = 2\n", "ftp port", "2"},
        {"key before any section", "ftp port = 21\n[updatecfg]\n", "ftp port", nullptr},
        {"key in another section", "[other]\nftp port = 21\n", "ftp port", nullptr},
        {"section closed by another", "[updatecfg]\n[other]\nftp port = 21\n", "ftp port", nullptr},
        {"semicolon comment", "[updatecfg]\n; ftp port = 21\n", "ftp port", nullptr},
        {"hash comment", "[updatecfg]\n# ftp port = 21\n", "ftp port", nullptr},
        {"line without equals", "[updatecfg]\nftp port\n", "ftp port", nullptr},
        {"unclosed section header", "[updatecfg\nftp port = 21\n", "ftp port", nullptr},
        {"key names are exact", "[updatecfg]\nFTP PORT = 21\n", "ftp port", nullptr},
    };
    for (const LookupCase& c : cases) {
        SettingsFile settings;
        ASSERT_TRUE(settings.Parse(c.text.data(), c.text.size())) << c.name;
        const std::string* value = settings.Find(c.key);
        if (c.expect == nullptr) {
            EXPECT_EQ(value, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(value, nullptr) << c.name;
        EXPECT_EQ(*value, c.expect) << c.name;
    }
}

TEST(SettingsFileTest, NulInsideValueKeptAsData) {
    const char raw[] = "[updatecfg]\nk = a\0b\n";
    const std::string text(raw, sizeof(raw) - 1);
    SettingsFile settings;
    ASSERT_TRUE(settings.Parse(text.data(), text.size()));
    const std::string* value = settings.Find("k");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, std::string("a\0b", 3));
}

TEST(SettingsFileTest, OversizedFileRefused) {
    std::string text = "[updatecfg]\nftp port = 21\n";
    text.resize(kSettingsMaxFileBytes + 1, ' ');
    SettingsFile settings;
    EXPECT_FALSE(settings.Parse(text.data(), text.size()));
    EXPECT_EQ(settings.Find("ftp port"), nullptr);
    text.resize(kSettingsMaxFileBytes);
    EXPECT_TRUE(settings.Parse(text.data(), text.size()));
    EXPECT_NE(settings.Find("ftp port"), nullptr);
}

}  // namespace
