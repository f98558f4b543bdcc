// The download limit as a player sees it: one FtpSession fetching from an in-memory server
// that answers as fast as it is read, with the limit at 64 KB/s, 1 MB/s and 10 MB/s for ten
// seconds each, and at 1 MB/s for sixteen files fetched on four connections at once. The
// counters give the rate reached and its ratio to the limit (the goal is 0.9 to 1.1); the
// unlimited transfer of the same bytes is the reference.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/ftp_client.h"
#include "net/ftp_session.h"
#include "net/local_file.h"
#include "platform/platform.h"

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kSeconds = 10;

// A file of `size` bytes that is always ready.
class ReadyFile : public FtpRemoteFile {
public:
    explicit ReadyFile(uint64_t size) : left_(size) {}
    uint32_t AnnouncedSize() override { return static_cast<uint32_t>(left_); }
    int32_t Read(void* buffer, uint32_t count) override {
        const uint32_t n = static_cast<uint32_t>(count < left_ ? count : left_);
        std::memset(buffer, 'k', n);
        left_ -= n;
        return static_cast<int32_t>(n);
    }

private:
    uint64_t left_;
};

class ReadyConnection : public FtpConnection {
public:
    explicit ReadyConnection(uint64_t size) : size_(size) {}
    bool Open(const std::string&, uint16_t, const std::string&, const std::string&) override { return true; }
    std::unique_ptr<FtpRemoteFile> OpenFile(const char*) override { return std::make_unique<ReadyFile>(size_); }
    int64_t QuerySize(const char*) override { return static_cast<int64_t>(size_); }
    void Abort() override {}

private:
    uint64_t size_;
};

class ReadyServer : public FtpClient {
public:
    explicit ReadyServer(uint64_t size) : size_(size) {}
    std::unique_ptr<FtpConnection> NewConnection() override { return std::make_unique<ReadyConnection>(size_); }

private:
    uint64_t size_;
};

// Fetches `bytes` with the limit at `limitKb` KB/s (0: none), timing the download alone.
void Fetch(benchmark::State& state, uint64_t limitKb, uint64_t bytes) {
    const std::string target = platform::TempDirectory() + "/kvo-bench-rate.bin";
    for (auto _ : state) {
        FtpSession session(std::make_shared<ReadyServer>(bytes), "127.0.0.1", 21, "u", "p");
        session.SetDownloadLimit(static_cast<uint32_t>(limitKb));
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = session.DownloadFile("file.bin", target.c_str(), nullptr);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (result != 0) state.SkipWithError("the download failed");
        state.counters["KB/s"] = static_cast<double>(bytes) / kKiB / seconds;
        if (limitKb != 0) state.counters["ratio"] = static_cast<double>(bytes) / kKiB / seconds / limitKb;
    }
    platform::RemoveFile(target.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

// Fetches `files` files of `bytes` in all on `connections` connections, as an update run
// does (planned, each continued into a temporary file), with the limit at `limitKb` KB/s.
void FetchPlanned(benchmark::State& state, uint64_t limitKb, uint64_t bytes, uint32_t files, uint32_t connections) {
    const std::string dir = platform::TempDirectory() + "/kvo-bench-rate";
    platform::MakeDirectory(dir.c_str());
    std::vector<PlannedFetch> plan;
    for (uint32_t i = 0; i < files; ++i) {
        plan.push_back(PlannedFetch{"f" + std::to_string(i), dir + "/f" + std::to_string(i), bytes / files});
    }
    for (auto _ : state) {
        FtpSession session(std::make_shared<ReadyServer>(bytes / files), "127.0.0.1", 21, "u", "p");
        session.SetDownloadLimit(static_cast<uint32_t>(limitKb));
        session.SetConnections(connections);
        const auto start = std::chrono::steady_clock::now();
        session.Plan(plan);
        for (const PlannedFetch& fetch : plan) {
            const std::string partial = CreateTempFileBeside(fetch.besideLocal.c_str());
            if (session.ContinueFile(fetch.remotePath.c_str(), partial.c_str(), nullptr, fetch.maxBytes) != 0) {
                state.SkipWithError("a download failed");
            }
            platform::RemoveFile(partial.c_str());
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["KB/s"] = static_cast<double>(bytes) / kKiB / seconds;
        state.counters["ratio"] = static_cast<double>(bytes) / kKiB / seconds / limitKb;
    }
    platform::RemoveEmptyDirectory(dir.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

void BM_LimitedDownloadOnFourConnections(benchmark::State& state) {
    constexpr uint32_t kFiles = 16;
    constexpr uint32_t kConnections = 4;
    const uint64_t limitKb = static_cast<uint64_t>(state.range(0));
    FetchPlanned(state, limitKb, limitKb * kKiB * kSeconds, kFiles, kConnections);
}

void BM_LimitedDownload(benchmark::State& state) {
    const uint64_t limitKb = static_cast<uint64_t>(state.range(0));
    Fetch(state, limitKb, limitKb * kKiB * kSeconds);
}

void BM_UnlimitedReference(benchmark::State& state) {
    Fetch(state, 0, static_cast<uint64_t>(state.range(0)) * kKiB * kSeconds);
}

}  // namespace

BENCHMARK(BM_LimitedDownload)->Arg(64)->Arg(1024)->Arg(10240)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LimitedDownloadOnFourConnections)->Arg(1024)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_UnlimitedReference)->Arg(10240)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
