// The reference plug-in updatecfg.dll, loaded as the tool loads it, answering from a
// settings file of the test's own beside a copy of the DLL.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platformcfg/plugin_loader.h"
#include "tests/app/scratch_dir.h"

namespace {

// "ftpip" block for index i: "ftpip", NUL, i, NUL.
std::string FtpIpKey(unsigned char index) {
    std::string key(kCfgKeyFtpIp);
    key += '\0';
    key += static_cast<char>(index);
    key += '\0';
    return key;
}

int NetworkOrder(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    const unsigned char bytes[4] = {a, b, c, d};
    int value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

class ReferencePluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        std::string module = platform::GetModulePath();
        std::string binDir = module.substr(0, module.find_last_of("\\/"));
        ASSERT_TRUE(platform::CopyFileTo((binDir + "\\updatecfg.dll").c_str(),
                                         (dir_.path() + "\\plugin_copy.dll").c_str(), false));
    }
    // Loads the copy; each test uses a fresh name so it gets its own instance.
    iUpdateCfg* Load(const std::string& dllName) {
        platform::CopyFileTo((dir_.path() + "\\plugin_copy.dll").c_str(), (dir_.path() + "\\" + dllName).c_str(),
                             false);
        PluginLoad load = LoadPlatformPlugin((dir_.path() + "\\" + dllName).c_str());
        return load.result == PluginLoadResult::kLoaded ? load.cfg : nullptr;
    }

    ScratchDir dir_{"plugin"};
};

TEST_F(ReferencePluginTest, AnswersEveryKeyFromSettings) {
    ASSERT_TRUE(dir_.Write("updatecfg.ini",
                           "[updatecfg]\r\n"
                           "platfrom string = \xB1\xBE\xB5\xD8\r\n"
                           "platfrom version = 20003\r\n"
                           "ftp address = update.example\r\n"
                           "ftp port = 2121\r\n"
                           "ftp directory = /kvo/\r\n"
                           "ftpip0 = 127.0.0.1\r\n"
                           "ftpip1 = 10.1.2.3\r\n"
                           "ftpip3 = 10.9.9.9\r\n"));
    iUpdateCfg* cfg = Load("answers.dll");
    ASSERT_NE(cfg, nullptr);
    ASSERT_NE(cfg->Initialize("-user a"), 0);

    EXPECT_STREQ(cfg->GetString(kCfgKeyPlatformString), "\xB1\xBE\xB5\xD8");
    EXPECT_STREQ(cfg->GetString(kCfgKeyFtpAddress), "update.example");
    EXPECT_STREQ(cfg->GetString(kCfgKeyFtpDirectory), "/kvo/");
    EXPECT_STREQ(cfg->GetString(kCfgKeyFtpAccount), "") << "an absent text key still gets an answer";
    EXPECT_EQ(cfg->GetString("no such key"), nullptr);
    EXPECT_EQ(cfg->GetInt(kCfgKeyFtpPort), 2121);
    EXPECT_EQ(cfg->GetInt(kCfgKeyPlatformVersion), 20003);

    struct IpCase {
        const char* name;
        unsigned char index;
        int expect;
    };
    const IpCase ips[] = {
        {"first", 0, NetworkOrder(127, 0, 0, 1)},
        {"second", 1, NetworkOrder(10, 1, 2, 3)},
        {"end of list", 2, 0},
        {"last index", 254, 0},
    };
    for (const IpCase& c : ips) {
        EXPECT_EQ(cfg->GetInt(FtpIpKey(c.index).c_str()), c.expect) << c.name;
    }
}

TEST_F(ReferencePluginTest, DefaultsWhenSettingsLeaveKeysOut) {
    ASSERT_TRUE(dir_.Write("updatecfg.ini", "[updatecfg]\r\n"));
    iUpdateCfg* cfg = Load("defaults.dll");
    ASSERT_NE(cfg, nullptr);
    ASSERT_NE(cfg->Initialize(""), 0);
    EXPECT_EQ(cfg->GetString(kCfgKeyPlatformString), nullptr);
    EXPECT_EQ(cfg->GetInt(kCfgKeyFtpPort), 21);
    EXPECT_EQ(cfg->GetInt(kCfgKeyPlatformVersion), 0);
    EXPECT_EQ(cfg->GetInt(FtpIpKey(0).c_str()), 0);
}

TEST_F(ReferencePluginTest, MissingPluginOrExportRefused) {
    EXPECT_EQ(LoadPlatformPlugin((dir_.path() + "\\absent.dll").c_str()).result, PluginLoadResult::kLibraryMissing);
    // A DLL without the factory: the system's own kernel32 will do.
    EXPECT_EQ(LoadPlatformPlugin("kernel32.dll").result, PluginLoadResult::kFactoryMissing);
}

}  // namespace
