// The FTP session through the system's client against real servers on loopback addresses:
// vsftpd (as operators run it) and a server with chosen faults. The script
// tests/e2e/ftp.sh starts them and names them in the environment; without it the tests
// skip, so the plain unit test run stays self-contained.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "common/failure_cause.h"
#include "common/update_codes.h"
#include "net/ftp_client.h"
#include "net/ftp_policy.h"
#include "net/ftp_session.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/engine_test_support.h"

using enginetest::Exists;
using enginetest::ReadFile;
using enginetest::ScratchDir;
using enginetest::UiRecorder;

namespace {

// "address:port" from the environment variable `name`; false when it is not set.
bool ServerFromEnv(const char* name, std::string* host, uint16_t* port) {
    const char* value = std::getenv(name);
    if (value == nullptr || std::strchr(value, ':') == nullptr) return false;
    const std::string text = value;
    const size_t colon = text.find(':');
    *host = text.substr(0, colon);
    *port = static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1));
    return *port != 0;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

uint32_t Address(const std::string& dotted) {
    unsigned a, b, c, d;
    if (std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 0;
    const uint8_t bytes[4] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c),
                              static_cast<uint8_t>(d)};
    uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

// The served tree as this program sees it (KVO_FTP_TREE).
std::string Served(const std::string& relative) { return Env("KVO_FTP_TREE") + "/" + relative; }

class DirOverrideScope {
public:
    explicit DirOverrideScope(const char* word) { SetDownloadDirOverride(word); }
    ~DirOverrideScope() { SetDownloadDirOverride(""); }
};

class FtpLiveTest : public ::testing::Test {
protected:
    ScratchDir dir;
    UiRecorder ui;
};

TEST_F(FtpLiveTest, VsftpdFilesArriveWholeAndEmptyFilesStayEmpty) {
    std::string host;
    uint16_t port;
    if (!ServerFromEnv("KVO_FTP_VSFTPD", &host, &port)) GTEST_SKIP() << "KVO_FTP_VSFTPD not set";
    FtpSession session(host.c_str(), port, "anonymous", "");
    struct Case {
        const char* name;
        const char* remote;
        const char* local;
    } cases[] = {
        {"file of several reads", "download/good.bin", "good.bin"},
        {"empty file", "download/empty.txt", "empty.txt"},
        {"file into directories that do not exist yet", "download/sub/small.txt", "a/b/small.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(session.DownloadFile(c.remote, c.local, nullptr), 0) << c.name;
        const std::string expected = ReadFile(Served(c.remote));
        ASSERT_NE(expected, "<missing>") << c.name;
        EXPECT_EQ(ReadFile(c.local), expected) << c.name;
        EXPECT_EQ(session.GetRemoteFileSize(c.remote), static_cast<int64_t>(expected.size())) << c.name;
    }
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(session.DownloadToMemory("download/good.bin", &bytes, &size, nullptr), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), ReadFile(Served("download/good.bin")));
    EXPECT_EQ(session.DownloadFile("download/missing.bin", "missing.bin", nullptr), kResultFail);
    EXPECT_FALSE(Exists("missing.bin"));
    EXPECT_TRUE(ui.HasStatus("下载[download/missing.bin]失败"));
}

// What the system's client answers is named: a file vsftpd does not have (550), and a port
// on the same address nobody listens on. The line ends with the client's own words.
TEST_F(FtpLiveTest, AGivenUpRequestNamesWhyAsTheSystemsClientTellsIt) {
    std::string host;
    uint16_t port;
    if (!ServerFromEnv("KVO_FTP_VSFTPD", &host, &port)) GTEST_SKIP() << "KVO_FTP_VSFTPD not set";
    struct Case {
        const char* name;
        uint16_t port;
        const char* line;
        FailureCause cause;
    } cases[] = {
        {"file missing", port, "服务器上没有该文件 (WinINet 12003: 550", FailureCause::kFileMissing},
        // Port 1: privileged, so no test server of this machine can be listening there.
        {"closed port", 1, "服务器拒绝连接 (WinINet 12029", FailureCause::kConnectionRefused},
    };
    for (const Case& c : cases) {
        FtpSession session(host.c_str(), c.port, "anonymous", "");
        ui.statuses.clear();
        TakeRunFailureCause();
        EXPECT_EQ(session.DownloadFile("download/missing.bin", "missing.bin", nullptr), kResultFail) << c.name;
        ASSERT_FALSE(ui.statuses.empty()) << c.name;
        EXPECT_EQ(ui.statuses.back().rfind(c.line, 0), 0u) << c.name << ": " << ui.statuses.back();
        EXPECT_EQ(TakeRunFailureCause(), c.cause) << c.name;
    }
}

TEST_F(FtpLiveTest, OverrideDirectoryIsTriedFirstAndFallsBack) {
    std::string host;
    uint16_t port;
    if (!ServerFromEnv("KVO_FTP_VSFTPD", &host, &port)) GTEST_SKIP() << "KVO_FTP_VSFTPD not set";
    DirOverrideScope scope("v2");
    FtpSession session(host.c_str(), port, "anonymous", "");
    ASSERT_EQ(session.DownloadFile("download/sub/small.txt", "small.txt", nullptr), 0);
    EXPECT_EQ(ReadFile("small.txt"), ReadFile(Served("v2/sub/small.txt")));
    EXPECT_FALSE(DownloadDirOverrideFailed());
    ASSERT_EQ(session.DownloadFile("download/good.bin", "good.bin", nullptr), 0);
    EXPECT_EQ(ReadFile("good.bin"), ReadFile(Served("download/good.bin")));
    EXPECT_TRUE(DownloadDirOverrideFailed());
}

TEST_F(FtpLiveTest, FaultyServerNeverLeavesAShortFile) {
    std::string host;
    uint16_t port;
    if (!ServerFromEnv("KVO_FTP_FAULT", &host, &port)) GTEST_SKIP() << "KVO_FTP_FAULT not set";
    FtpSession session(host.c_str(), port, "kvo", "kvo");
    for (const char* remote : {"short-a.bin", "drop-a.bin"}) {
        ui.statuses.clear();
        EXPECT_EQ(session.DownloadFile(remote, "out.bin", nullptr), kResultFail) << remote;
        EXPECT_FALSE(Exists("out.bin")) << remote;
        EXPECT_TRUE(ui.HasStatus("重试[3/3]。。。")) << remote;
    }
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(session.DownloadToMemory("short-a.bin", &bytes, &size, nullptr), kResultFail);

    ui.statuses.clear();
    FtpSession refused(host.c_str(), port, "kvo", "wrong password");
    EXPECT_EQ(refused.GetRemoteFileSize("short-a.bin"), -1);
    EXPECT_EQ(ui.statuses.back(), "无法连接服务器");
}

TEST_F(FtpLiveTest, ReconnectionMovesToTheOtherServer) {
    std::string host, other;
    uint16_t port, otherPort;
    if (!ServerFromEnv("KVO_FTP_FAULT", &host, &port) || !ServerFromEnv("KVO_FTP_PLAIN", &other, &otherPort)) {
        GTEST_SKIP() << "KVO_FTP_FAULT / KVO_FTP_PLAIN not set";
    }
    ASSERT_EQ(port, otherPort);
    FtpSession session(host.c_str(), port, "kvo", "kvo");
    const uint32_t servers[] = {Address(host), Address(other)};
    session.SetServerList(servers, 2);
    ASSERT_EQ(session.DownloadFile("drop-a.bin", "drop-a.bin", nullptr), 0);
    EXPECT_EQ(session.CurrentHost(), other);
    EXPECT_EQ(ReadFile("drop-a.bin"), ReadFile(Served("drop-a.bin")));
}

TEST_F(FtpLiveTest, InterruptEndsAStalledTransferAtOnce) {
    std::string host;
    uint16_t port;
    if (!ServerFromEnv("KVO_FTP_FAULT", &host, &port)) GTEST_SKIP() << "KVO_FTP_FAULT not set";
    FtpSession session(host.c_str(), port, "kvo", "kvo");
    auto pending = std::async(std::launch::async, [&] { return session.DownloadFile("stall-b.bin", "stall.bin", nullptr); });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto start = std::chrono::steady_clock::now();
    InterruptCurrentTransfer();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_EQ(pending.get(), UPD_INTERRUPTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(FtpLiveTest, StalledTransferIsSkippedAfterThirtySecondsAndTheNextWorks) {
    std::string host;
    uint16_t port;
    if (!ServerFromEnv("KVO_FTP_FAULT", &host, &port) || Env("KVO_FTP_STALL") != "1") {
        GTEST_SKIP() << "KVO_FTP_FAULT / KVO_FTP_STALL=1 not set";
    }
    FtpSession session(host.c_str(), port, "kvo", "kvo");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session.DownloadFile("stall-a.bin", "stall.bin", nullptr), kResultSkipped);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::seconds(30));
    EXPECT_LE(took, std::chrono::seconds(33));
    ASSERT_EQ(session.DownloadFile("whole.bin", "next.bin", nullptr), 0);
    EXPECT_EQ(ReadFile("next.bin"), ReadFile(Served("whole.bin")));
}

struct LiveResumeCase {
    const char* name;
    const char* server;  // the environment variable naming it
    const char* user;
    const char* password;
};

// A download continued from a partial file through the system's client: TYPE I and REST
// before the transfer, against vsftpd and pyftpdlib. The partial holds marker bytes instead
// of the file's own, so a result that keeps them and ends with the file's tail shows that
// only the rest was sent.
TEST_F(FtpLiveTest, ADownloadContinuesFromThePartialFile) {
    const std::vector<LiveResumeCase> cases = {
        {"vsftpd", "KVO_FTP_VSFTPD", "anonymous", ""},
        {"pyftpdlib", "KVO_FTP_PLAIN", "kvo", "kvo"},
    };
    constexpr size_t kKept = 123457;
    for (const LiveResumeCase& c : cases) {
        std::string host;
        uint16_t port;
        if (!ServerFromEnv(c.server, &host, &port)) GTEST_SKIP() << c.server << " not set";
        const std::string served = ReadFile(Served("download/good.bin"));
        ASSERT_GT(served.size(), kKept) << c.name;
        const std::string marker(kKept, 'M');
        enginetest::WriteFile("part.bin", marker);
        FtpSession session(host.c_str(), port, c.user, c.password);
        EXPECT_EQ(session.ContinueFile("download/good.bin", "part.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("part.bin"), marker + served.substr(kKept)) << c.name;
    }
}

}  // namespace
