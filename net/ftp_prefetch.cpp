#include "net/ftp_prefetch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "common/progress_sink.h"
#include "net/ftp_client.h"
#include "net/ftp_policy.h"
#include "net/ftp_session_core.h"
#include "net/ftp_transfers.h"
#include "net/local_file.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"

namespace {

constexpr size_t kNone = SIZE_MAX;

enum class Phase {
    kWaiting,  // no connection has taken it yet
    kRunning,  // a connection is fetching it
    kEnded,    // fetched (whole or in part); waits for the run
    kDone,     // handed over, passed over by the run, or fetched by the run itself
};

// One planned file.
struct Item {
    explicit Item(const PlannedFetch& f) : fetch(f) {}
    PlannedFetch fetch;
    Phase phase = Phase::kWaiting;
    bool whole = false;        // the fetch brought the whole file
    bool abandoned = false;    // no one will take it: the connection removes what it staged
    bool passedOver = false;   // the run went past it: even a recorded file goes
    std::string staged;        // the temporary file the fetch writes, or
    bool recorded = false;     // the recorder took `staged`
    std::vector<uint8_t> held; // what it brought of a file fetched into memory
    uint64_t heldCounted = 0;  // what it counts against the in-memory bound meanwhile
    std::shared_ptr<TransferJob> job;
    std::shared_ptr<FtpConnection> connection;  // the connection fetching it, while it does
    std::atomic<uint32_t> activity{0};
};

void RemoveStaged(std::string& path) {
    if (path.empty()) return;
    platform::SetFileAttributesNormal(path.c_str());
    platform::RemoveFile(path.c_str());
    path.clear();
}

// The bound a file counts with against the bytes ahead: a file of no known bound counts
// as the whole allowance, so it is fetched ahead only alone.
uint64_t AheadBytesOf(const Item& item) { return std::min(item.fetch.maxBytes, kPrefetchAheadBytes); }

bool FetchedIntoMemory(const Item& item) { return item.fetch.maxBytes <= kPrefetchInMemoryMax; }

// Reports `bytes` handed over as one transfer's begin and end, as the request that would
// have brought them reports them.
void ReportHanded(ProgressSink* sink, uint64_t bytes) {
    if (sink == nullptr) return;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
    sink->OnProgress(0, count, kProgressBegin);
    sink->OnProgress(count, count, kProgressEnd);
}

// Puts what a fetch ahead brought into the request's (empty) file: the staged file in its
// place, or the bytes held in memory written into it.
bool MoveInto(const std::string& staged, const std::vector<uint8_t>& held, const std::string& localPath) {
    // In one step: a request's file that went missing for a moment could be taken as a
    // new temporary name by a connection staging its next file.
    if (!staged.empty()) return platform::ReplaceFileAtomic(staged.c_str(), localPath.c_str());
    platform::OwnedFile local(OpenLocalFileAt(localPath.c_str(), 0));
    if (!local.valid()) return false;
    const uint32_t size = static_cast<uint32_t>(held.size());
    if (platform::WriteToFile(local.get(), held.data(), size) == size) return true;
    // Whatever part was written is no part of the file the request will continue.
    local.Close();
    platform::OwnedFile truncated(CreateLocalFile(localPath.c_str()));
    return false;
}

}  // namespace

struct FtpPrefetch::State {
    std::shared_ptr<FtpSessionCore> core;
    std::shared_ptr<StagedFileRecorder> recorder;
    uint32_t connections = 0;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Item>> items;
    size_t nextToFetch = 0;  // no item before it waits for a connection
    size_t nextToTake = 0;   // the run has asked for no item from it on
    size_t running = 0;      // connections still at work
    bool stopped = false;
    // The memory files fetched into memory may hold, counted from when a connection takes one
    // until its bytes are handed over or dropped, passed-over and abandoned ones included.
    uint64_t heldInMemory = 0;

    // The next item a connection may take now; kNone when it must wait or nothing is left
    // (*finished: nothing is left).
    size_t NextToClaim(bool* finished);
    // One connection's work: takes items until none is left or the fetch ahead stops.
    static void Run(std::shared_ptr<State> self);
    // Fetches one taken item on `connection` (made and opened when null, or when it goes to
    // `connectedTo` and the session has moved to another server).
    void Fetch(Item& item, std::shared_ptr<FtpConnection>& connection, std::string& connectedTo);
    // The run went past `item` without asking for it.
    void PassOver(Item& item);
    // Counts a file taken into memory against the bound; frees what it held and uncounts it.
    void CountHeld(Item& item);
    void DropHeld(Item& item);
    // What a file the run will not take leaves: a passed-over one nothing, recorded or not;
    // one the fetches ahead stopped on only what the recorder took.
    void Discard(Item& item);
    void Release(Item& item);
};

size_t FtpPrefetch::State::NextToClaim(bool* finished) {
    nextToFetch = std::max(nextToFetch, nextToTake);
    while (nextToFetch < items.size() && items[nextToFetch]->phase != Phase::kWaiting) ++nextToFetch;
    *finished = stopped || nextToFetch >= items.size();
    if (*finished) return kNone;
    if (nextToFetch >= nextToTake + size_t{kPrefetchFilesPerConnection} * connections) return kNone;
    uint64_t ahead = 0;
    for (size_t i = nextToTake; i < nextToFetch; ++i) {
        const Phase phase = items[i]->phase;
        if (phase == Phase::kRunning || phase == Phase::kEnded) ahead += AheadBytesOf(*items[i]);
    }
    const Item& next = *items[nextToFetch];
    if (ahead > 0 && ahead + AheadBytesOf(next) > kPrefetchAheadBytes) return kNone;
    if (FetchedIntoMemory(next) && heldInMemory + next.fetch.maxBytes > kPrefetchInMemoryAheadBytes) return kNone;
    return nextToFetch;
}

void FtpPrefetch::State::CountHeld(Item& item) {
    if (!FetchedIntoMemory(item)) return;
    item.heldCounted = item.fetch.maxBytes;
    heldInMemory += item.heldCounted;
}

void FtpPrefetch::State::Discard(Item& item) {
    if (item.recorded && !item.staged.empty()) {
        recorder->OnDropped(item.fetch.remotePath);
        item.staged.clear();
    }
    RemoveStaged(item.staged);
    item.recorded = false;
    DropHeld(item);
}

void FtpPrefetch::State::Release(Item& item) {
    if (item.recorded) item.staged.clear();  // the recorder's now, to continue later
    RemoveStaged(item.staged);
    DropHeld(item);
}

void FtpPrefetch::State::DropHeld(Item& item) {
    std::vector<uint8_t>().swap(item.held);  // the memory itself, not only the count
    heldInMemory -= item.heldCounted;
    item.heldCounted = 0;
}

void FtpPrefetch::State::Run(std::shared_ptr<State> self) {
    std::shared_ptr<FtpConnection> connection;
    std::string connectedTo;
    std::unique_lock<std::mutex> hold(self->lock);
    for (;;) {
        bool finished = false;
        const size_t next = self->NextToClaim(&finished);
        if (finished) break;
        if (next == kNone) {
            self->changed.wait(hold);
            continue;
        }
        Item& item = *self->items[next];
        item.phase = Phase::kRunning;
        self->CountHeld(item);
        item.activity.store(platform::TickCountMs());
        item.job = std::make_shared<TransferJob>(&item.activity, nullptr);
        hold.unlock();
        // Nothing thrown may leave the thread: a throw fails this file's fetch ahead only.
        try {
            self->Fetch(item, connection, connectedTo);
        } catch (...) {
            item.whole = false;
        }
        hold.lock();
        item.phase = Phase::kEnded;
        item.connection.reset();
        // A connection that failed is not used again: the next file gets a fresh one.
        if (!item.whole) connection.reset();
        if (item.passedOver) {
            self->Discard(item);
        } else if (item.abandoned || self->stopped) {
            self->Release(item);
        }
        self->changed.notify_all();
    }
    --self->running;
    self->changed.notify_all();
}

void FtpPrefetch::State::Fetch(Item& item, std::shared_ptr<FtpConnection>& connection, std::string& connectedTo) {
    TransferJob& job = *item.job;
    job.maxBytes = item.fetch.maxBytes;
    const bool inMemory = FetchedIntoMemory(item);
    job.continuePartial = !inMemory;  // what arrived stays for the run's request to continue
    std::string host;
    {
        std::lock_guard<std::mutex> hold(core->lock);
        core->Equip(job);  // the one limit and floor of every transfer of the session
        host = core->host;
        // Known before the bytes arrive: a file that fails its digest names its server.
        core->servedBy[item.fetch.remotePath] = host;
    }
    // A connection to a server the session has left (it stalled, or served bytes that were
    // not the file's) is not used again.
    if (connection && connectedTo != host) connection.reset();
    const std::string staged = inMemory ? std::string() : CreateTempFileBeside(item.fetch.besideLocal.c_str());
    // Recorded before its first byte: a kill from now on leaves the file to be continued.
    const bool recorded = !staged.empty() && recorder && recorder->OnStaged(item.fetch.remotePath, staged);
    {
        std::lock_guard<std::mutex> hold(lock);
        item.staged = staged;
        item.recorded = recorded;
        if (stopped || (!inMemory && staged.empty())) return;
        if (connection) item.connection = connection;
    }
    if (!connection) {
        std::shared_ptr<FtpConnection> made = core->client->NewConnection();
        if (!made) return;
        {
            // Known before it opens, so a stop closes a server that never answers.
            std::lock_guard<std::mutex> hold(lock);
            if (stopped || job.Cancelled()) return;
            item.connection = made;
        }
        if (!made->Open(host, core->port, core->user, core->password) || job.Cancelled()) return;
        connection = made;
        connectedTo = host;
    }
    if (!inMemory) {
        item.whole = TransferToFile(job, *connection, item.fetch.remotePath.c_str(), staged.c_str()) ==
                         FileTransferOutcome::kDone &&
                     !job.Cancelled();
        return;
    }
    std::vector<uint8_t> block;
    bool complete = false;
    const int32_t count =
        TransferToMemory(job, *connection, item.fetch.remotePath.c_str(), nullptr, 0, &block, &complete);
    // Nothing, or more than the bound: nothing kept. A fetch given up keeps what it brought,
    // for the request to continue after.
    if (count <= 0) return;
    block.resize(static_cast<size_t>(count));
    block.shrink_to_fit();  // only what arrived stays held until the run takes it
    item.whole = complete;
    item.held = std::move(block);
}

void FtpPrefetch::State::PassOver(Item& item) {
    if (item.phase == Phase::kRunning) {
        // No one will ask for it: its connection stops now and drops what it brought.
        item.abandoned = true;
        item.passedOver = true;
        if (item.job) item.job->Cancel();
        if (item.connection) AbortConnection(std::move(item.connection));
        item.connection.reset();
        return;
    }
    Discard(item);
    item.phase = Phase::kDone;
}

FtpPrefetch::FtpPrefetch(std::shared_ptr<FtpSessionCore> core, uint32_t connections, const FtpWatchdogTiming& timing,
                         const std::vector<PlannedFetch>& plan, std::shared_ptr<StagedFileRecorder> recorder)
    : state_(std::make_shared<State>()), timing_(timing) {
    state_->core = std::move(core);
    state_->recorder = std::move(recorder);
    state_->connections = std::max<uint32_t>(1, std::min(connections, kMaxDownloadConnections));
    // A file the edition's download folder may serve is fetched by the run itself, which
    // knows to ask that folder first.
    const std::string& overrideDir = GetDownloadDirOverride();
    for (const PlannedFetch& fetch : plan) {
        if (!RedirectedRemotePath(fetch.remotePath, overrideDir).empty()) continue;
        state_->items.push_back(std::make_unique<Item>(fetch));
    }
    if (state_->items.empty()) return;
    for (uint32_t i = 0; i < state_->connections; ++i) {
        try {
            threads_.emplace_back(State::Run, state_);
            std::lock_guard<std::mutex> hold(state_->lock);
            ++state_->running;
        } catch (const std::system_error&) {
            break;  // fewer connections then; the run's own fetches whatever none takes
        }
    }
}

FtpPrefetch::~FtpPrefetch() {
    Stop();
    bool ended = false;
    {
        std::unique_lock<std::mutex> hold(state_->lock);
        ended = state_->changed.wait_for(hold, std::chrono::milliseconds(timing_.graceMs),
                                         [&] { return state_->running == 0; });
        for (auto& item : state_->items) {
            if (item->phase == Phase::kRunning) {
                item->abandoned = true;
            } else {
                state_->Release(*item);
            }
        }
    }
    // A connection still blocked in the client after the grace period is left to end on
    // its own (it holds the state); forcing it down could leave the client's locks held.
    for (std::thread& thread : threads_) {
        if (ended) {
            thread.join();
        } else {
            thread.detach();
        }
    }
}

uint64_t FtpPrefetch::BytesHeldInMemory() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    uint64_t bytes = 0;
    for (const auto& item : state_->items) bytes += item->held.capacity();
    return bytes;
}

void FtpPrefetch::Stop() {
    std::vector<std::shared_ptr<FtpConnection>> open;
    {
        std::lock_guard<std::mutex> hold(state_->lock);
        state_->stopped = true;
        for (auto& item : state_->items) {
            if (item->phase != Phase::kRunning) continue;
            if (item->job) item->job->Cancel();
            if (item->connection) open.push_back(std::move(item->connection));
            item->connection.reset();
        }
    }
    state_->changed.notify_all();
    for (auto& connection : open) AbortConnection(std::move(connection));
}

FtpPrefetch::Handover FtpPrefetch::Take(const std::string& remotePath, const std::string& localPath,
                                        ProgressSink* sink) {
    State& s = *state_;
    std::unique_lock<std::mutex> hold(s.lock);
    size_t at = s.nextToTake;
    while (at < s.items.size() && (s.items[at]->phase == Phase::kDone || s.items[at]->fetch.remotePath != remotePath)) {
        ++at;
    }
    if (at >= s.items.size()) return Handover::kNotPlanned;
    for (size_t i = s.nextToTake; i < at; ++i) s.PassOver(*s.items[i]);
    s.nextToTake = at + 1;
    s.changed.notify_all();
    Item& item = *s.items[at];
    if (item.phase == Phase::kWaiting) {
        item.phase = Phase::kDone;  // the run's own request fetches it
        return Handover::kNotPlanned;
    }
    while (item.phase == Phase::kRunning) {
        if (s.core->stop.load() || s.stopped) return Handover::kStopped;
        s.changed.wait_for(hold, std::chrono::milliseconds(timing_.pollMs));
        const uint32_t idle = platform::TickCountMs() - item.activity.load();
        if (item.phase != Phase::kRunning || idle <= timing_.idleLimitMs) continue;
        // Stalled: given up as the watchdog gives up a request, and fetched by the request.
        item.job->Cancel();
        if (item.connection) AbortConnection(std::move(item.connection));
        item.connection.reset();
        if (!s.changed.wait_for(hold, std::chrono::milliseconds(timing_.graceMs),
                                [&] { return item.phase != Phase::kRunning; })) {
            item.abandoned = true;
            // The request's own file stays the request's, whatever the connection does.
            if (item.staged == localPath) {
                item.staged.clear();
                item.recorded = false;
            } else {
                item.passedOver = true;
            }
            return Handover::kNotPlanned;
        }
    }
    if (s.core->stop.load() || s.stopped) return Handover::kStopped;
    item.phase = Phase::kDone;
    std::string staged = std::move(item.staged);
    item.staged.clear();
    const bool recorded = item.recorded;
    item.recorded = false;
    const std::vector<uint8_t> held = std::move(item.held);
    s.DropHeld(item);  // the bytes are the request's now, written and freed below
    const bool whole = item.whole;
    hold.unlock();

    if (!staged.empty() && staged == localPath) {
        // The recorded staged file is the request's own partial: continued where it lies.
        const uint64_t bytes = LocalFileLength(localPath.c_str());
        if (bytes == 0) return Handover::kNotPlanned;
        ReportHanded(sink, bytes);
        return whole ? Handover::kWhole : Handover::kPart;
    }
    const uint64_t bytes = staged.empty() ? held.size() : LocalFileLength(staged.c_str());
    // The request's file is new and empty; anything else it holds is the request's own.
    if (bytes == 0 || LocalFileLength(localPath.c_str()) != 0 || !MoveInto(staged, held, localPath)) {
        if (recorded && !staged.empty()) s.recorder->OnDropped(remotePath);
        RemoveStaged(staged);
        return Handover::kNotPlanned;
    }
    ReportHanded(sink, bytes);
    return whole ? Handover::kWhole : Handover::kPart;
}
