// Single attempts of the FTP session: one remote file into memory or into a local file,
// with activity stamps for the watchdog and progress reports for the run's sink.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/ftp_policy.h"

class FtpConnection;
class ProgressSink;
class RateLimit;

// Memory downloads carry manifests and single game files; nothing larger is accepted.
constexpr uint32_t kFtpMaxMemoryDownload = 0x8000000;

// Outcomes of TransferToFile.
enum class FileTransferOutcome {
    kDone = 0,        // the whole file arrived (or nothing was needed)
    kIncomplete = 1,  // fewer bytes than announced arrived; the local file was removed (a
                      // partial one keeps them)
    kNoRemote = 2,    // the remote file could not be opened
    kNoLocal = 3,     // the local file could not be created
    kTooLarge = 4,    // the server announced or sent more than the job's bound; nothing kept
};

// TransferToMemory's answer for a file announced or sent larger than the job's bound.
constexpr int32_t kTransferTooLarge = -2;

// One transfer request as the transfer code sees it: where activity is stamped, where
// progress goes, and whether it has been cancelled (interrupted, or given up by the
// watchdog). Once cancelled, no further stamp or progress report gets through, so a
// transfer thread that outlives its request touches neither.
class TransferJob {
public:
    // `activity` must outlive the job's use (the session keeps it).
    TransferJob(std::atomic<uint32_t>* activity, ProgressSink* sink) : activity_(activity), sink_(sink) {}
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    void Stamp();
    // Stamps the activity for a transfer that has `done` bytes so far, but only once at least
    // kMinProgressBytes more arrived since its last such stamp: a trickle of a few bytes at a
    // time (too slow to ever finish) leaves the watchdog to give it up like a stall.
    void StampProgress(uint64_t done);
    void Report(uint32_t done, uint32_t total, uint32_t status);
    bool Cancelled() const { return cancelled_.load(); }
    // After Cancel returns, no stamp or report of this job reaches the session or the sink.
    void Cancel();
    // A fresh job asking the same as this one (the request asked again, of another server,
    // after this job was given up).
    std::shared_ptr<TransferJob> Renewed() const;

    // The answer to the request; the first Complete wins.
    void Complete(int32_t result);
    // Waits up to `ms` for the answer; true when it is there.
    bool WaitCompleted(uint32_t ms);
    int32_t Result();

    // What the request asks for (set before it is handed over).
    std::string remotePath;
    std::string localPath;  // empty: into `block`
    std::vector<uint8_t> block;
    bool sizeOnly = false;   // only the remote size is asked for: the answer goes to `size`
    bool optional = false;   // the file may be missing: one quiet attempt
    uint32_t capacity = 0;   // not 0: at most this many bytes into `block`, `size` of them read
    int64_t size = -1;
    // The most bytes the caller accepts: a file announced or sent larger fails at once.
    uint64_t maxBytes = UINT64_MAX;
    // A file download continues the local file from its length when the server resumes there
    // (otherwise the file is written whole), and an incomplete one keeps what arrived.
    bool continuePartial = false;
    // The download limit the transfer keeps to, shared with every other transfer; none when null.
    std::shared_ptr<RateLimit> rateLimit;
    // The least pace the transfer must keep, and how many transfers of the session run at
    // once (they share the floor); one alone when null.
    SpeedFloor floor;
    std::shared_ptr<std::atomic<uint32_t>> running;
    // The server the job's last connection went to (set when it connects).
    std::string servedBy;
    // Set when a transfer of the job was given up below the speed floor.
    bool belowFloor = false;

private:
    std::atomic<uint32_t>* activity_;
    ProgressSink* sink_;
    std::mutex lock_;
    std::condition_variable answered_;
    std::atomic<bool> cancelled_{false};
    bool completed_ = false;
    int32_t result_ = 0;
    bool progressStamped_ = false;
    uint64_t stampedBytes_ = 0;
};

// The least data a transfer must bring between two of its watchdog stamps.
constexpr uint64_t kMinProgressBytes = 1024;

// Reads `remotePath` into `buffer` (at most `capacity` bytes) or, without a buffer, into
// `block` (resized to the remote size). The bytes read, or -1 when the remote file cannot be
// opened or is too large for memory, or kTransferTooLarge when it is announced or sent larger
// than the job's bound. *complete tells whether every expected byte arrived.
int32_t TransferToMemory(TransferJob& job, FtpConnection& connection, const char* remotePath, uint8_t* buffer,
                         uint32_t capacity, std::vector<uint8_t>* block, bool* complete);

// Downloads `remotePath` into the new file `localPath` (missing directories created).
FileTransferOutcome TransferToFile(TransferJob& job, FtpConnection& connection, const char* remotePath,
                                   const char* localPath);
