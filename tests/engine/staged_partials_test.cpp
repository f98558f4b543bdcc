// Files fetched ahead on several connections are journaled as they are staged: a kill or a
// stop that keeps costs only the reads in flight, and the next run continues every file.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/partial_downloads.h"
#include "engine/staged_partials.h"
#include "net/ftp_session.h"
#include "net/local_file.h"
#include "net/staged_files.h"
#include "platform/platform.h"
#include "tests/engine/engine_test_support.h"
#include "tests/net/ftp_scripted_client.h"

namespace {

using enginetest::ReadFile;
using ftptest::Fault;
using ftptest::ScriptedFile;
using ftptest::ScriptedServer;

constexpr const char* kHost = "127.0.0.2";
constexpr size_t kFiles = 6;
constexpr size_t kSize = (size_t{3} << 20) / 2;  // staged on disk, not held in memory
constexpr size_t kStallAt = 700000;              // where each connection's first fetch stalls
constexpr uint32_t kConnections = 4;

std::string Content(size_t index) {
    std::string s(kSize, '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('a' + (i * 11 + index * 5) % 26);
    return s;
}

ManifestRecord RecordOf(size_t index) {
    ManifestRecord r;
    r.kind = "pack";
    r.name = "data/f" + std::to_string(index) + ".bin";
    r.remotePath = "download/" + r.name;
    r.size = std::to_string(kSize);
    r.digest = "md5 0123456789abcdef0123456789abcdef";
    return r;
}

// Only the stop ends a stall.
FtpWatchdogTiming StallsLast() {
    FtpWatchdogTiming t;
    t.pollMs = 20;
    t.idleLimitMs = 60000;
    t.graceMs = 500;
    return t;
}

// What the journal on disk holds for each planned file, as `of` reads its kept partial
// (null where none is kept, or its file is gone).
template <typename T, typename Of>
std::vector<T> FromJournal(Of of) {
    PartialDownloads journal;
    journal.Load();
    std::vector<T> values;
    for (size_t i = 0; i < kFiles; ++i) values.push_back(of(journal.Find(RecordOf(i))));
    return values;
}

// The bytes each kept partial has.
std::vector<uint64_t> JournaledBytes() {
    return FromJournal<uint64_t>(
        [](const PartialDownload* kept) { return kept != nullptr ? LocalFileLength(kept->partialPath.c_str()) : 0; });
}

// Which planned files the journal names a kept partial for. (While a connection writes a
// file, Windows lets no other handle read it, so its length is read once the connections
// are closed; a kill changes nothing of what was written.)
std::vector<bool> JournaledFiles() {
    return FromJournal<bool>([](const PartialDownload* kept) { return kept != nullptr; });
}

// Four connections are each in the middle of a file when the process is killed (the journal
// on disk read as it is then) and when the player stops with "keep": every staged byte is
// journaled, and the next run is served only the rest.
TEST(StagedPartials, AKillOrAStopThatKeepsLosesNoByteAConnectionStaged) {
    enginetest::ScratchDir dir;
    enginetest::UiRecorder ui;
    auto stalling = std::make_shared<ScriptedServer>();
    std::vector<ManifestRecord> records;
    std::vector<PlannedFetch> plan;
    for (size_t i = 0; i < kFiles; ++i) {
        ScriptedFile f;
        f.data = Content(i);
        f.fault = Fault::kStall;
        f.cut = kStallAt;
        stalling->Put(RecordOf(i).remotePath, f);
        records.push_back(RecordOf(i));
        plan.push_back(PlannedFetch{records[i].remotePath, "patch.dat", kSize});
    }
    PartialDownloads journal;
    auto staged = std::make_shared<StagedPartials>(journal, records);
    std::vector<bool> atTheKill;
    {
        FtpSession session(stalling, kHost, 21, "user", "pass", StallsLast());
        session.SetConnections(kConnections);
        SetStagedFileRecorder(staged);
        session.Plan(plan);
        SetStagedFileRecorder(nullptr);  // the plan holds it
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (stalling->blockedReads.load() < static_cast<int>(kConnections) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(stalling->blockedReads.load(), static_cast<int>(kConnections));
        atTheKill = JournaledFiles();
        session.Interrupt();  // the stop that keeps: the run's end closes the session
    }
    staged->Detach();
    const std::vector<uint64_t> inFlight(kConnections, kStallAt);
    std::vector<uint64_t> expected = inFlight;
    expected.resize(kFiles, 0);
    std::vector<bool> named(kConnections, true);
    named.resize(kFiles, false);
    EXPECT_EQ(atTheKill, named) << "what a kill leaves journaled";
    EXPECT_EQ(JournaledBytes(), expected) << "what a stop that keeps leaves journaled";

    // The next run continues each kept file and fetches the others whole.
    auto good = std::make_shared<ScriptedServer>();
    for (size_t i = 0; i < kFiles; ++i) {
        ScriptedFile f;
        f.data = Content(i);
        good->Put(RecordOf(i).remotePath, f);
    }
    PartialDownloads next;
    next.Load();
    {
        FtpSession session(good, kHost, 21, "user", "pass", StallsLast());
        for (size_t i = 0; i < kFiles; ++i) {
            const std::string partial =
                next.FindOrStart(RecordOf(i), [] { return CreateTempFileBeside("patch.dat"); });
            ASSERT_EQ(session.ContinueFile(RecordOf(i).remotePath.c_str(), partial.c_str(), nullptr, kSize), 0);
            EXPECT_EQ(ReadFile(partial), Content(i)) << "file " << i;
        }
    }
    EXPECT_EQ(good->servedBytes.load(), kFiles * kSize - kConnections * kStallAt);
}

}  // namespace
