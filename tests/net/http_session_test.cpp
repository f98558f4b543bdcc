// The HTTP session against the scripted server on loopback: whole files, resumes with Range
// and servers that ignore it, refused answers and redirects, bodies that break the bound
// or the Content-Length, the watchdog, and Interrupt.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/failure_cause.h"
#include "common/notifier.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "net/http_session.h"
#include "platform/platform.h"
#include "tests/engine/engine_test_support.h"
#include "tests/net/http_fault_server.h"

using enginetest::Exists;
using enginetest::ReadFile;
using enginetest::ScratchDir;
using enginetest::UiRecorder;
using enginetest::WriteFile;
using httptest::FaultServer;
using httptest::ServedPattern;

namespace {

constexpr const char kMissing[] = "<missing>";

// The first and the last progress report of a transfer.
class EndsSink : public Notifier {
public:
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (!seen_) first = {message, wParam, lParam};
        seen_ = true;
        last = {message, wParam, lParam};
    }
    void PostRestart(const char*) override {}
    ProgressSink* sink() { return &sink_; }

    struct Report {
        uint32_t message = 0;
        uint32_t done = 0;
        uint32_t total = 0;
        bool operator==(const Report& o) const { return message == o.message && done == o.done && total == o.total; }
    };
    Report first;
    Report last;

private:
    std::mutex lock_;
    bool seen_ = false;
    ProgressSink sink_{this};
};

// Short watchdog times, so a stall costs about a second.
FtpWatchdogTiming QuickWatchdog() {
    FtpWatchdogTiming t;
    t.pollMs = 50;
    t.idleLimitMs = 800;
    t.graceMs = 300;
    return t;
}

class HttpSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.running()) GTEST_SKIP() << "no scripted HTTP server (under Wine the test command starts one)";
    }
    std::unique_ptr<HttpSession> Open(const FtpWatchdogTiming& timing = FtpWatchdogTiming()) {
        return std::unique_ptr<HttpSession>(new HttpSession(server.Base(), HttpClientOptions(), timing));
    }
    // The requests the server has seen for `path`, as "PATH RANGE" lines.
    std::vector<std::string> RequestsFor(const std::string& path) {
        HttpSession probe(server.Base(), HttpClientOptions());
        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        std::vector<std::string> lines;
        if (probe.DownloadToMemory("requests", &bytes, &size, nullptr) != 0) return lines;
        const std::string text(reinterpret_cast<const char*>(bytes), size);
        size_t at = 0;
        while (at < text.size()) {
            const size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            if (line.compare(0, path.size() + 2, "/" + path + " ") == 0) lines.push_back(line);
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }

    FaultServer server;
    ScratchDir dir;
    UiRecorder ui;
};

struct FileCase {
    const char* name;
    const char* remote;
    int32_t result;
    const char* content;  // "good": the pattern of `size` bytes; kMissing: no file left
    size_t size;
};

// Every answer either gives the file as the server has it or fails with no file left.
TEST_F(HttpSessionTest, FilesArriveWholeOrNotAtAll) {
    const std::vector<FileCase> cases = {
        {"good-with-length", "good/300000", 0, "good", 300000},
        {"good-chunked", "chunked/200000", 0, "good", 200000},
        {"good-empty", "good/0", 0, "good", 0},
        {"bad-not-found", "status/404", kResultFail, kMissing, 0},
        {"bad-forbidden", "status/403", kResultFail, kMissing, 0},
        {"bad-server-error", "status/500", kResultFail, kMissing, 0},
        {"redirect-same-host", "redirect/same/good/5000", 0, "good", 5000},
        {"redirect-other-host-plain-http", "redirect/http-other/good/5000", kResultFail, kMissing, 0},
        {"redirect-to-ftp", "redirect/ftp/good/5000", kResultFail, kMissing, 0},
        {"redirect-loop", "redirect/loop", kResultFail, kMissing, 0},
        {"bad-cut-before-its-length", "short/100000", kResultFail, kMissing, 0},
        {"bad-longer-than-its-length", "long/10000", 0, "good", 10000},
    };
    auto session = Open();
    for (const FileCase& c : cases) {
        platform::RemoveFile("out.bin");
        EXPECT_EQ(session->DownloadFile(c.remote, "out.bin", nullptr), c.result) << c.name;
        const std::string expected = std::string(c.content) == "good" ? ServedPattern(c.size) : kMissing;
        EXPECT_EQ(ReadFile("out.bin"), expected) << c.name;
    }
}

struct ContinueCase {
    const char* name;
    const char* remote;
    std::string partial;
    const char* range;  // the Range header the server saw first ("-": none)
    size_t size;
};

// A continued download asks for the rest only; a server that answers 200 instead of 206
// gets the file written whole from byte 0, never spliced onto the partial.
TEST_F(HttpSessionTest, AContinuedDownloadFetchesTheRestOrElseTheWholeFile) {
    constexpr size_t kSize = 50000;
    const std::vector<ContinueCase> cases = {
        {"range-after-the-partial", "good/50000", ServedPattern(20000), "bytes=20000-", kSize},
        {"server-ignores-range", "no-range/50000", std::string(20000, '\xEE'), "bytes=20000-", kSize},
        {"partial-already-whole", "good/50001", ServedPattern(50001), "bytes=50001-", kSize + 1},
        {"partial-longer-than-the-file", "good/50002", ServedPattern(60000), "bytes=60000-", kSize + 2},
        {"no-partial", "good/50003", std::string(), "-", kSize + 3},
    };
    auto session = Open();
    for (const ContinueCase& c : cases) {
        platform::RemoveFile("part.bin");
        if (!c.partial.empty()) WriteFile("part.bin", c.partial);
        EXPECT_EQ(session->ContinueFile(c.remote, "part.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("part.bin"), ServedPattern(c.size)) << c.name;
        const std::vector<std::string> seen = RequestsFor(c.remote);
        ASSERT_FALSE(seen.empty()) << c.name;
        EXPECT_EQ(seen.front(), "/" + std::string(c.remote) + " " + c.range) << c.name;
    }
}

// A continued download reports only the bytes it brings, from its first report to its last.
TEST_F(HttpSessionTest, AContinuedDownloadReportsOnlyTheBytesItBrings) {
    WriteFile("part.bin", ServedPattern(30000));
    auto session = Open();
    EndsSink sink;
    ASSERT_EQ(session->ContinueFile("good/100000", "part.bin", sink.sink()), 0);
    EXPECT_EQ(sink.first, (EndsSink::Report{UM_FILE_BEGIN, 0, 70000}));
    EXPECT_EQ(sink.last, (EndsSink::Report{UM_FILE_END, 70000, 70000}));
}

// A continued download keeps what arrived when every attempt fails, for a later run.
TEST_F(HttpSessionTest, AFailedContinuedDownloadKeepsWhatArrived) {
    auto session = Open();
    platform::RemoveFile("part.bin");
    EXPECT_EQ(session->ContinueFile("short/100000", "part.bin", nullptr), kResultFail);
    EXPECT_EQ(ReadFile("part.bin"), ServedPattern(50000));
}

struct BoundCase {
    const char* name;
    const char* remote;
};

// A body announced or sent above the caller's bound fails at once (one request, no retry)
// and leaves nothing, whether the file goes to disk, to a partial or to memory.
TEST_F(HttpSessionTest, BodiesAboveTheBoundFailAtOnce) {
    constexpr uint64_t kBound = 100000;
    const std::vector<BoundCase> cases = {
        {"length-above-the-bound", "good/100001"},
        {"chunked-above-the-bound", "chunked/100002"},
        {"endless-body", "endless"},
    };
    auto session = Open();
    for (const BoundCase& c : cases) {
        WriteFile("part.bin", ServedPattern(1000));
        EXPECT_EQ(session->DownloadFile(c.remote, "out.bin", nullptr, kBound), kResultFail) << c.name;
        EXPECT_FALSE(Exists("out.bin")) << c.name;
        EXPECT_EQ(session->ContinueFile(c.remote, "part.bin", nullptr, kBound), kResultFail) << c.name;
        EXPECT_FALSE(Exists("part.bin")) << c.name;
        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(session->DownloadToMemory(c.remote, &bytes, &size, nullptr, kBound), kResultFail) << c.name;
        EXPECT_EQ(RequestsFor(c.remote).size(), 3u) << c.name;
    }
}

// A server that sends the headers and then nothing, or a byte now and then, is given up
// by the watchdog; the session serves the next request on a fresh connection.
TEST_F(HttpSessionTest, StalledAndDrippingBodiesAreSkipped) {
    const std::vector<BoundCase> cases = {
        {"headers-then-nothing", "hang/100000"},
        {"one-byte-at-a-time", "drip/100000"},
    };
    auto session = Open(QuickWatchdog());
    for (const BoundCase& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(session->DownloadFile(c.remote, "out.bin", nullptr), kResultSkipped) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.name;
        EXPECT_EQ(session->DownloadFile("good/1000", "next.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("next.bin"), ServedPattern(1000)) << c.name;
    }
}

TEST_F(HttpSessionTest, InterruptEndsATransferAtOnceAndRefusesLaterRequests) {
    auto session = Open();  // the real watchdog times: only Interrupt can end the wait
    auto pending = std::async(std::launch::async, [&] { return session->DownloadFile("hang/100000", "out.bin", nullptr); });
    for (int i = 0; i < 300 && RequestsFor("hang/100000").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    session->Interrupt();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(pending.get(), UPD_INTERRUPTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(session->DownloadFile("good/1000", "next.bin", nullptr), UPD_INTERRUPTED);
    EXPECT_FALSE(Exists("next.bin"));
    EXPECT_TRUE(RequestsFor("good/1000").empty());
}

// A TLS base is never fetched without a CA set to check the server against.
TEST(HttpSessionTlsTest, AnHttpsBaseWithoutACaSetIsRefused) {
    ScratchDir dir;
    UiRecorder ui;
    HttpSession session("https://localhost:1/", HttpClientOptions(), QuickWatchdog());
    EXPECT_EQ(session.DownloadFile("good/1000", "out.bin", nullptr), kResultFail);
    EXPECT_FALSE(Exists("out.bin"));
}

struct CauseCase {
    const char* name;
    std::string base;    // "": the scripted server's missing-file answer
    std::string caFile;  // the CA file the options name
    std::string line;    // the cause's line, without the client's words after it
    FailureCause cause;
};

// A request given up names why, as libcurl and the server told it: a file the server lacks,
// a port nobody listens on, a CA file that is not there. The line carries the client's own
// words for the debug log; the cause is noted for the run.
TEST(HttpSessionCauseTest, AGivenUpRequestNamesItsCause) {
    FaultServer server;
    const std::vector<CauseCase> cases = {
        {"file missing on the server", "", "", "服务器上没有该文件 (HTTP 404)", FailureCause::kFileMissing},
        {"closed port", "http://127.0.0.1:1/", "", "服务器拒绝连接 (", FailureCause::kConnectionRefused},
        {"CA file missing", "https://127.0.0.1:1/", "no-such-ca.pem", "CA证书文件缺失或无法读取 (no-such-ca.pem)",
         FailureCause::kCaFile},
    };
    for (const CauseCase& c : cases) {
        if (c.base.empty() && !server.running()) continue;  // no scripted server here
        ScratchDir dir;
        UiRecorder ui;
        HttpClientOptions options;
        options.caFile = c.caFile;
        HttpSession session(c.base.empty() ? server.Base() + "status/404/" : c.base, options, QuickWatchdog());
        TakeRunFailureCause();
        EXPECT_NE(session.DownloadFile("good/1000", "out.bin", nullptr), 0) << c.name;
        ASSERT_FALSE(ui.statuses.empty()) << c.name;
        EXPECT_EQ(ui.statuses.back().rfind(c.line, 0), 0u) << c.name << ": " << ui.statuses.back();
        EXPECT_EQ(TakeRunFailureCause(), c.cause) << c.name;
        EXPECT_FALSE(Exists("out.bin")) << c.name;
    }
}

}  // namespace

namespace {

struct MirrorCase {
    const char* name;
    std::vector<std::string> prefixes;  // the bases, as folders of the scripted server
    const char* laterRange;             // what the base that finished was asked for
};

// Mirrors in order: a base that drops the line mid-file, or refuses the file, is left for
// the next one, and a continued download goes on there at the byte reached, never fetching
// again what is on disk.
TEST_F(HttpSessionTest, AFailingMirrorIsLeftForTheNextContinuingAtTheByteReached) {
    const std::vector<MirrorCase> cases = {
        {"dropped-mid-file", {"short", "good"}, "/good/100000 bytes=50000-"},
        {"refused-then-dropped", {"status/404", "short", "good"}, "/good/100000 bytes=50000-"},
    };
    for (const MirrorCase& c : cases) {
        std::vector<std::string> bases;
        for (const std::string& prefix : c.prefixes) bases.push_back(server.Base() + prefix + "/");
        HttpSession session(bases, HttpClientOptions());
        platform::RemoveFile("part.bin");
        EXPECT_EQ(session.ContinueFile("100000", "part.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("part.bin"), ServedPattern(100000)) << c.name;
        const std::vector<std::string> finished = RequestsFor("good/100000");
        ASSERT_FALSE(finished.empty()) << c.name;
        EXPECT_EQ(finished.back(), c.laterRange) << c.name;
    }
}

struct StuckMirrorCase {
    const char* name;
    const char* first;     // the first base, as a folder of the scripted server
    bool bringsSomeBytes;  // the next base continues after bytes the first one brought
    size_t size;           // the file (a size of its own per case, so its requests are its own)
};

// A mirror that never answers, stalls after its headers, or trickles far below the speed
// floor is left within the same request for the next one, which continues at the byte
// reached; a memory request (the version file) moves the same way. Each costs about one
// watchdog's wait or one window of the floor.
TEST_F(HttpSessionTest, AHangingStalledOrTricklingMirrorIsLeftForTheNextWithinTheRequest) {
    // The trickle brings 10 KiB/s: 30 s for these files.
    const std::vector<StuckMirrorCase> cases = {
        {"never-answers", "silent", false, 300000},
        {"headers-then-nothing", "hang", false, 300001},
        {"trickles-below-the-floor", "trickle", true, 300002},
    };
    FtpWatchdogTiming timing = QuickWatchdog();
    timing.floor.bytesPerSecond = 64 * 1024;
    timing.floor.windowMs = 1000;
    for (const StuckMirrorCase& c : cases) {
        const std::vector<std::string> bases = {server.Base() + c.first + "/", server.Base() + "good/"};
        const std::string name = std::to_string(c.size);
        HttpSession session(bases, HttpClientOptions(), timing);
        platform::RemoveFile("part.bin");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(session.ContinueFile(name.c_str(), "part.bin", nullptr), 0) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << c.name;
        EXPECT_EQ(ReadFile("part.bin"), ServedPattern(c.size)) << c.name;
        const std::vector<std::string> finished = RequestsFor("good/" + name);
        ASSERT_EQ(finished.size(), 1u) << c.name;
        EXPECT_EQ(finished.front() == "/good/" + name + " -", !c.bringsSomeBytes) << c.name << ": " << finished.front();

        HttpSession list(bases, HttpClientOptions(), timing);
        const uint8_t* bytes = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(list.DownloadToMemory("3000", &bytes, &size, nullptr), 0) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), ServedPattern(3000)) << c.name;
    }
}

}  // namespace

namespace {

struct RestartCase {
    const char* name;
    const char* remote;
};

// A 206 that does not begin where the partial ends (another start byte, or no Content-Range
// at all) cannot be spliced on: the file is fetched again from byte 0 at once, in the same
// request, never asked for with the same Range again.
TEST_F(HttpSessionTest, APartThatDoesNotBeginAtThePartialRestartsTheFileOnce) {
    const std::vector<RestartCase> cases = {
        {"part-from-another-byte", "part-elsewhere/50000"},
        {"part-without-content-range", "part-unplaced/50000"},
    };
    auto session = Open();
    for (const RestartCase& c : cases) {
        WriteFile("part.bin", ServedPattern(20000));
        EXPECT_EQ(session->ContinueFile(c.remote, "part.bin", nullptr), 0) << c.name;
        EXPECT_EQ(ReadFile("part.bin"), ServedPattern(50000)) << c.name;
        const std::string path = "/" + std::string(c.remote);
        EXPECT_EQ(RequestsFor(c.remote), (std::vector<std::string>{path + " bytes=20000-", path + " -"})) << c.name;
    }
}

struct OtherAnswerCase {
    const char* name;
    const char* remote;
    int32_t result;
    const char* content;  // "good": the pattern of `size` bytes; kMissing: no file left
    size_t size;
};

// An answer that is not the file is read no further than a small bound: a redirect with a
// body or headers that never end is given up at once (never read until the watchdog steps
// in), and a redirect's address is taken from its headers, relative ones included.
TEST_F(HttpSessionTest, AnAnswerThatIsNotTheFileIsReadNoFurtherThanABound) {
    const std::vector<OtherAnswerCase> cases = {
        {"redirect-with-endless-body", "redirect-endless-body/good/5000", 0, "good", 5000},
        {"redirect-with-endless-headers", "redirect-endless-headers", kResultFail, kMissing, 0},
        {"redirect-to-a-relative-address", "relative/good/6000", 0, "good", 6000},
    };
    auto session = Open(QuickWatchdog());
    for (const OtherAnswerCase& c : cases) {
        platform::RemoveFile("out.bin");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(session->DownloadFile(c.remote, "out.bin", nullptr), c.result) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.name;
        const std::string expected = std::string(c.content) == "good" ? ServedPattern(c.size) : kMissing;
        EXPECT_EQ(ReadFile("out.bin"), expected) << c.name;
    }
}

// The most bytes the server sent within any 1 s from `fromMs` on, out of its "MS BYTES" lines.
uint64_t BusiestSecondFrom(const std::string& log, uint32_t fromMs) {
    std::vector<std::pair<uint32_t, uint64_t>> pieces;
    size_t at = 0;
    while (at < log.size()) {
        const size_t end = log.find('\n', at);
        const std::string line = log.substr(at, end - at);
        const size_t space = line.find(' ');
        if (space != std::string::npos) {
            pieces.emplace_back(static_cast<uint32_t>(std::stoul(line.substr(0, space))),
                                std::stoull(line.substr(space + 1)));
        }
        at = end == std::string::npos ? log.size() : end + 1;
    }
    constexpr uint32_t kWindowMs = 1000;
    uint64_t busiest = 0;
    for (size_t first = 0; first < pieces.size(); ++first) {
        if (pieces[first].first < fromMs) continue;
        uint64_t bytes = 0;
        for (size_t i = first; i < pieces.size() && pieces[i].first < pieces[first].first + kWindowMs; ++i) {
            bytes += pieces[i].second;
        }
        busiest = std::max(busiest, bytes);
    }
    return busiest;
}

// The download limit holds the line, not only the reader: after the first 2 s, no second
// carries more than 1.5 times the limit, as the server sees what leaves it. (Buffers that
// fill at full speed once the reader lets them would send megabytes at once, then nothing.)
TEST_F(HttpSessionTest, TheDownloadLimitHoldsTheLine) {
    constexpr uint32_t kLimitKb = 1024;
    constexpr size_t kSize = size_t{10} << 20;
    constexpr uint32_t kSettleMs = 2000;
    auto session = Open();
    session->SetDownloadLimit(kLimitKb);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(session->DownloadFile(("metered/" + std::to_string(kSize)).c_str(), "out.bin", nullptr), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(ReadFile("out.bin"), ServedPattern(kSize));
    EXPECT_GT(seconds, 0.8 * kSize / (kLimitKb * 1024.0));

    HttpSession probe(server.Base(), HttpClientOptions());
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(probe.DownloadToMemory("sent", &bytes, &size, nullptr), 0);
    const std::string log(reinterpret_cast<const char*>(bytes), size);
    EXPECT_LE(BusiestSecondFrom(log, kSettleMs), uint64_t{kLimitKb} * 1024 * 3 / 2);
}

}  // namespace
