// The FTP session of one update run: every download of the run goes through it. Requests
// (to a file, to a temporary file, to memory) are carried out by a transfer thread while the
// requesting thread watches them: a transfer that shows no life for 30 s is abandoned and
// the request answered as skipped (kResultSkipped); the next request runs on a fresh thread.
// A server that accepts the connection and never answers is given up the same way, and so is
// a transfer that keeps below the speed floor. With mirrors, a request given up so is asked
// of the next mirror.
// Below the requests, three retrying operations make up to four attempts each, reconnecting
// between attempts (to another server of the list once a connection had been made), and
// first try the download-directory override when one is set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/ftp_policy.h"
#include "net/transfer.h"

class FtpClient;
class FtpPrefetch;
class ProgressSink;
class TransferJob;
struct FtpSessionCore;
struct FtpTransferThread;

// Timing of the request watchdog. Tests shorten it; the product uses the defaults.
struct FtpWatchdogTiming {
    uint32_t pollMs = 3000;       // the requester looks at the activity stamp this often
    uint32_t idleLimitMs = 30000; // a transfer idle for longer than this is abandoned
    uint32_t graceMs = 2000;      // how long an aborted transfer thread may take to end
    SpeedFloor floor;             // a transfer slower than this is given up
};

class FtpSession : public Transfer {
public:
    // `host` is dotted IPv4 text; the session talks FTP through the system's client
    // (WinINet on Windows). Registers itself as the current transfer.
    FtpSession(const char* host, uint16_t port, const char* user, const char* password);
    // The same over a given client (tests use a scripted one).
    FtpSession(std::shared_ptr<FtpClient> client, const char* host, uint16_t port, const char* user,
               const char* password, const FtpWatchdogTiming& timing = FtpWatchdogTiming());
    // Clears the current transfer, ends the transfer thread and closes the connection.
    ~FtpSession() override;
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // The servers a reconnection may move to (IPv4, network byte order).
    void SetServerList(const uint32_t* addresses, uint32_t count);
    // Servers in order of preference (mirrors), given as the client names them: when set, a
    // reconnection, and the next request after the watchdog gave one up, move to the next of
    // them instead of a random listed address.
    void SetHostOrder(const std::vector<std::string>& hosts);
    // Keeps every later transfer of the session, together, within `kilobytesPerSecond`
    // (KB of 1024 bytes); 0 lifts the limit.
    void SetDownloadLimit(uint32_t kilobytesPerSecond);
    // How many files the session fetches at once, 1 to kMaxDownloadConnections: above 1, a
    // plan's files are fetched ahead on connections of their own (1, the default, fetches
    // each when it is asked for).
    void SetConnections(uint32_t count);

    // Transfer requests, answered on the transfer thread under the watchdog: 0, UPD_INTERRUPTED,
    // kResultSkipped or kResultFail.
    int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override;
    // Each attempt of the request (after a drop, on a fresh connection) continues from what
    // the file holds by then: TYPE I and REST before the transfer.
    int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override;
    // Makes a new empty temporary file ("KVO" prefix) in the system's temporary directory,
    // writes its path into `pathOut` (capacity `capacity` bytes, at least 260) and downloads
    // into it. kResultFail when the capacity is short or no temporary file can be made.
    int32_t DownloadToTempFile(const char* remotePath, char* pathOut, uint32_t capacity, ProgressSink* sink);
    int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes = kNoSizeBound) override;
    int32_t FetchOptional(const char* remotePath, const uint8_t** bytes, uint32_t* size, uint64_t maxBytes) override;
    // With more than one connection, starts fetching the plan's files ahead; continued
    // downloads of them are then handed what was fetched.
    void Plan(const std::vector<PlannedFetch>& fetches) override;
    void ReleaseBlock() override;
    // Stops the transfer in progress at once (its connection is closed) and ends the transfer
    // thread; the pending request and every later one answer UPD_INTERRUPTED. Any thread.
    void Interrupt() override;

    // Requests answered like the others (on the transfer thread, under the watchdog and the
    // stop request), with a plain answer.
    // Size of `remotePath` in bytes (low 32 bits), or -1.
    int64_t GetRemoteFileSize(const char* remotePath);
    // Reads `remotePath` into `buffer` (at most `capacity` bytes); the bytes read, or -1.
    int32_t FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink* sink);

    // With mirrors: the host that served `remotePath` is not asked again while another is
    // trusted, and the next requests go to the next trusted one.
    void DistrustServer(const char* remotePath) override;
    uint32_t ServerCount() const override;

    // The host the session is connected (or will connect) to, dotted text.
    std::string CurrentHost() const;

private:
    void StartThread();
    std::shared_ptr<TransferJob> NewJob(const char* remotePath, ProgressSink* sink);
    int32_t RunRequest(const char* remotePath, const char* localPath, ProgressSink* sink, uint64_t maxBytes,
                       bool continuePartial = false, bool optional = false);
    // The block of the last memory request as its caller sees it (a packed member unwrapped).
    int32_t HandOverBlock(const char* remotePath, const uint8_t** bytes, uint32_t* size);
    // Hands `job` to the transfer thread and watches it until it is answered; a job the
    // watchdog gave up is renewed and asked of the next mirror (`job` is then the last one).
    int32_t RunJob(std::shared_ptr<TransferJob>& job);
    int32_t RunJobOnce(const std::shared_ptr<TransferJob>& job);
    size_t MirrorCount() const;
    // Aborts the running transfer and retires its thread (joined, or left to end on its own
    // after the grace period).
    void RetireThread();

    // The fetches ahead of the current plan (replaced by the engine thread, stopped from any).
    std::shared_ptr<FtpPrefetch> Prefetch() const;

    std::shared_ptr<FtpSessionCore> core_;
    uint32_t connections_ = 1;
    std::shared_ptr<FtpPrefetch> prefetch_;  // guarded by core_->lock
    std::shared_ptr<FtpTransferThread> thread_;
    FtpWatchdogTiming timing_;
    std::vector<uint8_t> block_;  // the last memory download
};
