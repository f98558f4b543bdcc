// Files fetched ahead on several connections: each answer is what the request alone would
// have given, in the run's order, with no byte fetched twice and nothing left behind, and a
// stop ends every connection.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/notifier.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "net/ftp_prefetch.h"
#include "net/ftp_session.h"
#include "net/ftp_session_core.h"
#include "net/local_file.h"
#include "platform/platform.h"
#include "tests/engine/engine_test_support.h"
#include "tests/net/ftp_scripted_client.h"

using enginetest::ReadFile;
using enginetest::ScratchDir;
using enginetest::UiRecorder;
using ftptest::Fault;
using ftptest::ScriptedFile;
using ftptest::ScriptedServer;

namespace {

constexpr const char* kHost = "127.0.0.2";
constexpr size_t kFileCount = 12;
constexpr size_t kFileSize = 3000;  // held in memory until handed over
constexpr size_t kLargeFileSize = (size_t{3} << 20) / 2;  // staged in a file beside its target
constexpr uint32_t kRoundTripMs = 20;

std::string Content(size_t index, size_t size = kFileSize) {
    std::string s(size, '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('a' + (i * 7 + index * 13) % 26);
    return s;
}

std::string RemoteName(size_t index) { return "download/f" + std::to_string(index) + ".bin"; }
std::string LocalName(size_t index) { return "game/f" + std::to_string(index) + ".bin"; }

// Short watchdog times, so a stall costs a fraction of a second.
FtpWatchdogTiming QuickWatchdog() {
    FtpWatchdogTiming t;
    t.pollMs = 20;
    t.idleLimitMs = 300;
    t.graceMs = 200;
    return t;
}

// Adds up what the window is told has arrived: the last count of each transfer.
class ArrivedBytes : public Notifier {
public:
    void Post(uint32_t message, uint32_t wParam, uint32_t) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (message == UM_FILE_END) total += wParam;
    }
    void PostRestart(const char*) override {}
    ProgressSink* sink() { return &sink_; }
    uint64_t total = 0;

private:
    std::mutex lock_;
    ProgressSink sink_{this};
};

// The files of `dir` and below, by path relative to it.
std::set<std::string> FilesBelow(const std::string& dir) {
    std::set<std::string> out;
    std::vector<std::string> pending = {""};
    while (!pending.empty()) {
        const std::string rel = pending.back();
        pending.pop_back();
        const std::string at = rel.empty() ? dir : dir + "/" + rel;
        for (const std::string& name : platform::FindFiles(at.c_str(), "*")) out.insert(rel.empty() ? name : rel + "/" + name);
        for (const std::string& sub : platform::FindSubdirectories(at.c_str())) pending.push_back(rel.empty() ? sub : rel + "/" + sub);
    }
    return out;
}

struct PrefetchCase {
    const char* name;
    uint32_t connections;
    size_t size;  // of every file
    // Changes to file `faulty` (the others are whole and good).
    size_t faulty;
    ScriptedFile fault;
    uint64_t faultyBound;     // the plan's bound for that file (0: its size)
    std::vector<size_t> asked;  // the files the run asks for, in order (empty: all)
    int32_t faultyAnswer;     // what the request for the faulty file answers
    bool faultyArrives;       // whether its whole content is there afterwards
    bool concurrent;          // whether files were open at once
};

ScriptedFile Faulty(size_t index, Fault fault, size_t cut, int faultyOpens, size_t size = kFileSize) {
    ScriptedFile f;
    f.data = Content(index, size);
    f.fault = fault;
    f.cut = cut;
    f.faultyOpens = faultyOpens;
    return f;
}

ScriptedFile Good(size_t index, size_t size = kFileSize) {
    ScriptedFile f;
    f.data = Content(index, size);
    return f;
}

ScriptedFile Missing() {
    ScriptedFile f;
    f.data.clear();
    f.announce = -2;  // marks "not on the server" for the case set-up
    return f;
}

class FtpPrefetchTest : public ::testing::TestWithParam<PrefetchCase> {};

TEST_P(FtpPrefetchTest, EachFileIsWhatItsRequestAloneWouldHaveBroughtAndNothingIsLeftBehind) {
    const PrefetchCase& c = GetParam();
    ScratchDir dir;
    UiRecorder ui;
    auto server = std::make_shared<ScriptedServer>();
    server->openDelayMs = kRoundTripMs;
    std::vector<PlannedFetch> plan;
    for (size_t i = 0; i < kFileCount; ++i) {
        ScriptedFile file = i == c.faulty ? c.fault : Good(i, c.size);
        if (file.announce != -2) server->Put(RemoteName(i), file);
        const uint64_t bound = i == c.faulty && c.faultyBound != 0 ? c.faultyBound : c.size;
        plan.push_back(PlannedFetch{RemoteName(i), LocalName(i), bound});
    }
    std::vector<size_t> asked = c.asked;
    if (asked.empty()) {
        for (size_t i = 0; i < kFileCount; ++i) asked.push_back(i);
    }

    ArrivedBytes arrived;
    uint64_t wholeBytes = 0;
    {
        FtpSession session(server, kHost, 21, "user", "pass", QuickWatchdog());
        session.SetConnections(c.connections);
        session.Plan(plan);
        for (size_t i : asked) {
            // As the engine does: an empty partial beside the target, continued by the request.
            const std::string partial = CreateTempFileBeside(LocalName(i).c_str());
            ASSERT_FALSE(partial.empty());
            const int32_t rc = session.ContinueFile(RemoteName(i).c_str(), partial.c_str(), arrived.sink(),
                                                    plan[i].maxBytes);
            const bool faulty = i == c.faulty;
            EXPECT_EQ(rc, faulty ? c.faultyAnswer : 0) << "file " << i;
            const bool arrives = !faulty || c.faultyArrives;
            if (arrives) {
                EXPECT_EQ(ReadFile(partial), Content(i, c.size)) << "file " << i;
                wholeBytes += c.size;
            }
            if (rc == 0) platform::RenameFile(partial.c_str(), LocalName(i).c_str());
            platform::RemoveFile(partial.c_str());
        }
    }
    std::set<std::string> expected;
    for (size_t i : asked) {
        if (i != c.faulty || c.faultyArrives) expected.insert(LocalName(i));
    }
    EXPECT_EQ(FilesBelow(dir.path()), expected) << "staged files left behind";
    if (c.asked.empty() && c.faultyAnswer == 0) {
        // Every byte once: what fetches ahead brought is continued, never fetched again.
        EXPECT_EQ(server->servedBytes.load(), wholeBytes);
        EXPECT_EQ(arrived.total, wholeBytes);
    }
    EXPECT_EQ(server->mostFilesOpen.load() > 1, c.concurrent) << server->mostFilesOpen.load();
    EXPECT_LE(server->mostFilesOpen.load(), static_cast<int>(c.connections) + 1);
}

const PrefetchCase kPrefetchCases[] = {
    {"AllWholeOnFourConnections", 4, kFileSize, kFileCount, {}, 0, {}, 0, true, true},
    {"OneConnectionFetchesEachWhenAsked", 1, kFileSize, kFileCount, {}, 0, {}, 0, true, false},
    {"ADroppedFetchAheadIsContinued", 4, kFileSize, 3, Faulty(3, Fault::kDrop, 1000, 1), 0, {}, 0, true, true},
    {"AStalledFetchAheadIsGivenUpAndContinued", 4, kFileSize, 2, Faulty(2, Fault::kStall, 500, 1), 0, {}, 0, true,
     true},
    {"AFileOverItsBoundFailsAsItsRequestWould", 4, kFileSize, 4, Good(4), kFileSize - 1, {}, kResultFail, false, true},
    {"AMissingFileFailsAsItsRequestWould", 4, kFileSize, 5, Missing(), 0, {}, kResultFail, false, true},
    {"FilesTheRunPassesOverLeaveNothing", 4, kFileSize, kFileCount, {}, 0, {0, 3, 4, 9}, 0, true, true},
    {"LargeFilesAllWhole", 4, kLargeFileSize, kFileCount, {}, 0, {}, 0, true, true},
    {"ALargeDroppedFetchAheadIsContinued", 4, kLargeFileSize, 3, Faulty(3, Fault::kDrop, 700000, 1, kLargeFileSize),
     0, {}, 0, true, true},
    {"ALargeStalledFetchAheadIsGivenUpAndContinued", 4, kLargeFileSize, 2,
     Faulty(2, Fault::kStall, 300000, 1, kLargeFileSize), 0, {}, 0, true, true},
    {"LargeFilesTheRunPassesOverLeaveNothing", 4, kLargeFileSize, kFileCount, {}, 0, {1, 2, 7}, 0, true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, FtpPrefetchTest, ::testing::ValuesIn(kPrefetchCases),
                         [](const ::testing::TestParamInfo<PrefetchCase>& info) { return info.param.name; });

TEST(FtpPrefetchStopTest, AStopEndsEveryConnectionAndLeavesNothingBehind) {
    ScratchDir dir;
    UiRecorder ui;
    auto server = std::make_shared<ScriptedServer>();
    std::vector<PlannedFetch> plan;
    for (size_t i = 0; i < kFileCount; ++i) {
        server->Put(RemoteName(i), Faulty(i, Fault::kStall, 100, -1));
        plan.push_back(PlannedFetch{RemoteName(i), LocalName(i), kFileSize});
    }
    FtpWatchdogTiming slow = QuickWatchdog();
    slow.idleLimitMs = 60000;  // only the stop ends the stalls
    {
        FtpSession session(server, kHost, 21, "user", "pass", slow);
        session.SetConnections(4);
        session.Plan(plan);
        const std::string partial = CreateTempFileBeside(LocalName(0).c_str());
        auto request = std::async(std::launch::async, [&] {
            return session.ContinueFile(RemoteName(0).c_str(), partial.c_str(), nullptr, kFileSize);
        });
        while (server->blockedReads.load() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        session.Interrupt();
        ASSERT_EQ(request.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(request.get(), UPD_INTERRUPTED);
        platform::RemoveFile(partial.c_str());
    }
    EXPECT_EQ(server->blockedReads.load(), 0);
    EXPECT_EQ(FilesBelow(dir.path()), std::set<std::string>());
}

// A run that takes only some of the files fetched into memory ahead of it (the others come
// by deltas, say): what it passes over, fetched or still arriving, frees its memory, so the
// memory held stays within its bound however long the plan.
TEST(FtpPrefetchMemoryTest, FilesTheRunPassesOverFreeTheirMemory) {
    constexpr size_t kPlanned = 80;
    constexpr size_t kSize = 900 * 1024;  // held in memory
    constexpr size_t kEvery = 16;         // the run asks for every 16th file
    constexpr auto kSettle = std::chrono::milliseconds(150);
    ScratchDir dir;
    UiRecorder ui;
    auto server = std::make_shared<ScriptedServer>();
    std::vector<PlannedFetch> plan;
    for (size_t i = 0; i < kPlanned; ++i) {
        server->Put(RemoteName(i), Good(i, kSize));
        plan.push_back(PlannedFetch{RemoteName(i), LocalName(i), kSize});
    }
    auto core = std::make_shared<FtpSessionCore>(server, kHost, 21, "user", "pass");
    FtpPrefetch prefetch(core, 4, QuickWatchdog(), plan);
    uint64_t most = 0;
    for (size_t i = 0; i < kPlanned; i += kEvery) {
        // The connections fetch as far ahead as they may meanwhile.
        std::this_thread::sleep_for(kSettle);
        most = std::max(most, prefetch.BytesHeldInMemory());
        const std::string partial = CreateTempFileBeside(LocalName(i).c_str());
        if (prefetch.Take(RemoteName(i), partial, nullptr) == FtpPrefetch::Handover::kWhole) {
            EXPECT_EQ(ReadFile(partial), Content(i, kSize)) << "file " << i;
        }
        platform::RemoveFile(partial.c_str());
        most = std::max(most, prefetch.BytesHeldInMemory());
    }
    std::this_thread::sleep_for(kSettle);
    most = std::max(most, prefetch.BytesHeldInMemory());
    EXPECT_GT(most, 0u) << "nothing was fetched ahead";
    EXPECT_LE(most, kPrefetchInMemoryAheadBytes);
}

}  // namespace
