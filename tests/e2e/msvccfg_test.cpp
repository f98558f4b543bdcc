// msvccfg.dll, built with the other compiler's ABI, loaded by the tool's own loader and called
// through the interface: each operation must arrive with its arguments (the plug-in records
// them) and hand back its answer. A mismatch of calling convention, virtual table layout or
// export name shows here as a failed load, a wrong argument, a wrong answer or a crash.
// Built into the i686 unit_tests.exe only, beside msvccfg.dll.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "platformcfg/plugin_loader.h"
#include "tests/app/scratch_dir.h"

namespace {

constexpr const char* kCallsFile = "plugin_calls.txt";

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

std::string LastLine(const std::string& text) {
    if (text.empty() || text.back() != '\n') return "<no line>";
    size_t start = text.find_last_of('\n', text.size() - 2);
    return text.substr(start == std::string::npos ? 0 : start + 1, text.size() - 1 - (start + 1));
}

class MsvcPluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        std::string module = platform::GetModulePath();
        PluginLoad load = LoadPlatformPlugin((module.substr(0, module.find_last_of("\\/")) + "\\msvccfg.dll").c_str());
        ASSERT_EQ(load.result, PluginLoadResult::kLoaded) << "msvccfg.dll beside unit_tests.exe, factory export";
        cfg_ = load.cfg;
    }

    // Runs one call; the plug-in's record of it must be the calls file's only new line.
    std::string RecordedLine(const std::function<void()>& call) {
        std::string before = dir_.Read(kCallsFile);
        if (before == "<missing>") before.clear();
        call();
        std::string after = dir_.Read(kCallsFile);
        if (after.compare(0, before.size(), before) != 0) return "<calls file rewritten>";
        return LastLine(after.substr(before.size()));
    }

    ScratchDir dir_{"msvccfg"};
    iUpdateCfg* cfg_ = nullptr;
};

struct IntCallCase {
    const char* name;
    std::string key;
    int answer;
    const char* recorded;
};

TEST_F(MsvcPluginTest, EveryOperationGetsItsArgumentsAndAnswers) {
    int initialized = -1;
    EXPECT_EQ(RecordedLine([&] { initialized = cfg_->Initialize("-user \"a b\" 42"); }),
              "initialize -user \"a b\" 42");
    EXPECT_EQ(initialized, 7);

    const char* platformName = nullptr;
    EXPECT_EQ(RecordedLine([&] { platformName = cfg_->GetString(kCfgKeyPlatformString); }),
              "getstring platfrom string");
    EXPECT_STREQ(platformName, "MSVC 插件");
    const char* other = nullptr;
    EXPECT_EQ(RecordedLine([&] { other = cfg_->GetString(kCfgKeyFtpAddress); }), "getstring ftp address");
    EXPECT_STREQ(other, "");

    const IntCallCase ints[] = {
        {"port", kCfgKeyFtpPort, 2121, "getint ftp port"},
        {"version", kCfgKeyPlatformVersion, 20003, "getint platfrom version"},
        {"first address", FtpIpKey(0), NetworkOrder(127, 0, 0, 1), "getint ftpip#0"},
        {"second address", FtpIpKey(1), NetworkOrder(127, 0, 0, 2), "getint ftpip#1"},
        {"end of list", FtpIpKey(2), 0, "getint ftpip#2"},
        {"last index", FtpIpKey(254), 0, "getint ftpip#254"},
    };
    for (const IntCallCase& c : ints) {
        int answer = 0;
        EXPECT_EQ(RecordedLine([&] { answer = cfg_->GetInt(c.key.c_str()); }), c.recorded) << c.name;
        EXPECT_EQ(answer, c.answer) << c.name;
    }

    int launched = 0;
    EXPECT_EQ(RecordedLine([&] { launched = cfg_->Launch("kvo03.exe"); }), "launch kvo03.exe");
    EXPECT_EQ(launched, 1);
}

TEST_F(MsvcPluginTest, InitializeRefusalArrives) {
    ASSERT_TRUE(dir_.Write("refuse_initialize", ""));
    int initialized = -1;
    EXPECT_EQ(RecordedLine([&] { initialized = cfg_->Initialize(""); }), "initialize ");
    EXPECT_EQ(initialized, 0);
}

}  // namespace
