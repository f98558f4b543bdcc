// The FTP session over a scripted client: retries and their texts, server switching, the
// download-directory override, transfers with faults, progress reports, the watchdog and
// Interrupt.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

#include "common/failure_cause.h"
#include "common/notifier.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_pk_writer.h"
#include "net/ftp_policy.h"
#include "net/ftp_session.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/engine_test_support.h"
#include "tests/net/ftp_scripted_client.h"

using enginetest::Exists;
using enginetest::ReadFile;
using enginetest::ScratchDir;
using enginetest::UiRecorder;
using enginetest::WriteFile;
using ftptest::Fault;
using ftptest::ScriptedFile;
using ftptest::ScriptedServer;

namespace {

constexpr const char* kHost = "127.0.0.2";

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

ScriptedFile File(const std::string& data) {
    ScriptedFile f;
    f.data = data;
    return f;
}

ScriptedFile Faulty(const std::string& data, Fault fault, size_t cut, int faultyOpens = -1) {
    ScriptedFile f = File(data);
    f.fault = fault;
    f.cut = cut;
    f.faultyOpens = faultyOpens;
    return f;
}

ScriptedFile ZeroAnnounced(const std::string& data, bool sizeKnown = true) {
    ScriptedFile f = File(data);
    f.announceZero = true;
    f.sizeKnown = sizeKnown;
    return f;
}

// One download notification as the window gets it.
struct Progress {
    uint32_t message;
    uint32_t done;
    uint32_t total;
    bool operator==(const Progress& o) const { return message == o.message && done == o.done && total == o.total; }
};

// The run's real progress sink over a notifier that records what reaches the window.
class RecordingSink : public Notifier {
public:
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override {
        std::lock_guard<std::mutex> hold(lock);
        calls.push_back({message, wParam, lParam});
    }
    void PostRestart(const char*) override {}
    size_t Count() {
        std::lock_guard<std::mutex> hold(lock);
        return calls.size();
    }
    ProgressSink* sink() { return &sink_; }
    std::mutex lock;
    std::vector<Progress> calls;

private:
    ProgressSink sink_{this};
};

// Short watchdog times, so a stall costs a fraction of a second.
FtpWatchdogTiming QuickWatchdog() {
    FtpWatchdogTiming t;
    t.pollMs = 20;
    t.idleLimitMs = 300;
    t.graceMs = 100;
    return t;
}

class FtpSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<FtpSession> Open(const FtpWatchdogTiming& timing = FtpWatchdogTiming()) {
        return std::unique_ptr<FtpSession>(new FtpSession(server, kHost, 21, "user", "pass", timing));
    }
    std::vector<std::string> StatusesWithout(const char* prefix) {
        std::vector<std::string> out;
        for (const std::string& s : ui.statuses) {
            if (s.compare(0, std::strlen(prefix), prefix) != 0) out.push_back(s);
        }
        return out;
    }

    ScratchDir dir;
    UiRecorder ui;
    std::shared_ptr<ScriptedServer> server = std::make_shared<ScriptedServer>();
};

TEST_F(FtpSessionTest, FourRefusedConnectionsShowEachRetryThenTheConnectionText) {
    server->Refuse(kHost);
    auto session = Open();
    EXPECT_EQ(session->GetRemoteFileSize("download/a.bin"), -1);
    const std::vector<std::string> expected = {
        "当前自动选择的 FTP 为 127.0.0.2！", "重试[1/3]。。。", "当前自动选择的 FTP 为 127.0.0.2！", "重试[2/3]。。。",
        "当前自动选择的 FTP 为 127.0.0.2！", "重试[3/3]。。。", "当前自动选择的 FTP 为 127.0.0.2！", "无法连接服务器"};
    EXPECT_EQ(ui.statuses, expected);
    EXPECT_EQ(server->Connects().size(), 4u);
}

TEST_F(FtpSessionTest, EachOperationShowsItsOwnTextWhenTheFileFailsFourTimes) {
    server->Put("short.bin", Faulty(Pattern(5000), Fault::kShort, 100));
    auto session = Open();
    uint8_t buffer[128];
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    struct Case {
        const char* name;
        std::function<bool()> fails;
        const char* finalText;
    } cases[] = {
        {"size of a missing file", [&] { return session->GetRemoteFileSize("missing.bin") == -1; },
         "检测远程文件[missing.bin]大小失败"},
        {"direct fetch of a missing file", [&] { return session->FetchToMemory("missing.bin", buffer, 128, nullptr) == -1; },
         "下载[missing.bin]失败"},
        {"file request of a missing file",
         [&] { return session->DownloadFile("missing.bin", "out.bin", nullptr) == kResultFail; }, "下载[missing.bin]失败"},
        {"file request that always comes short",
         [&] { return session->DownloadFile("short.bin", "out.bin", nullptr) == kResultFail; }, "下载[short.bin]失败"},
        {"memory request that always comes short",
         [&] { return session->DownloadToMemory("short.bin", &bytes, &size, nullptr) == kResultFail; },
         "下载[short.bin]失败"},
    };
    for (const Case& c : cases) {
        ui.statuses.clear();
        EXPECT_TRUE(c.fails()) << c.name;
        const std::vector<std::string> expected = {"重试[1/3]。。。", "重试[2/3]。。。", "重试[3/3]。。。", c.finalText};
        EXPECT_EQ(StatusesWithout("当前"), expected) << c.name;
        EXPECT_FALSE(Exists("out.bin")) << c.name;
    }
}

TEST_F(FtpSessionTest, FileDownloadsArriveWholeOrNotAtAll) {
    const std::string big = Pattern(300000);
    struct Case {
        const char* name;
        ScriptedFile file;
        const char* local;
        int32_t result;
        std::string content;  // "<missing>" when no file may remain
    } cases[] = {
        {"whole file", File(big), "a/b/out.bin", 0, big},
        {"zero announced, server tells the true size", ZeroAnnounced(big), "out1.bin", 0, big},
        {"zero announced, file really empty", ZeroAnnounced(""), "out2.bin", 0, ""},
        {"zero announced, size unknown: read to the end", ZeroAnnounced(big, false), "out3.bin", 0, big},
        {"short once, whole on the retry", Faulty(big, Fault::kShort, 70000, 1), "out4.bin", 0, big},
        {"dropped once, whole on the retry", Faulty(big, Fault::kDrop, 1000, 1), "out5.bin", 0, big},
        {"always short", Faulty(big, Fault::kShort, 70000), "out6.bin", kResultFail, "<missing>"},
        {"zero announced and always short", [&] {
             ScriptedFile f = Faulty(big, Fault::kShort, 1000);
             f.announceZero = true;
             return f;
         }(), "out7.bin", kResultFail, "<missing>"},
    };
    auto session = Open();
    for (const Case& c : cases) {
        server->Put(c.name, c.file);
        EXPECT_EQ(session->DownloadFile(c.name, c.local, nullptr), c.result) << c.name;
        EXPECT_EQ(ReadFile(c.local), c.content) << c.name;
    }
}

// A request is bounded by the size its caller expects: a file announced larger is refused
// before any byte is read, and a body that runs past the bound (announced smaller, or of no
// announced size, or endless) is cut one byte past it and fails at once, without retries and
// leaving nothing behind.
TEST_F(FtpSessionTest, TransfersStopAtTheCallersBound) {
    constexpr uint64_t kBound = 100000;
    const std::string exact = Pattern(kBound);
    const std::string longer = Pattern(kBound + 1);
    auto endless = [](const std::string& data, int64_t announce, bool zero) {
        ScriptedFile f = Faulty(data, Fault::kEndless, data.size());
        f.announce = announce;
        f.announceZero = zero;
        f.sizeKnown = !zero;
        return f;
    };
    struct Case {
        const char* name;
        ScriptedFile file;
        int32_t result;
        std::string content;  // "<missing>" when no file may remain
        uint64_t maxFiller;   // the most filler bytes the transfer may pull
    } cases[] = {
        {"good-exactly-the-bound", File(exact), 0, exact, 0},
        {"bad-one-byte-over", File(longer), kResultFail, "<missing>", 0},
        {"bad-announced-four-gigabytes-endless", endless("", 4000000000LL, false), kResultFail, "<missing>", 0},
        {"good-read-stops-at-the-announced-size", endless(exact, -1, false), 0, exact, 0},
        {"bad-unknown-size-endless", endless("", -1, true), kResultFail, "<missing>", kBound + 1},
    };
    auto session = Open();
    for (const Case& c : cases) {
        server->fillerBytes = 0;
        server->Put(c.name, c.file);
        ui.statuses.clear();
        EXPECT_EQ(session->DownloadFile(c.name, "out.bin", nullptr, kBound), c.result) << c.name;
        EXPECT_EQ(ReadFile("out.bin"), c.content) << c.name;
        EXPECT_LE(server->fillerBytes.load(), c.maxFiller) << c.name;
        if (c.result != 0) {
            const std::vector<std::string> once = {std::string("下载的文件[") + c.name + "]数据异常！！！"};
            EXPECT_EQ(StatusesWithout("当前"), once) << c.name;
        }
        platform::RemoveFile("out.bin");

        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(session->DownloadToMemory(c.name, &bytes, &size, nullptr, kBound), c.result) << c.name << " in memory";
        if (c.result == 0) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), c.content) << c.name;
        }
    }
}

struct OpenOnceCase {
    const char* name;
    ScriptedFile file;
    int sizeOpens;  // opens a size question may cost (only when the server cannot tell the size)
};

// Every open starts the server sending the file, so each download opens its file once,
// whether or not the server announces the size when it opens (WinINet under Wine never
// does), and a size question opens nothing when the server can answer it.
TEST_F(FtpSessionTest, EachFileIsOpenedOnce) {
    const std::string data = Pattern(3000);
    const std::vector<OpenOnceCase> cases = {
        {"announced", File(data), 0},
        {"announced-zero-size-known", ZeroAnnounced(data), 0},
        {"announced-zero-size-unknown", ZeroAnnounced(data, false), 1},
        {"empty-file", ZeroAnnounced(""), 0},
    };
    auto session = Open();
    for (const OpenOnceCase& c : cases) {
        server->Put(c.name, c.file);
        const std::string& content = c.file.data;
        EXPECT_EQ(session->DownloadFile(c.name, "out.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("out.bin"), content) << c.name;
        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        const int32_t inMemory = session->DownloadToMemory(c.name, &bytes, &size, nullptr);
        // An empty file has no bytes to hand back from memory.
        EXPECT_EQ(inMemory, content.empty() ? kResultFail : 0) << c.name;
        EXPECT_EQ(session->GetRemoteFileSize(c.name), c.file.sizeKnown ? static_cast<int64_t>(content.size()) : 0)
            << c.name;
        std::lock_guard<std::mutex> hold(server->lock);
        EXPECT_EQ(server->openCount[c.name], 2 + c.sizeOpens) << c.name;
    }
}

struct ContinueCase {
    const char* name;
    size_t partial;      // bytes of the file already on disk (SIZE_MAX: no local file)
    bool serverResumes;  // the server honours REST
    Fault fault;         // what goes wrong on the first open
    size_t cut;          // where it goes wrong
    uint64_t served;     // file bytes the server sends in all
};

// A download continues a partial file from its length when the server resumes there, and
// fetches the file whole (never spliced) when it does not or the partial cannot be part of
// the file; an attempt cut short keeps its bytes, and the next attempt continues after them.
TEST_F(FtpSessionTest, AContinuedDownloadFetchesOnlyTheRestOrElseTheWholeFile) {
    constexpr size_t kSize = 20000;
    const std::string data = Pattern(kSize);
    const std::vector<ContinueCase> cases = {
        {"resumed-at-the-partial", 12000, true, Fault::kNone, 0, kSize - 12000},
        {"server-ignores-rest", 12000, false, Fault::kNone, 0, kSize},
        {"no-partial", SIZE_MAX, true, Fault::kNone, 0, kSize},
        {"empty-partial", 0, true, Fault::kNone, 0, kSize},
        {"partial-already-whole", kSize, true, Fault::kNone, 0, 0},
        {"partial-longer-than-the-file", kSize + 5000, true, Fault::kNone, 0, kSize},
        {"drop-then-continued", SIZE_MAX, true, Fault::kDrop, 8000, kSize},
        {"drop-after-a-resume", 4000, true, Fault::kDrop, 8000, kSize - 4000},
        {"drop-at-a-server-ignoring-rest", SIZE_MAX, false, Fault::kDrop, 8000, kSize + 8000},
    };
    auto session = Open();
    for (const ContinueCase& c : cases) {
        ScriptedFile file = c.fault == Fault::kNone ? File(data) : Faulty(data, c.fault, c.cut, 1);
        file.resumes = c.serverResumes;
        server->Put(c.name, file);
        platform::RemoveFile("part.bin");
        // The partial holds the file's own first bytes, so only a splice could corrupt it.
        if (c.partial != SIZE_MAX) WriteFile("part.bin", (data + Pattern(5000)).substr(0, c.partial));
        server->servedBytes = 0;
        EXPECT_EQ(session->ContinueFile(c.name, "part.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("part.bin"), data) << c.name;
        EXPECT_EQ(server->servedBytes.load(), c.served) << c.name;
    }
}

// A continued download keeps what arrived when every attempt fails, for a later run; a
// server that sends more than the bound gets the partial removed.
TEST_F(FtpSessionTest, AFailedContinuedDownloadKeepsItsBytesUnlessTheFileIsTooLarge) {
    constexpr size_t kSize = 20000;
    const std::string data = Pattern(kSize);
    server->Put("drops.bin", Faulty(data, Fault::kDrop, 6000));
    server->Put("big.bin", File(data));
    auto session = Open();
    platform::RemoveFile("part.bin");
    EXPECT_EQ(session->ContinueFile("drops.bin", "part.bin", nullptr), kResultFail);
    EXPECT_EQ(ReadFile("part.bin"), data.substr(0, 6000));
    EXPECT_EQ(session->ContinueFile("big.bin", "part.bin", nullptr, kSize - 1), kResultFail);
    EXPECT_FALSE(platform::FileExists("part.bin"));
}

// A file a publication may lack (an extension older ones do not have) is asked for once,
// without a word or a move to another server, when the server lacks it; one it has arrives
// as from any memory request, and the session goes on as before.
TEST_F(FtpSessionTest, AnOptionalFileTheServerLacksCostsOneQuietAttempt) {
    server->Put("download/update.dlt", File("delta list"));
    server->Put("download/next.bin", File("next"));
    auto session = Open();
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(session->FetchOptional("download/missing.dlt", &bytes, &size, kNoSizeBound), kResultFail);
    EXPECT_TRUE(StatusesWithout("当前").empty());
    EXPECT_EQ(server->Connects().size(), 1u);
    EXPECT_EQ(server->Opens().size(), 1u);
    ASSERT_EQ(session->FetchOptional("download/update.dlt", &bytes, &size, kNoSizeBound), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), "delta list");
    ASSERT_EQ(session->DownloadToMemory("download/next.bin", &bytes, &size, nullptr), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), "next");
    EXPECT_TRUE(StatusesWithout("当前").empty());
}

struct CauseCase {
    const char* name;
    bool refuseHost;
    ConnectionFailure answer;  // what the client says of the refused open or the missing file
    bool optional;
    std::vector<std::string> lastLines;
    FailureCause noted;
};

// A request given up after its attempts names the client's reason after its failure line,
// with what the system said (for the debug log), and notes it for the run; a request the
// client gave no reason for, or an optional file's quiet miss, adds nothing.
TEST_F(FtpSessionTest, AGivenUpRequestNamesTheClientsReason) {
    const std::vector<CauseCase> cases = {
        {"refused connection", true, {FailureCause::kConnectionRefused, "WinINet 12029"}, false,
         {"无法连接服务器", "服务器拒绝连接 (WinINet 12029)"}, FailureCause::kConnectionRefused},
        {"file the server lacks", false, {FailureCause::kFileMissing, "WinINet 12003: 550 No such file."}, false,
         {"下载[missing.bin]失败", "服务器上没有该文件 (WinINet 12003: 550 No such file.)"},
         FailureCause::kFileMissing},
        {"no reason given", false, {}, false, {"重试[3/3]。。。", "下载[missing.bin]失败"}, FailureCause::kNone},
        {"optional file the server lacks", false, {FailureCause::kFileMissing, "WinINet 12003: 550"}, true, {},
         FailureCause::kNone},
    };
    for (const CauseCase& c : cases) {
        server = std::make_shared<ScriptedServer>();
        if (c.refuseHost) server->Refuse(kHost);
        server->refusal = c.answer;
        server->missing = c.answer;
        auto session = Open();
        TakeRunFailureCause();
        ui.statuses.clear();
        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        const int32_t result = c.optional ? session->FetchOptional("missing.bin", &bytes, &size, kNoSizeBound)
                                          : session->DownloadFile("missing.bin", "out.bin", nullptr);
        EXPECT_EQ(result, kResultFail) << c.name;
        const std::vector<std::string> lines = StatusesWithout("当前");
        const size_t tail = std::min(lines.size(), c.lastLines.size());
        EXPECT_EQ(std::vector<std::string>(lines.end() - tail, lines.end()), c.lastLines) << c.name;
        if (c.optional) {
            EXPECT_TRUE(lines.empty()) << c.name;
        }
        EXPECT_EQ(TakeRunFailureCause(), c.noted) << c.name;
    }
}

TEST_F(FtpSessionTest, LocalFileThatCannotBeCreatedFailsWithoutRetries) {
    server->Put("x.bin", File("data"));
    platform::MakeDirectory("taken");
    auto session = Open();
    EXPECT_EQ(session->DownloadFile("x.bin", "taken", nullptr), kResultFail);
    EXPECT_EQ(StatusesWithout("当前"), std::vector<std::string>{"无法创建文件[taken]。。。该文件可能在使用中！"});
    EXPECT_EQ(server->Opens().size(), 1u);
}

TEST_F(FtpSessionTest, MemoryRequestsHandBackTheFileOrItsPackedMember) {
    UpdatePkWriter writer;
    writer.Add("update.inf", enginetest::Bytes("manifest text"));
    std::vector<uint8_t> container;
    ASSERT_TRUE(writer.Build(container));
    server->Put("download/update.pak", File(std::string(container.begin(), container.end())));
    server->Put("plain.txt", ZeroAnnounced("plain bytes"));
    server->Put("empty.txt", File(""));
    auto session = Open();
    struct Case {
        const char* name;
        const char* remote;
        int32_t result;
        std::string content;
    } cases[] = {
        {"update.pak yields update.inf", "download/update.pak", 0, "manifest text"},
        {"plain file, zero announced", "plain.txt", 0, "plain bytes"},
        {"empty file is no manifest", "empty.txt", kResultFail, ""},
        {"missing file", "nothing.txt", kResultFail, ""},
    };
    for (const Case& c : cases) {
        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(session->DownloadToMemory(c.remote, &bytes, &size, nullptr), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), c.content) << c.name;
        }
    }
}

TEST_F(FtpSessionTest, DirectFetchFillsAtMostTheCallersBuffer) {
    server->Put("version.txt", ZeroAnnounced(std::string("224\n30001\n") + std::string(200, ' ')));
    auto session = Open();
    uint8_t buffer[128];
    EXPECT_EQ(session->FetchToMemory("version.txt", buffer, sizeof(buffer), nullptr), 128);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), "224\n30001\n");
    EXPECT_EQ(session->FetchToMemory("version.txt", nullptr, 0, nullptr), -1);
    EXPECT_EQ(session->GetRemoteFileSize("version.txt"), 210);
}

TEST_F(FtpSessionTest, ProgressReportsBeginAndEndWithFewReportsBetween) {
    const std::string big = Pattern(4 << 20);
    server->Put("big.bin", File(big));
    server->Put("empty.bin", File(""));
    auto session = Open();
    RecordingSink sink;
    ASSERT_EQ(session->DownloadFile("big.bin", "big.bin", sink.sink()), 0);
    ASSERT_GE(sink.calls.size(), 2u);
    const uint32_t n = static_cast<uint32_t>(big.size());
    EXPECT_EQ(sink.calls.front(), (Progress{UM_FILE_BEGIN, 0, n}));
    EXPECT_EQ(sink.calls.back(), (Progress{UM_FILE_END, n, n}));
    // Many reads: those in between are posted at most every 50 ms.
    EXPECT_LT(sink.calls.size(), 20u);

    sink.calls.clear();
    ASSERT_EQ(session->DownloadFile("empty.bin", "empty.bin", sink.sink()), 0);
    EXPECT_EQ(sink.calls, std::vector<Progress>{(Progress{UM_FILE_END, 0, 0})});
    EXPECT_EQ(ReadFile("empty.bin"), "");
}

TEST_F(FtpSessionTest, ReconnectionMovesToAnotherListedServer) {
    struct Case {
        const char* name;
        std::vector<uint32_t> servers;
        bool refuseFirst;
        std::vector<std::string> connects;
    } cases[] = {
        {"two servers: the retry goes to the other", {Address(127, 0, 0, 2), Address(127, 0, 0, 3)}, false,
         {"127.0.0.2", "127.0.0.3"}},
        {"one server: the retry stays", {Address(127, 0, 0, 2)}, false, {"127.0.0.2", "127.0.0.2"}},
        {"no list: the retry stays", {}, false, {"127.0.0.2", "127.0.0.2"}},
        {"a refusing server is left for the other", {Address(127, 0, 0, 2), Address(127, 0, 0, 3)}, true,
         {"127.0.0.2", "127.0.0.3"}},
    };
    for (const Case& c : cases) {
        server = std::make_shared<ScriptedServer>();
        server->Put("x.bin", Faulty("0123456789", c.refuseFirst ? Fault::kNone : Fault::kDrop, 3, 1));
        if (c.refuseFirst) server->Refuse(kHost);
        auto session = Open();
        session->SetServerList(c.servers.data(), static_cast<uint32_t>(c.servers.size()));
        EXPECT_EQ(session->DownloadFile("x.bin", "x.bin", nullptr), 0) << c.name;
        EXPECT_EQ(server->Connects(), c.connects) << c.name;
        EXPECT_EQ(ReadFile("x.bin"), "0123456789") << c.name;
    }
}

class DirOverrideScope {
public:
    explicit DirOverrideScope(const char* word) { SetDownloadDirOverride(word); }
    ~DirOverrideScope() { SetDownloadDirOverride(""); }
};

TEST_F(FtpSessionTest, OverrideDirectoryIsTriedFirstAndFallsBack) {
    DirOverrideScope scope("v2");
    struct Case {
        const char* name;
        bool overridePresent;
        std::string content;
        bool overrideFailed;
    } cases[] = {
        {"override directory has the file", true, "new", false},
        {"override directory lacks it", false, "old", true},
    };
    for (const Case& c : cases) {
        server = std::make_shared<ScriptedServer>();
        server->Put("download/x.pak", File("old"));
        if (c.overridePresent) server->Put("v2/x.pak", File("new"));
        auto session = Open();
        EXPECT_EQ(session->DownloadFile("download/x.pak", "x.pak", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("x.pak"), c.content) << c.name;
        EXPECT_EQ(DownloadDirOverrideFailed(), c.overrideFailed) << c.name;
        EXPECT_EQ(server->Opens().front(), "v2/x.pak") << c.name;
    }
    // The directory alone is never redirected.
    server->Put("download/", File("dir"));
    auto session = Open();
    EXPECT_EQ(session->GetRemoteFileSize("download/"), 3);
    EXPECT_EQ(server->SizeQueries().back(), "download/");
    EXPECT_FALSE(DownloadDirOverrideFailed());
}

TEST_F(FtpSessionTest, InstalledUnicodeLayerStandsInForItsDownload) {
    WriteFile("unicows.dll", "installed layer");
    server->Put("download/unicows.dll.kvo", File("published layer"));
    server->Put("download/other.kvo", File("other"));
    auto session = Open();
    EXPECT_EQ(session->DownloadFile("download/unicows.dll.kvo", "unicows.dll.kvodl", nullptr), 0);
    EXPECT_EQ(ReadFile("unicows.dll.kvodl"), "installed layer");
    EXPECT_EQ(ReadFile("unicows.dll"), "installed layer");
    EXPECT_TRUE(server->Opens().empty());
    EXPECT_EQ(session->DownloadFile("download/other.kvo", "other.kvodl", nullptr), 0);
    EXPECT_EQ(ReadFile("other.kvodl"), "other");
}

TEST_F(FtpSessionTest, TemporaryFileDownloadNeedsRoomForAPath) {
    server->Put("f.bin", File("temp content"));
    auto session = Open();
    char path[300];
    EXPECT_EQ(session->DownloadToTempFile("f.bin", path, 259, nullptr), kResultFail);
    ASSERT_EQ(session->DownloadToTempFile("f.bin", path, sizeof(path), nullptr), 0);
    EXPECT_NE(std::string(path).find("KVO"), std::string::npos);
    EXPECT_EQ(ReadFile(path), "temp content");
    platform::RemoveFile(path);
}

TEST_F(FtpSessionTest, StalledTransferIsSkippedAndTheNextRequestWorks) {
    server->Put("stall.bin", Faulty(Pattern(200000), Fault::kStall, 70000));
    server->Put("next.bin", File("next"));
    auto session = Open(QuickWatchdog());
    RecordingSink sink;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session->DownloadFile("stall.bin", "stall.bin", sink.sink()), kResultSkipped);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_EQ(session->DownloadFile("next.bin", "next.bin", nullptr), 0);
    EXPECT_EQ(ReadFile("next.bin"), "next");
    EXPECT_EQ(server->endedStalls.load(), 1);
}

// A transfer that keeps sending a byte now and then never looks idle, yet would take hours:
// less than kMinProgressBytes within the watchdog's limit counts as a stall. A slow transfer
// that brings more than that in time is left alone.
TEST_F(FtpSessionTest, TrickleBelowTheFloorIsSkippedLikeAStall) {
    // 1 byte per kTrickleMs: about 100 bytes in the quick watchdog's limit, far below the floor.
    server->Put("trickle.bin", Faulty(Pattern(5000), Fault::kTrickle, 1000));
    server->Put("next.bin", File("next"));
    auto session = Open(QuickWatchdog());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session->DownloadFile("trickle.bin", "trickle.bin", nullptr), kResultSkipped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(session->DownloadFile("next.bin", "next.bin", nullptr), 0);
    EXPECT_EQ(ReadFile("next.bin"), "next");
}

TEST_F(FtpSessionTest, TransferThatIgnoresTheCloseIsLeftBehindAndStaysSilent) {
    server->stuckMs = 600;
    server->Put("stall.bin", Faulty(Pattern(200000), Fault::kStallHard, 70000));
    server->Put("next.bin", File("next"));
    auto session = Open(QuickWatchdog());
    RecordingSink sink;
    EXPECT_EQ(session->DownloadFile("stall.bin", "stall.bin", sink.sink()), kResultSkipped);
    const size_t reportsAtSkip = sink.Count();
    // The old thread is still blocked; a fresh one serves the next request.
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(session->DownloadToMemory("next.bin", &bytes, &size, nullptr), 0);
    EXPECT_EQ(server->blockedReads.load(), 1);
    for (int i = 0; i < 200 && server->endedStalls.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server->endedStalls.load(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sink.Count(), reportsAtSkip);
}

TEST_F(FtpSessionTest, InterruptStopsTheTransferAtOnceAndRefusesLaterRequests) {
    server->Put("stall.bin", Faulty(Pattern(200000), Fault::kStall, 70000));
    server->Put("next.bin", File("next"));
    auto session = Open();  // the real watchdog times: only Interrupt can end the stall
    auto pending = std::async(std::launch::async, [&] { return session->DownloadFile("stall.bin", "stall.bin", nullptr); });
    for (int i = 0; i < 300 && server->blockedReads.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server->blockedReads.load(), 1);
    const auto start = std::chrono::steady_clock::now();
    InterruptCurrentTransfer();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(pending.get(), UPD_INTERRUPTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    const size_t opens = server->Opens().size();
    EXPECT_EQ(session->DownloadFile("next.bin", "next.bin", nullptr), UPD_INTERRUPTED);
    EXPECT_EQ(server->Opens().size(), opens);
    EXPECT_FALSE(Exists("next.bin"));
}

// Every kind of request, with what it answers when it fails (and the failure of the stop).
struct RequestCase {
    const char* name;
    std::function<int64_t(FtpSession&)> request;
    int64_t skipped;      // given up by the watchdog
    int64_t interrupted;  // ended by Interrupt
};

std::vector<RequestCase> EveryRequest() {
    static uint8_t buffer[64];
    return {
        {"size", [](FtpSession& s) { return s.GetRemoteFileSize("version.txt"); }, -1, -1},
        {"fetch-to-buffer", [](FtpSession& s) { return s.FetchToMemory("version.txt", buffer, sizeof(buffer), nullptr); },
         -1, -1},
        {"download-to-memory",
         [](FtpSession& s) {
             const uint8_t* bytes = nullptr;
             uint32_t size = 0;
             return int64_t{s.DownloadToMemory("version.txt", &bytes, &size, nullptr)};
         },
         kResultSkipped, UPD_INTERRUPTED},
        {"download-to-file", [](FtpSession& s) { return int64_t{s.DownloadFile("version.txt", "v.txt", nullptr)}; },
         kResultSkipped, UPD_INTERRUPTED},
    };
}

// A server that accepts the connection and never answers holds no request longer than the
// watchdog's limit, whatever the request, and the hanging open is aborted.
TEST_F(FtpSessionTest, AMuteServerIsGivenUpByTheWatchdogInEveryRequest) {
    server->Put("version.txt", File("223"));
    server->Mute(kHost);
    for (const RequestCase& c : EveryRequest()) {
        auto session = Open(QuickWatchdog());
        auto pending = std::async(std::launch::async, [&] { return c.request(*session); });
        ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready) << c.name;
        EXPECT_EQ(pending.get(), c.skipped) << c.name;
        for (int i = 0; i < 300 && server->blockedOpens.load() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(server->blockedOpens.load(), 0) << c.name;
    }
}

// A stop while the session is still connecting ends the request at once (the real watchdog
// times: only the stop can end it) and aborts the connection being opened.
TEST_F(FtpSessionTest, InterruptEndsAConnectThatHangsAtOnce) {
    server->Put("version.txt", File("223"));
    server->Mute(kHost);
    for (const RequestCase& c : EveryRequest()) {
        auto session = Open();
        auto pending = std::async(std::launch::async, [&] { return c.request(*session); });
        for (int i = 0; i < 300 && server->blockedOpens.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(server->blockedOpens.load(), 1) << c.name;
        session->Interrupt();
        ASSERT_EQ(pending.wait_for(std::chrono::seconds(2)), std::future_status::ready) << c.name;
        EXPECT_EQ(pending.get(), c.interrupted) << c.name;
        for (int i = 0; i < 300 && server->blockedOpens.load() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(server->blockedOpens.load(), 0) << c.name;
    }
}

// A failed allocation inside a transfer fails that request (the process would end if it left
// the transfer thread); the session goes on serving the next one.
TEST_F(FtpSessionTest, AThrowInsideATransferFailsOnlyThatRequest) {
    server->Put("version.txt", Faulty("223", Fault::kThrow, 1));
    server->Put("next.bin", File("next"));
    for (const RequestCase& c : EveryRequest()) {
        if (std::string(c.name) == "size") continue;  // no data is read for a size
        auto session = Open(QuickWatchdog());
        EXPECT_LT(c.request(*session), 0) << c.name;
        EXPECT_EQ(session->DownloadFile("next.bin", "next.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("next.bin"), "next") << c.name;
    }
}

// A transfer held back by the download limit is no stall nor a trickle: neither the watchdog
// nor the speed floor gives it up, and it arrives whole.
TEST_F(FtpSessionTest, ATransferHeldBackByTheLimitIsNoStall) {
    const std::string data = Pattern(48 * 1024);
    server->Put("limited.bin", File(data));
    FtpWatchdogTiming timing = QuickWatchdog();  // gives up after 300 ms without activity
    timing.floor.bytesPerSecond = 64 * 1024;     // and below 64 KiB/s over 300 ms
    timing.floor.windowMs = 300;
    auto session = Open(timing);
    session->SetDownloadLimit(32);  // 48 KiB at 32 KB/s: about a second and a half
    EXPECT_EQ(session->DownloadFile("limited.bin", "limited.bin", nullptr), 0);
    EXPECT_EQ(ReadFile("limited.bin"), data);
}

}  // namespace

namespace {

constexpr const char* kMirror2 = "127.0.0.3";
constexpr const char* kMirror3 = "127.0.0.4";

// The speed floor of the tests: 1000 B/s over 300 ms, with a watchdog that would wait 5 s,
// so a trickle is given up by the floor long before the watchdog would.
FtpWatchdogTiming QuickFloor() {
    FtpWatchdogTiming t = QuickWatchdog();
    t.idleLimitMs = 5000;
    t.floor.bytesPerSecond = 1000;
    t.floor.windowMs = 300;
    return t;
}

// With mirrors, a first one that accepts the connection and never answers costs every
// request one watchdog's wait, and the request is answered by the next.
TEST_F(FtpSessionTest, AMuteMirrorIsLeftForTheNextInEveryRequest) {
    server->Put("version.txt", File("223"));
    server->Mute(kHost);
    for (const RequestCase& c : EveryRequest()) {
        auto session = Open(QuickWatchdog());
        session->SetHostOrder({kHost, kMirror2});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_GE(c.request(*session), 0) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.name;
        EXPECT_EQ(server->Connects().back(), kMirror2) << c.name;
    }
}

struct StuckFileCase {
    const char* name;
    ScriptedFile file;
    FtpWatchdogTiming timing;
    std::vector<std::string> hosts;  // empty: one server
    int32_t result;
    bool slowText;  // the status names the file as too slow
};

// A file that stalls or trickles below the floor moves to the next mirror within the request
// and continues there; on a single server a trickle uses up the attempts as a dropped line
// does, instead of holding the run for hours.
TEST_F(FtpSessionTest, AStalledOrTricklingFileMovesToTheNextMirror) {
    const std::string data = Pattern(200000);
    const std::vector<StuckFileCase> cases = {
        {"stalls on the first mirror", Faulty(data, Fault::kStall, 70000, 1), QuickWatchdog(), {kHost, kMirror2}, 0,
         false},
        {"trickles on the first mirror", Faulty(data, Fault::kTrickle, 1000, 1), QuickFloor(), {kHost, kMirror2}, 0,
         true},
        {"trickles on the only server", Faulty(data, Fault::kTrickle, 1000), QuickFloor(), {}, kResultFail, true},
    };
    for (const StuckFileCase& c : cases) {
        server = std::make_shared<ScriptedServer>();
        server->Put("x.bin", c.file);
        ui.statuses.clear();
        platform::RemoveFile("x.bin");
        auto session = Open(c.timing);
        if (!c.hosts.empty()) session->SetHostOrder(c.hosts);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(session->ContinueFile("x.bin", "x.bin", nullptr), c.result) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(ReadFile("x.bin"), data) << c.name;
            EXPECT_EQ(server->Connects().back(), kMirror2) << c.name;
        }
        EXPECT_EQ(ui.HasStatus("下载[x.bin]速度过慢，重新连接服务器"), c.slowText) << c.name;
    }
}

// A mirror that served bytes that were not the file's is not asked again while another is
// trusted: the next requests go to the next trusted one, and a file another (already left)
// mirror served moves nothing.
TEST_F(FtpSessionTest, AMirrorThatServedWrongBytesIsLeft) {
    for (const char* name : {"a", "b", "c", "d"}) server->Put(name, File(name));
    auto session = Open();
    session->SetHostOrder({kHost, kMirror2, kMirror3});
    EXPECT_EQ(session->ServerCount(), 3u);
    const auto fetch = [&](const char* name) { return session->DownloadFile(name, name, nullptr); };
    ASSERT_EQ(fetch("a"), 0);
    session->DistrustServer("a");
    ASSERT_EQ(fetch("b"), 0);
    EXPECT_EQ(server->Connects(), (std::vector<std::string>{kHost, kMirror2}));
    session->DistrustServer("a");
    ASSERT_EQ(fetch("c"), 0);
    EXPECT_EQ(server->Connects(), (std::vector<std::string>{kHost, kMirror2}));
    session->DistrustServer("c");
    ASSERT_EQ(fetch("d"), 0);
    EXPECT_EQ(server->Connects(), (std::vector<std::string>{kHost, kMirror2, kMirror3}));

    // One server: nowhere to go.
    auto single = Open();
    EXPECT_EQ(single->ServerCount(), 1u);
    ASSERT_EQ(single->DownloadFile("a", "a", nullptr), 0);
    single->DistrustServer("a");
    ASSERT_EQ(single->DownloadFile("b", "b", nullptr), 0);
    EXPECT_EQ(server->Connects().back(), kHost);
}

}  // namespace
