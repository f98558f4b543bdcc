#include "net/ftp_session.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/show_status.h"
#include "common/update_codes.h"
#include "net/ftp_client.h"
#include "net/ftp_policy.h"
#include "net/ftp_prefetch.h"
#include "net/staged_files.h"
#include "net/ftp_session_core.h"
#include "net/ftp_transfers.h"
#include "net/local_file.h"
#include "net/rate_limit.h"
#include "net/status_text.h"
#include "net/unwrap.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "text/message_box.h"

namespace {

constexpr int kAttempts = 4;
constexpr uint32_t kMinTempPathCapacity = 260;
constexpr const char kTempPrefix[] = "KVO";
constexpr const char kTempSuffix[] = ".TMP";
constexpr unsigned kTempNameTries = 0x10000;

void ShowRetry(int attempt) {
    char text[64];
    std::snprintf(text, sizeof(text), kFtpTextRetry, attempt + 1);
    ShowStatus(text);
}

}  // namespace

std::shared_ptr<FtpConnection> FtpSessionCore::Connect(TransferJob& job, bool reconnect, ConnectionFailure* failure) {
    std::string target;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (Stopping(job)) return nullptr;
        if (connection && !reconnect) {
            job.servedBy = host;
            return connection;
        }
        connection.reset();
        // Every reconnection may move: a server that failed once (or never answered) is
        // not asked four times while others are listed.
        if (reconnect) host = NextHost();
        target = host;
        job.servedBy = target;
    }
    ShowStatusWithName(kFtpTextServerChosen, target);
    std::shared_ptr<FtpConnection> made = client->NewConnection();
    if (!made) return nullptr;
    {
        // Held while it opens, so that Cancel (a stop, the watchdog) aborts a server that
        // accepted the connection and never answers.
        std::lock_guard<std::mutex> hold(lock);
        if (Stopping(job)) return nullptr;
        connection = made;
    }
    // Opening may take long: the lock stays free meanwhile, so Cancel is never held up.
    const bool opened = made->Open(target, port, user, password);
    if (!opened && failure != nullptr) *failure = made->LastFailure();
    std::lock_guard<std::mutex> hold(lock);
    if (opened && !Stopping(job)) return made;
    if (connection == made) connection.reset();
    return nullptr;
}

std::string FtpSessionCore::NextHost() {
    return hostOrder.empty() ? PickOtherServer(servers, host, random) : NextTrustedHost(hostOrder, host, distrusted);
}

void FtpSessionCore::Equip(TransferJob& job) {
    job.rateLimit = rateLimit;
    job.floor = floor;
    job.running = running;
}

void FtpSessionCore::Cancel(TransferJob& job, int32_t answer) {
    std::shared_ptr<FtpConnection> blocked;
    {
        std::lock_guard<std::mutex> hold(lock);
        job.Cancel();
        blocked = std::move(connection);
        connection.reset();
    }
    job.Complete(answer);
    if (blocked) AbortConnection(std::move(blocked));
}

void AbortConnection(std::shared_ptr<FtpConnection> connection) {
    // Some clients (Wine's WinINet) hold a close until the read it ends has returned, so
    // the close runs on a thread of its own: the caller goes on at once either way.
    // Without a thread to spare it runs here, late rather than never.
    try {
        std::thread([connection] { connection->Abort(); }).detach();
    } catch (const std::system_error&) {
        connection->Abort();
    }
}

namespace {

// Tries the download-directory override first when it applies; `failed` is the operation's
// failure value. DownloadDirOverrideFailed tells afterwards whether the override failed.
template <typename Result, typename Operation>
Result WithDirOverride(const std::string& remotePath, Result failed, Operation operation) {
    SetDownloadDirOverrideFailed(false);
    const std::string redirected = RedirectedRemotePath(remotePath, GetDownloadDirOverride());
    if (!redirected.empty()) {
        const Result result = operation(redirected);
        if (result != failed) return result;
        SetDownloadDirOverrideFailed(true);
    }
    return operation(remotePath);
}

// How one attempt ended.
enum class Attempt { kDone, kRetry, kFinal };

// Up to four attempts of `work` (connection -> Attempt), reconnecting between them. Shows
// the retry texts and, when the last attempt fails, the connection text or `workFailed`,
// then the cause the client gave for the latest failure that had one.
template <typename Work>
bool RunAttempts(FtpSessionCore& core, TransferJob& job, const char* workFailed, const std::string& remotePath,
                 Work work) {
    ConnectionFailure failure;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        ConnectionFailure openFailure;
        const std::shared_ptr<FtpConnection> connection = core.Connect(job, attempt > 0, &openFailure);
        bool connected = connection != nullptr;
        if (connected) {
            const Attempt outcome = work(*connection);
            if (outcome == Attempt::kDone) return true;
            if (outcome == Attempt::kFinal) return false;
            if (job.belowFloor && !core.Stopping(job)) ShowStatusWithName(kFtpTextTooSlow, remotePath);
            job.belowFloor = false;
            openFailure = connection->LastFailure();
        }
        if (openFailure.cause != FailureCause::kNone) failure = openFailure;
        // A file that may be missing gets one attempt and no word: its absence is no failure.
        if (core.Stopping(job) || job.optional) return false;
        if (attempt + 1 < kAttempts) {
            ShowRetry(attempt);
        } else {
            if (connected) {
                ShowStatusWithName(workFailed, remotePath);
            } else {
                ShowStatus(kFtpTextCannotConnect);
            }
            ShowFailureCause(failure.cause, failure.detail);
        }
    }
    return false;
}

}  // namespace

int64_t FtpSessionCore::RemoteFileSize(TransferJob& job, const std::string& remotePath) {
    return WithDirOverride<int64_t>(remotePath, -1, [&](const std::string& path) -> int64_t {
        int64_t size = -1;
        const bool ok = RunAttempts(*this, job, kFtpTextSizeFailed, path, [&](FtpConnection& connection) {
            // The server is asked first; only when it cannot tell is the file opened (which
            // starts sending it) for the size announced with it.
            int64_t expected = connection.QuerySize(path.c_str());
            if (expected < 0) {
                std::unique_ptr<FtpRemoteFile> file = connection.OpenFile(path.c_str());
                if (!file) return Attempt::kRetry;
                expected = ExpectedTransferSize(file->AnnouncedSize(), kUnknownSize);
            }
            size = expected == kUnknownSize ? 0 : static_cast<int64_t>(static_cast<uint32_t>(expected));
            return Attempt::kDone;
        });
        return ok ? size : -1;
    });
}

int32_t FtpSessionCore::FetchToMemory(TransferJob& job, const std::string& remotePath, uint8_t* buffer,
                                      uint32_t capacity, std::vector<uint8_t>* block) {
    return WithDirOverride<int32_t>(remotePath, -1, [&](const std::string& path) -> int32_t {
        int32_t count = -1;
        const bool ok = RunAttempts(*this, job, kFtpTextFetchFailed, path, [&](FtpConnection& connection) {
            bool complete = false;
            count = TransferToMemory(job, connection, path.c_str(), buffer, capacity, block, &complete);
            if (count == kTransferTooLarge) {
                ShowStatusWithName(kFtpTextBadData, path);
                return Attempt::kFinal;
            }
            // Below the speed floor: what came is no answer, even into a caller's buffer.
            if (count < 0 || job.belowFloor) return Attempt::kRetry;
            // A download into the session's block must be whole: a short one would hand
            // the caller bytes that were never received.
            if (block != nullptr && (buffer == nullptr || capacity == 0) && !complete) return Attempt::kRetry;
            return Attempt::kDone;
        });
        return ok ? count : -1;
    });
}

int32_t FtpSessionCore::FetchToFile(TransferJob& job, const std::string& remotePath, const std::string& localPath) {
    job.Stamp();
    return WithDirOverride<int32_t>(remotePath, kResultFail, [&](const std::string& path) -> int32_t {
        int32_t result = kResultFail;
        RunAttempts(*this, job, kFtpTextFetchFailed, path, [&](FtpConnection& connection) {
            switch (TransferToFile(job, connection, path.c_str(), localPath.c_str())) {
                case FileTransferOutcome::kDone:
                    // A partial file is the caller's to unwrap once it has checked it.
                    if (job.continuePartial || UnwrapDownloadedFile(localPath.c_str(), path.c_str())) {
                        result = 0;
                        return Attempt::kDone;
                    }
                    ShowStatusWithName(kFtpTextBadData, path);
                    return Attempt::kFinal;
                case FileTransferOutcome::kNoLocal:
                    ShowStatusWithName(kFtpTextCannotCreate, localPath);
                    return Attempt::kFinal;
                case FileTransferOutcome::kTooLarge:
                    ShowStatusWithName(kFtpTextBadData, path);
                    return Attempt::kFinal;
                default:
                    return Attempt::kRetry;
            }
        });
        return result;
    });
}

int32_t FtpSessionCore::Execute(TransferJob& job) {
    if (job.sizeOnly) {
        job.size = RemoteFileSize(job, job.remotePath);
        return job.size < 0 ? kResultFail : 0;
    }
    int32_t result = kResultFail;
    if (!job.localPath.empty()) {
        result = FetchToFile(job, job.remotePath, job.localPath);
    } else if (job.capacity != 0) {
        // Into the job's own buffer, never the caller's: a transfer the watchdog gave up on
        // may still be writing after the caller has moved on.
        job.block.assign(job.capacity, 0);
        std::vector<uint8_t> unused;
        job.size = FetchToMemory(job, job.remotePath, job.block.data(), job.capacity, &unused);
        result = job.size < 0 ? kResultFail : 0;
    } else {
        result = FetchToMemory(job, job.remotePath, nullptr, 0, &job.block) < 0 ? kResultFail : 0;
    }
    if (result == 0) {
        std::lock_guard<std::mutex> hold(lock);
        servedBy[job.remotePath] = job.servedBy;
    }
    return result;
}

namespace {

// Nothing thrown by a request may leave the transfer thread (the process would end): a failed
// allocation for a large download, or any other throw, fails that request.
int32_t ExecuteGuarded(FtpSessionCore& core, TransferJob& job) {
    try {
        return core.Execute(job);
    } catch (...) {
        return kResultFail;
    }
}

}  // namespace

// One transfer thread: it serves the requests handed to it until it is retired.
struct FtpTransferThread {
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable ended;
    std::shared_ptr<TransferJob> pending;
    bool retired = false;
    bool finished = false;
    std::thread thread;

    static void Run(std::shared_ptr<FtpTransferThread> self, std::shared_ptr<FtpSessionCore> core) {
        for (;;) {
            std::shared_ptr<TransferJob> job;
            {
                std::unique_lock<std::mutex> hold(self->lock);
                self->wake.wait(hold, [&] { return self->retired || self->pending; });
                if (self->retired) break;
                job = std::move(self->pending);
                self->pending.reset();
            }
            const int32_t result = core->stop.load() ? UPD_INTERRUPTED : ExecuteGuarded(*core, *job);
            job->Complete(result);
        }
        std::lock_guard<std::mutex> hold(self->lock);
        self->finished = true;
        self->ended.notify_all();
    }
};

FtpSession::FtpSession(const char* host, uint16_t port, const char* user, const char* password)
    : FtpSession(CreateSystemFtpClient(), host, port, user, password) {}

FtpSession::FtpSession(std::shared_ptr<FtpClient> client, const char* host, uint16_t port, const char* user,
                       const char* password, const FtpWatchdogTiming& timing)
    : core_(std::make_shared<FtpSessionCore>(std::move(client), host, port, user, password)), timing_(timing) {
    core_->floor = timing.floor;
    StartThread();
    SetCurrentTransfer(this);
}

FtpSession::~FtpSession() {
    ClearCurrentTransfer(this);
    core_->stop.store(true);
    std::shared_ptr<FtpPrefetch> prefetch;
    {
        std::lock_guard<std::mutex> hold(core_->lock);
        prefetch = std::move(prefetch_);
    }
    prefetch.reset();  // its connections end before the session's thread
    RetireThread();
    std::lock_guard<std::mutex> hold(core_->lock);
    core_->connection.reset();
}

void FtpSession::StartThread() {
    thread_ = std::make_shared<FtpTransferThread>();
    thread_->thread = std::thread(FtpTransferThread::Run, thread_, core_);
}

void FtpSession::RetireThread() {
    std::shared_ptr<FtpTransferThread> old = std::move(thread_);
    thread_.reset();
    if (!old) return;
    bool finished;
    {
        std::unique_lock<std::mutex> hold(old->lock);
        old->retired = true;
        old->wake.notify_all();
        finished = old->ended.wait_for(hold, std::chrono::milliseconds(timing_.graceMs), [&] { return old->finished; });
    }
    // A thread still blocked in the client after the grace period is left to end on its
    // own: forcing it down could leave the client's or the heap's locks held for ever.
    if (finished) {
        old->thread.join();
    } else {
        old->thread.detach();
    }
}

void FtpSession::SetDownloadLimit(uint32_t kilobytesPerSecond) {
    std::lock_guard<std::mutex> hold(core_->lock);
    core_->rateLimit.reset();
    if (kilobytesPerSecond != 0) {
        core_->rateLimit = std::make_shared<RateLimit>(uint64_t{kilobytesPerSecond} * kBytesPerKilobyte);
    }
}

void FtpSession::SetConnections(uint32_t count) {
    connections_ = std::max<uint32_t>(1, std::min(count, kMaxDownloadConnections));
}

void FtpSession::Plan(const std::vector<PlannedFetch>& fetches) {
    std::shared_ptr<FtpPrefetch> old;
    {
        std::lock_guard<std::mutex> hold(core_->lock);
        old = std::move(prefetch_);
    }
    old.reset();  // ends the earlier plan's fetches before the new ones start
    if (connections_ <= 1 || fetches.empty() || core_->stop.load()) return;
    auto prefetch = std::make_shared<FtpPrefetch>(core_, connections_, timing_, fetches, CurrentStagedFileRecorder());
    std::lock_guard<std::mutex> hold(core_->lock);
    prefetch_ = std::move(prefetch);
    // A stop that came while the fetches started finds them here, or they find it.
    if (core_->stop.load()) prefetch_->Stop();
}

std::shared_ptr<FtpPrefetch> FtpSession::Prefetch() const {
    std::lock_guard<std::mutex> hold(core_->lock);
    return prefetch_;
}

void FtpSession::SetServerList(const uint32_t* addresses, uint32_t count) {
    std::lock_guard<std::mutex> hold(core_->lock);
    core_->servers.assign(addresses, addresses + (addresses != nullptr ? count : 0));
}

void FtpSession::SetHostOrder(const std::vector<std::string>& hosts) {
    std::lock_guard<std::mutex> hold(core_->lock);
    core_->hostOrder = hosts;
}

std::string FtpSession::CurrentHost() const {
    std::lock_guard<std::mutex> hold(core_->lock);
    return core_->host;
}

std::shared_ptr<TransferJob> FtpSession::NewJob(const char* remotePath, ProgressSink* sink) {
    auto job = std::make_shared<TransferJob>(&core_->activity, sink);
    job->remotePath = remotePath != nullptr ? remotePath : "";
    std::lock_guard<std::mutex> hold(core_->lock);
    core_->Equip(*job);
    return job;
}

int32_t FtpSession::RunRequest(const char* remotePath, const char* localPath, ProgressSink* sink,
                               uint64_t maxBytes, bool continuePartial, bool optional) {
    std::shared_ptr<TransferJob> job = NewJob(remotePath, sink);
    job->localPath = localPath != nullptr ? localPath : "";
    job->maxBytes = maxBytes;
    job->continuePartial = continuePartial;
    job->optional = optional;
    const int32_t result = RunJob(job);
    if (result == 0 && job->localPath.empty()) block_ = std::move(job->block);
    return result;
}

int32_t FtpSession::RunJob(std::shared_ptr<TransferJob>& job) {
    // A request the watchdog gave up is asked of the next mirror, of each once, as a refused
    // one is: a mirror that hangs or stalls costs the request one watchdog's wait.
    for (size_t moves = 0;; ++moves) {
        const int32_t result = RunJobOnce(job);
        if (result != kResultSkipped || job->optional || core_->stop.load() || moves + 1 >= MirrorCount()) {
            return result;
        }
        job = job->Renewed();
    }
}

size_t FtpSession::MirrorCount() const {
    std::lock_guard<std::mutex> hold(core_->lock);
    return core_->hostOrder.size();
}

int32_t FtpSession::RunJobOnce(const std::shared_ptr<TransferJob>& job) {
    if (core_->stop.load() || !thread_) return UPD_INTERRUPTED;
    // The request counts as activity: a long pause before it is no stall of it.
    job->Stamp();
    {
        std::lock_guard<std::mutex> hold(core_->lock);
        core_->current = job;
    }
    {
        std::lock_guard<std::mutex> hold(thread_->lock);
        thread_->pending = job;
    }
    thread_->wake.notify_all();

    uint32_t wait = timing_.pollMs;
    while (!job->WaitCompleted(wait)) {
        const uint32_t idle = platform::TickCountMs() - core_->activity.load();
        if (idle <= timing_.idleLimitMs || core_->stop.load()) {
            // The next look comes a poll later, or just when the limit would be passed, so a
            // stall is caught 30 s after the last activity rather than up to a poll later.
            const uint32_t left = idle <= timing_.idleLimitMs ? timing_.idleLimitMs - idle + 1 : timing_.pollMs;
            wait = left < timing_.pollMs ? left : timing_.pollMs;
            continue;
        }
        // The watchdog: give the stalled transfer up, answer the request as skipped and
        // serve the next one on a fresh thread and connection.
        core_->Cancel(*job, kResultSkipped);
        {
            // A stalled mirror is not asked again first: the next request starts on the next.
            std::lock_guard<std::mutex> hold(core_->lock);
            if (!core_->hostOrder.empty()) core_->host = core_->NextHost();
        }
        RetireThread();
        StartThread();
        DebugOutput(kFtpDebugSkipped);
    }
    {
        std::lock_guard<std::mutex> hold(core_->lock);
        if (core_->current == job) core_->current.reset();
    }
    return job->Result();
}

int32_t FtpSession::DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                 uint64_t maxBytes) {
    if (localPath == nullptr || *localPath == '\0') return kResultFail;
    return RunRequest(remotePath, localPath, sink, maxBytes);
}

int32_t FtpSession::ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                 uint64_t maxBytes) {
    if (localPath == nullptr || *localPath == '\0') return kResultFail;
    if (const std::shared_ptr<FtpPrefetch> prefetch = Prefetch()) {
        switch (prefetch->Take(remotePath != nullptr ? remotePath : "", localPath, sink)) {
            case FtpPrefetch::Handover::kWhole: return 0;
            case FtpPrefetch::Handover::kStopped: return UPD_INTERRUPTED;
            case FtpPrefetch::Handover::kPart:
            case FtpPrefetch::Handover::kNotPlanned: break;
        }
    }
    return RunRequest(remotePath, localPath, sink, maxBytes, true);
}

int32_t FtpSession::DownloadToTempFile(const char* remotePath, char* pathOut, uint32_t capacity, ProgressSink* sink) {
    if (pathOut == nullptr || capacity < kMinTempPathCapacity) return kResultFail;
    const std::string dir = platform::TempDirectory();
    if (dir.empty()) return kResultFail;
    // Like the system's unique temporary names: prefix, four hex digits, ".TMP", made empty.
    const unsigned start = platform::TickCountMs();
    for (unsigned n = 0; n < kTempNameTries; ++n) {
        char name[32];
        std::snprintf(name, sizeof(name), "/%s%04X%s", kTempPrefix, (start + n) & 0xFFFFu, kTempSuffix);
        const std::string path = dir + name;
        if (path.size() >= capacity || platform::FileExists(path.c_str())) continue;
        platform::OwnedFile made(CreateLocalFile(path.c_str()));
        if (!made.valid()) return kResultFail;
        made.Close();
        std::snprintf(pathOut, capacity, "%s", path.c_str());
        return DownloadFile(remotePath, pathOut, sink, kNoSizeBound);
    }
    return kResultFail;
}

int32_t FtpSession::DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size,
                                     ProgressSink* sink, uint64_t maxBytes) {
    block_.clear();
    block_.shrink_to_fit();
    const int32_t result = RunRequest(remotePath, nullptr, sink, maxBytes);
    if (result < 0) return result;
    return HandOverBlock(remotePath, bytes, size);
}

int32_t FtpSession::FetchOptional(const char* remotePath, const uint8_t** bytes, uint32_t* size, uint64_t maxBytes) {
    block_.clear();
    block_.shrink_to_fit();
    const int32_t result = RunRequest(remotePath, nullptr, nullptr, maxBytes, false, true);
    if (result < 0) return result;
    return HandOverBlock(remotePath, bytes, size);
}

void FtpSession::ReleaseBlock() { std::vector<uint8_t>().swap(block_); }

int32_t FtpSession::HandOverBlock(const char* remotePath, const uint8_t** bytes, uint32_t* size) {
    if (block_.empty()) return kResultFail;
    std::vector<uint8_t> member;
    bool extracted = false;
    ExtractUpdatePkMember(DownloadMemberName(remotePath), block_.data(), block_.size(), member, &extracted);
    if (extracted) block_ = std::move(member);
    *bytes = block_.data();
    *size = static_cast<uint32_t>(block_.size());
    return 0;
}

void FtpSession::Interrupt() {
    core_->stop.store(true);
    std::shared_ptr<TransferJob> job;
    std::shared_ptr<FtpPrefetch> prefetch;
    {
        std::lock_guard<std::mutex> hold(core_->lock);
        job = core_->current;
        prefetch = prefetch_;
    }
    if (prefetch) prefetch->Stop();
    if (job) core_->Cancel(*job, UPD_INTERRUPTED);
}

void FtpSession::DistrustServer(const char* remotePath) {
    std::lock_guard<std::mutex> hold(core_->lock);
    if (core_->hostOrder.size() < 2) return;
    const auto served = core_->servedBy.find(remotePath != nullptr ? remotePath : "");
    const std::string bad = served != core_->servedBy.end() ? served->second : core_->host;
    core_->distrusted.insert(bad);
    if (core_->host != bad && core_->distrusted.count(core_->host) == 0) return;
    const std::string next = NextTrustedHost(core_->hostOrder, bad, core_->distrusted);
    if (next == core_->host) return;
    core_->host = next;
    // No request runs now (the caller is the one that makes them): the connection to the
    // distrusted host is simply dropped.
    core_->connection.reset();
}

uint32_t FtpSession::ServerCount() const {
    const size_t mirrors = MirrorCount();
    return mirrors > 1 ? static_cast<uint32_t>(mirrors) : 1;
}

int64_t FtpSession::GetRemoteFileSize(const char* remotePath) {
    std::shared_ptr<TransferJob> job = NewJob(remotePath, nullptr);
    job->sizeOnly = true;
    return RunJob(job) == 0 ? job->size : -1;
}

int32_t FtpSession::FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink* sink) {
    // Without a buffer of its own a fetch has nowhere to put the bytes.
    if (buffer == nullptr || capacity == 0) return -1;
    std::shared_ptr<TransferJob> job = NewJob(remotePath, sink);
    job->capacity = capacity;
    if (RunJob(job) != 0 || job->size < 0) return -1;
    std::memcpy(buffer, job->block.data(), static_cast<size_t>(job->size));
    return static_cast<int32_t>(job->size);
}
