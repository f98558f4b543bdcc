// Where the candidates come from, in which order, what the player is told, and the pick
// after a probe of responders on loopback addresses of this machine.
#include "net/server_select.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/show_status.h"
#include "net/server_select_options.h"
#include "net/server_select_rules.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "tests/app/scratch_dir.h"
#include "tests/net/probe_peer.h"

namespace {

const char kChoosing[] = "正在选择最佳更新服务器";
const char kNoDns[] = "无法通过DNS解析获取服务器列表，切换为配置库IP更新模式";
const char kNoPlugin[] = "无法通过配置库获取服务器列表，切换为指定IP更新模式";

// Probe wait of these tests: nobody answers in the source-order table.
constexpr uint32_t kShortWaitMs = 300;

uint32_t Ip(const char* text) {
    uint32_t address = 0;
    ParseIpv4Address(text, &address);
    return address;
}

// A plug-in that answers "ftp address" and the "ftpip" keys from lists, and records the
// indices it was asked for.
class FakeCfg : public iUpdateCfg {
public:
    int Initialize(const char*) override { return 1; }
    const char* GetString(const char* key) override {
        return std::strcmp(key, kCfgKeyFtpAddress) == 0 && !ftpAddress.empty() ? ftpAddress.c_str() : nullptr;
    }
    int GetInt(const char* key) override {
        if (std::strcmp(key, kCfgKeyFtpIp) != 0 || key[kFtpIpIndexOffset + 1] != '\0') return 0;
        const unsigned index = static_cast<unsigned char>(key[kFtpIpIndexOffset]);
        asked.push_back(index);
        if (answerAlways != 0) return static_cast<int>(answerAlways);
        return index < addresses.size() ? static_cast<int>(addresses[index]) : 0;
    }
    int Launch(const char*) override { return 0; }

    std::string ftpAddress;
    std::vector<uint32_t> addresses;
    uint32_t answerAlways = 0;
    std::vector<unsigned> asked;
};

std::vector<std::string> g_status;
bool RecordStatus(char* copy, size_t length) {
    g_status.emplace_back(copy, length >= 2 ? length - 2 : length);  // without CR LF
    FreeStatusCopy(copy);
    return true;
}

uint32_t g_randomValue = 0;
uint32_t FixedRandom() { return g_randomValue; }

class ServerSelectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        g_status.clear();
        g_randomValue = 0;
        previous_ = SetStatusReceiver(&RecordStatus);
        options_.upipPath = kUpipFileName;  // in the scratch directory, the current one
        options_.fallback[0] = TestLoopbackAddress(240);
        options_.fallback[1] = TestLoopbackAddress(241);
        options_.probeWaitMs = kShortWaitMs;
        options_.random = FixedRandom;
    }
    void TearDown() override {
        SetStatusReceiver(previous_);
        SetPlatformConfig(nullptr);
    }

    ScratchDir dir_{"select"};
    StatusReceiver previous_ = nullptr;
    ServerSelectOptions options_;
};

enum class Plugin { None, Lists, AlwaysBroadcast, Forty };

struct SourceCase {
    const char* name;
    const char* upip;  // null: no file
    const char* addressText;
    Plugin plugin;
    std::vector<uint32_t> pluginAddresses;
    // Expected: the result is the first candidate (random value 0), or `literal`.
    uint32_t literal;
    std::vector<uint32_t> candidates;  // exact list; empty with `minCount` > 0: checked by size only
    uint32_t minCount;
    std::vector<std::string> status;
    std::vector<unsigned> asked;  // "ftpip" indices asked for, in order
    bool probed;
};

std::vector<unsigned> Range(unsigned count) {
    std::vector<unsigned> indices(count);
    for (unsigned i = 0; i < count; ++i) indices[i] = i;
    return indices;
}

TEST_F(ServerSelectTest, SourcesInOrder) {
    const uint32_t a = TestLoopbackAddress(221), b = TestLoopbackAddress(222);
    const uint32_t f1 = options_.fallback[0], f2 = options_.fallback[1];
    const SourceCase cases[] = {
        {"upip.inf beats every other source", "192.0.2.1\n192.0.2.2\n", "127.0.0.9", Plugin::Lists, {a}, 0,
         {Ip("192.0.2.1"), Ip("192.0.2.2")}, 0, {}, {}, false},
        {"upip.inf without addresses gives 0", "update.example.com\n", "127.0.0.9", Plugin::Lists, {a}, 0, {}, 0, {},
         {}, false},
        {"empty upip.inf gives 0", "", "localhost", Plugin::Lists, {a}, 0, {}, 0, {}, {}, false},
        {"literal address used directly", nullptr, "127.0.0.9", Plugin::Lists, {a}, Ip("127.0.0.9"), {}, 0, {}, {},
         false},
        {"host name through DNS", nullptr, "localhost", Plugin::Lists, {a}, 0, {}, 1, {kChoosing}, {}, true},
        {"plug-in addresses when there is no name", nullptr, "", Plugin::Lists, {a, b}, 0, {a, b}, 0, {kNoDns},
         {0, 1, 2}, true},
        {"fallbacks when the plug-in has none", nullptr, "", Plugin::Lists, {}, 0, {f1, f2}, 0, {kNoDns, kNoPlugin},
         {0}, true},
        {"fallbacks without a plug-in", nullptr, nullptr, Plugin::None, {}, 0, {f1, f2}, 0, {kNoDns, kNoPlugin}, {},
         true},
        {"plug-in asked at most 255 times", nullptr, "", Plugin::AlwaysBroadcast, {}, 0, {f1, f2}, 0,
         {kNoDns, kNoPlugin}, Range(255), true},
        {"plug-in list ends at 32 candidates", nullptr, "", Plugin::Forty, {}, 0, {}, 32, {kNoDns}, Range(32), true},
    };
    for (const SourceCase& c : cases) {
        g_status.clear();
        platform::RemoveFile(kUpipFileName);
        if (c.upip != nullptr) {
            ASSERT_TRUE(dir_.Write(kUpipFileName, c.upip)) << c.name;
        }
        FakeCfg cfg;
        cfg.addresses = c.pluginAddresses;
        if (c.plugin == Plugin::AlwaysBroadcast) cfg.answerAlways = 0xFFFFFFFFu;
        if (c.plugin == Plugin::Forty) {
            for (unsigned i = 0; i < 40; ++i) cfg.addresses.push_back(TestLoopbackAddress(100 + i));
        }
        ServerCandidates list = {};

        const uint32_t start = platform::TickCountMs();
        const uint32_t result =
            SelectUpdateServerWith(c.addressText, c.plugin == Plugin::None ? nullptr : &cfg, nullptr, list, options_);
        const uint32_t elapsed = platform::TickCountMs() - start;

        const std::vector<uint32_t> got(list.address, list.address + list.count);
        if (c.minCount > 0) {
            EXPECT_GE(list.count, c.minCount) << c.name;
        } else {
            EXPECT_EQ(got, c.candidates) << c.name;
        }
        EXPECT_EQ(result, c.literal != 0 ? c.literal : (list.count > 0 ? list.address[0] : 0u)) << c.name;
        EXPECT_EQ(g_status, c.status) << c.name;
        EXPECT_EQ(cfg.asked, c.asked) << c.name;
        if (c.probed) {
            EXPECT_GE(elapsed + 20, kShortWaitMs) << c.name;
        } else {
            EXPECT_LT(elapsed, kShortWaitMs / 2) << c.name << ": nothing may be probed";
            for (uint32_t i = 0; i < list.count; ++i) EXPECT_EQ(list.rtt[i], 0u) << c.name;
        }
    }
}

// "localhost" resolves to 127.0.0.1, whose responder answers the probe.
TEST_F(ServerSelectTest, LocalhostThroughNameServiceAndProbe) {
    ProbePeer peer(Ip("127.0.0.1"), {});
    if (!peer.ok()) GTEST_SKIP() << "port 10874 of 127.0.0.1 is taken on this machine";
    ServerCandidates list = {};
    EXPECT_EQ(SelectUpdateServerWith("localhost", nullptr, nullptr, list, options_), Ip("127.0.0.1"));
    const uint32_t* end = list.address + list.count;
    const uint32_t* at = std::find(static_cast<const uint32_t*>(list.address), end, Ip("127.0.0.1"));
    ASSERT_NE(at, end);
    EXPECT_LT(list.rtt[at - list.address], kShortWaitMs);
    EXPECT_GE(peer.answers(), 1u);
}

struct PickCase {
    const char* name;
    uint32_t delayFirst, delaySecond;
    uint32_t randomValue;
    int expectIndex;
};

// Candidates within 100 ms of the fastest time may be picked; slower ones never are.
TEST_F(ServerSelectTest, PickAfterProbe) {
    if (!ProbePeersAvailable()) GTEST_SKIP() << kNoProbePeers;
    options_.probeWaitMs = 700;
    const PickCase cases[] = {
        {"both within the margin: first", 0, 60, 0, 0},
        {"both within the margin: second", 0, 60, 1, 1},
        {"slower beyond the margin never picked", 0, 320, 1, 0},
        {"slower first in the list never picked", 320, 0, 0, 1},
    };
    unsigned slot = 60;
    for (const PickCase& c : cases) {
        const uint32_t first = TestLoopbackAddress(slot++), second = TestLoopbackAddress(slot++);
        ProbePeerBehaviour slowFirst, slowSecond;
        slowFirst.delayMs = c.delayFirst;
        slowSecond.delayMs = c.delaySecond;
        ProbePeer peerFirst(first, slowFirst), peerSecond(second, slowSecond);
        ASSERT_TRUE(peerFirst.ok() && peerSecond.ok()) << c.name;
        FakeCfg cfg;
        cfg.addresses = {first, second};
        g_randomValue = c.randomValue;
        ServerCandidates list = {};
        const uint32_t result = SelectUpdateServerWith("", &cfg, nullptr, list, options_);
        EXPECT_EQ(result, c.expectIndex == 0 ? first : second) << c.name;
        EXPECT_EQ(list.count, 2u) << c.name;
        EXPECT_NE(list.rtt[0], kNoAnswer) << c.name;
        EXPECT_NE(list.rtt[1], kNoAnswer) << c.name;
    }
}

// The update run's entry reads "ftp address" from the process-wide plug-in and "upip.inf"
// from the current directory.
TEST_F(ServerSelectTest, RunEntryReadsPluginAndCurrentDirectory) {
    FakeCfg cfg;
    cfg.ftpAddress = "127.0.0.9";
    SetPlatformConfig(&cfg);
    ServerCandidates list = {};
    EXPECT_EQ(SelectUpdateServer(list), Ip("127.0.0.9"));
    EXPECT_EQ(list.count, 0u);

    ASSERT_TRUE(dir_.Write(kUpipFileName, "127.0.0.7 127.0.0.8"));
    list = {};
    EXPECT_EQ(SelectUpdateServer(list), Ip("127.0.0.7"));
    EXPECT_EQ(list.count, 2u);
    EXPECT_TRUE(g_status.empty());
}

TEST(ServerSelectFallbackTest, BuiltInServersAreTwoAddresses) {
    const ServerSelectOptions options = DefaultServerSelectOptions();
    for (uint32_t address : options.fallback) EXPECT_TRUE(IsServerAddress(address)) << FallbackServerText();
    EXPECT_NE(options.random, nullptr);
}

}  // namespace
