// The planned files of a run fetched ahead, several at once, each connection fetching one
// file at a time: a run of many small files no longer waits out one request's round trip
// after another. A file fetched ahead is staged in a temporary file beside its target and
// handed over when the run asks for it (a small one is held in memory until then), so the
// run installs in its own order and each
// answer is what the run's own request would have brought. Fetches ahead make one quiet
// attempt: whatever they could not bring, the run's own request fetches as it always did
// (with its attempts, texts and moves to another server), continuing after what they
// brought.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ftp_session.h"
#include "net/staged_files.h"
#include "net/transfer.h"

class ProgressSink;
struct FtpSessionCore;

// How far the fetches ahead may run before the run: files per connection, and bytes in all
// (a file larger than that is still fetched ahead when it is the only one).
constexpr uint32_t kPrefetchFilesPerConnection = 4;
constexpr uint64_t kPrefetchAheadBytes = uint64_t{64} << 20;
// Files up to this size are fetched ahead into memory and written to the request's file
// when handed over: a run of thousands of small files then costs no temporary file each.
constexpr uint64_t kPrefetchInMemoryMax = uint64_t{1} << 20;
// The most bytes held in memory ahead of the run, whatever the number of connections.
constexpr uint64_t kPrefetchInMemoryAheadBytes = uint64_t{16} << 20;
// The most connections a session fetches on at once.
constexpr uint32_t kMaxDownloadConnections = 16;
// How many a web server is asked for at once unless the plug-in says otherwise.
constexpr uint32_t kDefaultDownloadConnections = 4;

class FtpPrefetch {
public:
    // Starts `connections` connections fetching `plan` in its order, below the session's
    // current server, within its download limit. Each file staged on disk is offered to
    // `recorder` (when there is one) before its first byte.
    FtpPrefetch(std::shared_ptr<FtpSessionCore> core, uint32_t connections, const FtpWatchdogTiming& timing,
                const std::vector<PlannedFetch>& plan, std::shared_ptr<StagedFileRecorder> recorder = nullptr);
    // Stops the fetches ahead and removes what they staged and was not handed over, except
    // the files the recorder took: those stay, with what they hold, for a later run.
    ~FtpPrefetch();
    FtpPrefetch(const FtpPrefetch&) = delete;
    FtpPrefetch& operator=(const FtpPrefetch&) = delete;

    enum class Handover {
        kNotPlanned,  // not fetched ahead (any more): the request fetches it as usual
        kWhole,       // the whole file is in the request's file
        kPart,        // the start of the file is: the request continues after it
        kStopped,     // the session was stopped
    };
    // For a request continuing the file `localPath` with `remotePath`: waits for its fetch
    // ahead to end (giving a stalled one up as the session's watchdog would) and moves what
    // it brought onto `localPath` when that file is still empty; when `localPath` is the
    // recorded staged file itself, its bytes are continued where they lie. Planned files the run
    // passed over are dropped. The handed bytes are reported to `sink` as they would have
    // been had the request brought them.
    Handover Take(const std::string& remotePath, const std::string& localPath, ProgressSink* sink);
    // Stops every fetch ahead at once (their connections are closed). Any thread.
    void Stop();
    // The bytes files fetched ahead hold in memory now (at most kPrefetchInMemoryAheadBytes
    // beside what connections are reading).
    uint64_t BytesHeldInMemory() const;

    struct State;

private:
    std::shared_ptr<State> state_;
    std::vector<std::thread> threads_;
    FtpWatchdogTiming timing_;
};
