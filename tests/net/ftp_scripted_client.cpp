#include "tests/net/ftp_scripted_client.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace ftptest {

namespace {

struct ConnectionState {
    std::mutex lock;
    std::condition_variable closed;
    bool aborted = false;
};

class ScriptedRemoteFile : public FtpRemoteFile {
public:
    ScriptedRemoteFile(std::shared_ptr<ScriptedServer> server, std::shared_ptr<ConnectionState> state,
                       ScriptedFile file, bool faulty, uint64_t from = 0)
        : server_(std::move(server)), state_(std::move(state)), file_(std::move(file)), faulty_(faulty),
          at_(static_cast<size_t>(from)), startsAt_(from) {}
    ~ScriptedRemoteFile() override { --server_->filesOpen; }

    uint64_t StartsAt() const override { return startsAt_; }

    uint32_t AnnouncedSize() override {
        if (file_.announceZero) return 0;
        return static_cast<uint32_t>(file_.announce >= 0 ? file_.announce : static_cast<int64_t>(file_.data.size()));
    }

    int32_t Read(void* buffer, uint32_t count) override {
        if (faulty_ && file_.fault == Fault::kTrickle && at_ >= file_.cut && at_ < file_.data.size() && count > 0) {
            if (IsAborted()) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(kTrickleMs));
            std::memcpy(buffer, file_.data.data() + at_, 1);
            ++at_;
            return 1;
        }
        size_t end = file_.data.size();
        if (faulty_ && file_.fault != Fault::kNone) end = std::min(end, file_.cut);
        if (at_ < end) {
            const size_t n = std::min<size_t>(count, end - at_);
            std::memcpy(buffer, file_.data.data() + at_, n);
            at_ += n;
            server_->servedBytes += n;
            return static_cast<int32_t>(n);
        }
        if (!faulty_) return 0;
        switch (file_.fault) {
            case Fault::kDrop:
                return -1;
            case Fault::kEndless:
                std::memset(buffer, 'x', count);
                server_->fillerBytes += count;
                return static_cast<int32_t>(count);
            case Fault::kStall:
            case Fault::kStallHard:
                return Stall();
            case Fault::kThrow:
                throw std::bad_alloc();
            default:
                return 0;
        }
    }

private:
    bool IsAborted() {
        std::lock_guard<std::mutex> hold(state_->lock);
        return state_->aborted;
    }

    int32_t Stall() {
        ++server_->blockedReads;
        {
            std::unique_lock<std::mutex> hold(state_->lock);
            state_->closed.wait(hold, [&] { return state_->aborted; });
        }
        if (file_.fault == Fault::kStallHard) std::this_thread::sleep_for(std::chrono::milliseconds(server_->stuckMs));
        --server_->blockedReads;
        ++server_->endedStalls;
        return -1;
    }

    std::shared_ptr<ScriptedServer> server_;
    std::shared_ptr<ConnectionState> state_;
    ScriptedFile file_;
    bool faulty_;
    size_t at_ = 0;
    uint64_t startsAt_ = 0;
};

class ScriptedConnection : public FtpConnection {
public:
    explicit ScriptedConnection(std::shared_ptr<ScriptedServer> server)
        : server_(std::move(server)), state_(std::make_shared<ConnectionState>()) {}

    bool Open(const std::string& host, uint16_t, const std::string&, const std::string&) override {
        bool mute = false;
        {
            std::lock_guard<std::mutex> hold(server_->lock);
            server_->connects.push_back(host);
            if (server_->refused.count(host) != 0) {
                failure_ = server_->refusal;
                return false;
            }
            mute = server_->mute.count(host) != 0;
        }
        if (!mute) return !Aborted();
        ++server_->blockedOpens;
        {
            std::unique_lock<std::mutex> hold(state_->lock);
            state_->closed.wait(hold, [&] { return state_->aborted; });
        }
        --server_->blockedOpens;
        return false;
    }

    std::unique_ptr<FtpRemoteFile> OpenFile(const char* remotePath) override { return OpenFileFrom(remotePath, 0); }

    std::unique_ptr<FtpRemoteFile> OpenFileFrom(const char* remotePath, uint64_t from) override {
        // A request counts as open from its start to the end of its file.
        const int open = ++server_->filesOpen;
        int most = server_->mostFilesOpen.load();
        while (open > most && !server_->mostFilesOpen.compare_exchange_weak(most, open)) {
        }
        std::unique_ptr<FtpRemoteFile> file = Opened(remotePath, from);
        if (!file) --server_->filesOpen;
        return file;
    }

    std::unique_ptr<FtpRemoteFile> Opened(const char* remotePath, uint64_t from) {
        if (server_->openDelayMs != 0) std::this_thread::sleep_for(std::chrono::milliseconds(server_->openDelayMs));
        std::lock_guard<std::mutex> hold(server_->lock);
        server_->opens.push_back(remotePath);
        auto it = server_->files.find(remotePath);
        if (it == server_->files.end()) failure_ = server_->missing;
        if (it == server_->files.end() || Aborted()) return nullptr;
        const int n = server_->openCount[remotePath]++;
        const bool faulty = it->second.faultyOpens < 0 || n < it->second.faultyOpens;
        const uint64_t start = it->second.resumes && from <= it->second.data.size() ? from : 0;
        return std::unique_ptr<FtpRemoteFile>(new ScriptedRemoteFile(server_, state_, it->second, faulty, start));
    }

    int64_t QuerySize(const char* remotePath) override {
        std::lock_guard<std::mutex> hold(server_->lock);
        server_->sizeQueries.push_back(remotePath);
        auto it = server_->files.find(remotePath);
        if (it == server_->files.end() || !it->second.sizeKnown) return -1;
        return static_cast<int64_t>(it->second.data.size());
    }

    void Abort() override {
        std::lock_guard<std::mutex> hold(state_->lock);
        state_->aborted = true;
        state_->closed.notify_all();
    }

    ConnectionFailure LastFailure() const override { return failure_; }

private:
    bool Aborted() {
        std::lock_guard<std::mutex> hold(state_->lock);
        return state_->aborted;
    }

    std::shared_ptr<ScriptedServer> server_;
    std::shared_ptr<ConnectionState> state_;
    ConnectionFailure failure_;
};

}  // namespace

std::unique_ptr<FtpConnection> ScriptedServer::NewConnection() {
    return std::unique_ptr<FtpConnection>(new ScriptedConnection(shared_from_this()));
}

}  // namespace ftptest
