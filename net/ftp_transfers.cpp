#include "net/ftp_transfers.h"

#include <algorithm>
#include <memory>

#include "common/progress_sink.h"
#include "net/ftp_client.h"
#include "net/ftp_policy.h"
#include "net/local_file.h"
#include "net/rate_limit.h"
#include "platform/platform.h"

void TransferJob::Stamp() {
    if (!cancelled_.load()) activity_->store(platform::TickCountMs());
}

void TransferJob::StampProgress(uint64_t done) {
    // The first call (before any byte) stamps: the transfer has just begun.
    if (progressStamped_ && done < stampedBytes_ + kMinProgressBytes) return;
    progressStamped_ = true;
    stampedBytes_ = done;
    Stamp();
}

void TransferJob::Report(uint32_t done, uint32_t total, uint32_t status) {
    if (sink_ == nullptr) return;
    // Held across the call, so Cancel waits for a report in flight: the sink may be gone
    // once the request has been answered.
    std::lock_guard<std::mutex> hold(lock_);
    if (!cancelled_.load()) sink_->OnProgress(done, total, status);
}

void TransferJob::Cancel() {
    std::lock_guard<std::mutex> hold(lock_);
    cancelled_.store(true);
}

std::shared_ptr<TransferJob> TransferJob::Renewed() const {
    auto job = std::make_shared<TransferJob>(activity_, sink_);
    job->remotePath = remotePath;
    job->localPath = localPath;
    job->sizeOnly = sizeOnly;
    job->optional = optional;
    job->capacity = capacity;
    job->maxBytes = maxBytes;
    job->continuePartial = continuePartial;
    job->rateLimit = rateLimit;
    job->floor = floor;
    job->running = running;
    return job;
}

void TransferJob::Complete(int32_t result) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (completed_) return;
        completed_ = true;
        result_ = result;
    }
    answered_.notify_all();
}

bool TransferJob::WaitCompleted(uint32_t ms) {
    std::unique_lock<std::mutex> hold(lock_);
    return answered_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return completed_; });
}

int32_t TransferJob::Result() {
    std::lock_guard<std::mutex> hold(lock_);
    return result_;
}

namespace {

constexpr uint32_t kLimitWaitSliceMs = 250;
constexpr uint32_t kPartialReadMax = ReadSizer::kMinRead;

// The remote file opened for a transfer, with the size the transfer expects.
struct OpenedRemote {
    std::unique_ptr<FtpRemoteFile> file;
    int64_t size = kUnknownSize;
};

// Opens `remotePath` once, from byte *from when the remote file is longer than that (a
// partial at least as long as the file is no part of it: *from becomes 0 and the file is
// fetched whole). The size is asked for first (no command may run while a file is open): a
// server that announces none when the file opens (WinINet under Wine never does) would
// otherwise have the file opened a second time after the question, and start sending it
// twice. An announced size still comes first.
bool OpenRemote(TransferJob& job, FtpConnection& connection, const char* remotePath, uint64_t* from,
                OpenedRemote& out) {
    connection.LimitReceive(job.rateLimit ? job.rateLimit->bytesPerSecond() : 0);
    const int64_t queried = connection.QuerySize(remotePath);
    if (queried >= 0 && *from > static_cast<uint64_t>(queried)) *from = 0;
    out.file = *from > 0 ? connection.OpenFileFrom(remotePath, *from) : connection.OpenFile(remotePath);
    if (!out.file) return false;
    out.size = ExpectedTransferSize(out.file->AnnouncedSize(), queried);
    return true;
}

uint32_t StatusAfter(uint64_t done, int64_t size, bool ended) {
    if (size == kUnknownSize) return ended ? kProgressEnd : kProgressData;
    return done < static_cast<uint64_t>(size) ? kProgressData : kProgressEnd;
}

// Progress reports of one transfer: the first and the last always reach the sink, those in
// between at most every ProgressThrottle interval. A continued transfer reports only what it
// brings (counts above `base`, the bytes already on disk), so the run's counters and its
// speed and time left count what is still to come.
class Reporter {
public:
    Reporter(TransferJob& job, uint64_t base) : job_(job), base_(base) {}
    void Step(uint64_t done, uint64_t total, uint32_t status) {
        job_.StampProgress(done);
        if (throttle_.ShouldPost(platform::TickCountMs())) Send(done, total, status);
    }
    void Final(uint64_t done, uint64_t total, uint32_t status) {
        job_.Stamp();
        Send(done, total, status);
    }

private:
    void Send(uint64_t done, uint64_t total, uint32_t status) {
        job_.Report(static_cast<uint32_t>(done - base_), static_cast<uint32_t>(total - base_), status);
    }

    TransferJob& job_;
    uint64_t base_;
    ProgressThrottle throttle_;
};

// A remote file announced larger than the job accepts.
bool AnnouncedTooLarge(const TransferJob& job, int64_t size) {
    return size != kUnknownSize && static_cast<uint64_t>(size) > job.maxBytes;
}

// How many more bytes a read may ask for: one past the job's bound, so a body longer than
// the bound is seen without reading more of it.
uint64_t ReadRoom(const TransferJob& job, uint64_t done) {
    const uint64_t stop = job.maxBytes == UINT64_MAX ? UINT64_MAX : job.maxBytes + 1;
    return done < stop ? stop - done : 0;
}

uint64_t ReportedTotal(int64_t size, uint64_t done) {
    return size == kUnknownSize ? done : std::max(done, static_cast<uint64_t>(size));
}

}  // namespace

namespace {

// Where a transfer's bytes go: room for the next read, then the bytes it brought.
class TransferDestination {
public:
    virtual ~TransferDestination() = default;
    // Room for `want` bytes at offset `done`; null when there is none.
    virtual uint8_t* Room(uint64_t done, uint32_t want) = 0;
    // Keeps `count` bytes just read into Room's answer; false when they cannot be kept.
    virtual bool Keep(const uint8_t* bytes, uint32_t count) = 0;
};

// Waits as long as the download limit asks after `count` bytes, in slices that stamp the
// watchdog (a transfer held back by the limit is no stall) and end early on a stop. The
// milliseconds it waited.
uint32_t KeepToTheLimit(TransferJob& job, uint32_t count) {
    if (!job.rateLimit) return 0;
    uint32_t wait = job.rateLimit->Take(count);
    uint32_t waited = 0;
    while (wait > 0 && !job.Cancelled()) {
        const uint32_t slice = std::min(wait, kLimitWaitSliceMs);
        job.rateLimit->clock().SleepMs(slice);
        job.Stamp();
        wait -= slice;
        waited += slice;
    }
    return waited;
}

// Counts a transfer among those of its session running at once while it lives.
class RunningTransfer {
public:
    explicit RunningTransfer(const std::shared_ptr<std::atomic<uint32_t>>& running) : running_(running) {
        if (running_) running_->fetch_add(1);
    }
    ~RunningTransfer() {
        if (running_) running_->fetch_sub(1);
    }
    RunningTransfer(const RunningTransfer&) = delete;
    RunningTransfer& operator=(const RunningTransfer&) = delete;
    uint32_t Count() const { return running_ ? running_->load() : 1; }

private:
    std::shared_ptr<std::atomic<uint32_t>> running_;
};

// How a pump ended.
struct Pumped {
    uint64_t done = 0;
    uint32_t status = kProgressData;  // kProgressEnd: everything expected arrived
};

// The read loop of every transfer: reads `file` into `destination` until `limit` bytes, the
// job's bound (one byte past it, so a longer body is seen), the end of the data, a failure,
// the job's cancellation or a pace below the job's floor (job.belowFloor), with the
// watchdog's stamps and the progress reports. `size` is the expected size (kUnknownSize:
// until the data ends). A resumed transfer counts from `start`, the bytes already on disk.
Pumped Pump(TransferJob& job, FtpRemoteFile& file, int64_t size, uint64_t limit, TransferDestination& destination,
            uint64_t start = 0) {
    Reporter reporter(job, start);
    ReadSizer sizer;
    const RunningTransfer running(job.running);
    FloorPace pace(job.floor, start, platform::TickCountMs());
    Pumped out;
    out.done = start;
    bool ended = false;
    out.status = size >= 0 && start >= static_cast<uint64_t>(size) ? kProgressEnd : kProgressBegin;
    job.Stamp();
    while (out.done < limit && !job.Cancelled()) {
        reporter.Step(out.done, ReportedTotal(size, out.done), out.status);
        const uint64_t room = std::min<uint64_t>(limit - out.done, ReadRoom(job, out.done));
        if (room == 0) break;
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(sizer.Next(), room));
        if (job.rateLimit) want = std::min(want, job.rateLimit->Chunk());
        // A partial download is written a read at a time: a killed process loses at most the
        // read in flight.
        if (job.continuePartial) want = std::min(want, kPartialReadMax);
        uint8_t* into = destination.Room(out.done, want);
        if (into == nullptr) {
            out.status = kProgressData;
            break;
        }
        const uint32_t readStart = platform::TickCountMs();
        const int32_t got = file.Read(into, want);
        sizer.Took(platform::TickCountMs() - readStart);
        if (got <= 0) {
            ended = got == 0;
            break;
        }
        if (job.Cancelled()) break;
        const uint32_t count = static_cast<uint32_t>(got);
        if (!destination.Keep(into, count)) {
            out.status = kProgressData;
            break;
        }
        out.done += count;
        out.status = StatusAfter(out.done, size, false);
        pace.Held(KeepToTheLimit(job, count));
        if (out.status != kProgressEnd && pace.Fell(out.done, platform::TickCountMs(), running.Count())) {
            job.belowFloor = true;
            break;
        }
    }
    if (size == kUnknownSize) out.status = StatusAfter(out.done, size, ended);
    reporter.Final(out.done, ReportedTotal(size, out.done), out.status);
    return out;
}

// The caller's buffer, or the job's growing block.
class MemoryDestination : public TransferDestination {
public:
    MemoryDestination(uint8_t* buffer, std::vector<uint8_t>* block) : buffer_(buffer), block_(block) {}
    uint8_t* Room(uint64_t done, uint32_t want) override {
        if (buffer_ != nullptr) return buffer_ + done;
        if (block_->size() < done + want) block_->resize(static_cast<size_t>(done + want));
        return block_->data() + done;
    }
    bool Keep(const uint8_t*, uint32_t) override { return true; }  // read in place

private:
    uint8_t* buffer_;
    std::vector<uint8_t>* block_;
};

// A local file, written a chunk at a time.
class FileDestination : public TransferDestination {
public:
    explicit FileDestination(platform::FileHandle file) : file_(file), chunk_(ReadSizer::kMaxRead) {}
    uint8_t* Room(uint64_t, uint32_t want) override { return want <= chunk_.size() ? chunk_.data() : nullptr; }
    bool Keep(const uint8_t* bytes, uint32_t count) override {
        return platform::WriteToFile(file_, bytes, count) == count;
    }

private:
    platform::FileHandle file_;
    std::vector<uint8_t> chunk_;
};

}  // namespace

int32_t TransferToMemory(TransferJob& job, FtpConnection& connection, const char* remotePath, uint8_t* buffer,
                         uint32_t capacity, std::vector<uint8_t>* block, bool* complete) {
    *complete = false;
    job.Stamp();
    OpenedRemote remote;
    uint64_t from = 0;
    if (!OpenRemote(job, connection, remotePath, &from, remote)) return -1;
    if (AnnouncedTooLarge(job, remote.size)) return kTransferTooLarge;

    const bool intoBlock = buffer == nullptr || capacity == 0;
    int64_t size = remote.size;
    if (intoBlock) {
        if (size > static_cast<int64_t>(kFtpMaxMemoryDownload)) return -1;
        block->assign(size == kUnknownSize ? 0 : static_cast<size_t>(size), 0);
    } else if (size == kUnknownSize || size > capacity) {
        size = capacity;
    }
    const uint64_t limit = size == kUnknownSize ? kFtpMaxMemoryDownload : static_cast<uint64_t>(size);
    MemoryDestination destination(intoBlock ? nullptr : buffer, block);
    const Pumped pumped = Pump(job, *remote.file, size, limit, destination);
    if (pumped.done > job.maxBytes) return kTransferTooLarge;
    if (size == kUnknownSize) block->resize(static_cast<size_t>(pumped.done));
    *complete = pumped.status == kProgressEnd && !job.Cancelled();
    return static_cast<int32_t>(pumped.done);
}

namespace {

// The Unicode layer is in use once installed, so its download is not made; the file already
// there stands in for it, so the caller finds the download where it expects it.
FileTransferOutcome KeepInstalledUnicodeLayer(const char* localPath) {
    if (std::string(localPath) == kUnicodeLayerFile) return FileTransferOutcome::kDone;
    platform::CreateParentDirectories(localPath);
    return platform::CopyFileTo(kUnicodeLayerFile, localPath, false) ? FileTransferOutcome::kDone
                                                                      : FileTransferOutcome::kNoLocal;
}

void RemoveLocal(const char* localPath) {
    platform::SetFileAttributesNormal(localPath);
    platform::RemoveFile(localPath);
}

}  // namespace

FileTransferOutcome TransferToFile(TransferJob& job, FtpConnection& connection, const char* remotePath,
                                   const char* localPath) {
    if (IsInstalledUnicodeLayer(remotePath)) return KeepInstalledUnicodeLayer(localPath);
    job.Stamp();
    OpenedRemote remote;
    // A continued download keeps the bytes its partial file holds.
    uint64_t from = job.continuePartial ? LocalFileLength(localPath) : 0;
    if (!OpenRemote(job, connection, remotePath, &from, remote)) return FileTransferOutcome::kNoRemote;
    if (AnnouncedTooLarge(job, remote.size)) {
        // A partial of a file that is not what the caller expects is of no use either.
        if (job.continuePartial) RemoveLocal(localPath);
        return FileTransferOutcome::kTooLarge;
    }
    // A server that did not resume where asked sends the whole file, and it is written whole.
    const uint64_t start = from > 0 && remote.file->StartsAt() == from ? from : 0;
    platform::OwnedFile local(start > 0 ? OpenLocalFileAt(localPath, start) : CreateLocalFile(localPath));
    if (!local.valid()) return FileTransferOutcome::kNoLocal;

    const uint64_t limit = remote.size == kUnknownSize ? UINT64_MAX : static_cast<uint64_t>(remote.size);
    FileDestination destination(local.get());
    const Pumped pumped = Pump(job, *remote.file, remote.size, limit, destination, start);
    local.Close();
    remote.file.reset();
    if (pumped.done > job.maxBytes) {
        RemoveLocal(localPath);
        return FileTransferOutcome::kTooLarge;
    }
    // A request given up by the watchdog or interrupted leaves its partial output as it was;
    // a partial download keeps what arrived for the next attempt or run.
    if (job.Cancelled()) return FileTransferOutcome::kIncomplete;
    if (pumped.status != kProgressEnd && !job.continuePartial) {
        RemoveLocal(localPath);
        return FileTransferOutcome::kIncomplete;
    }
    return pumped.status == kProgressEnd ? FileTransferOutcome::kDone : FileTransferOutcome::kIncomplete;
}
