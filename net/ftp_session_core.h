// The state an FTP session shares with the threads that carry its transfers (its own
// transfer thread and the connections that fetch planned files ahead).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "net/connection_failure.h"
#include "net/ftp_transfers.h"
#include "platform/platform.h"

class FtpClient;
class FtpConnection;
class RateLimit;

// The state the session shares with its transfer threads. A thread the watchdog gave up on
// keeps it alive until that thread ends, so it never touches freed memory.
struct FtpSessionCore {
    FtpSessionCore(std::shared_ptr<FtpClient> c, const char* h, uint16_t p, const char* u, const char* pw)
        : client(std::move(c)), user(u != nullptr ? u : ""), password(pw != nullptr ? pw : ""), port(p),
          host(h != nullptr ? h : ""), random(platform::TickCountMs()) {
        activity.store(platform::TickCountMs());
    }

    // The connection for an attempt: the held one, or a new one (for a reconnection, to
    // another server of the list when it has one). Null when none can be made or the job
    // was cancelled meanwhile.
    // `failure`, when given, receives why an open failed.
    std::shared_ptr<FtpConnection> Connect(TransferJob& job, bool reconnect, ConnectionFailure* failure = nullptr);
    // Cancels `job`, answers it with `answer` and closes the connection it may be blocked in.
    void Cancel(TransferJob& job, int32_t answer);

    // The retrying operations. `job` carries the stamps, reports and cancellation.
    int64_t RemoteFileSize(TransferJob& job, const std::string& remotePath);
    int32_t FetchToMemory(TransferJob& job, const std::string& remotePath, uint8_t* buffer, uint32_t capacity,
                          std::vector<uint8_t>* block);
    int32_t FetchToFile(TransferJob& job, const std::string& remotePath, const std::string& localPath);
    // Runs one request of the transfer thread.
    int32_t Execute(TransferJob& job);

    bool Stopping(const TransferJob& job) const { return stop.load() || job.Cancelled(); }
    // The host a reconnection or a move after a failure goes to (lock held).
    std::string NextHost();
    // Hands `job` the session's shared transfer settings: the download limit, the speed
    // floor and the count of transfers running at once (lock held).
    void Equip(TransferJob& job);

    const std::shared_ptr<FtpClient> client;
    const std::string user;
    const std::string password;
    const uint16_t port;

    std::mutex lock;  // guards the fields below
    std::string host;
    std::vector<uint32_t> servers;
    std::vector<std::string> hostOrder;  // mirrors in order; when set, used instead of `servers`
    std::shared_ptr<FtpConnection> connection;
    std::minstd_rand random;
    std::shared_ptr<TransferJob> current;  // the request being served, if any
    std::shared_ptr<RateLimit> rateLimit;  // the download limit, if any
    SpeedFloor floor;
    // Which host served each remote path last, and the hosts that served bytes that were
    // not the file's: a mirror that did is not asked again while another is trusted.
    std::map<std::string, std::string> servedBy;
    std::set<std::string> distrusted;
    const std::shared_ptr<std::atomic<uint32_t>> running = std::make_shared<std::atomic<uint32_t>>(0);

    std::atomic<uint32_t> activity{0};
    std::atomic<bool> stop{false};
};

// Closes `connection` so that a call blocked in it returns, without waiting for the close.
void AbortConnection(std::shared_ptr<FtpConnection> connection);
