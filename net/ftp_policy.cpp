#include "net/ftp_policy.h"

#include <atomic>
#include <cstdio>

#include "platform/platform.h"

namespace {

std::atomic<bool> g_overrideFailed{false};

constexpr const char kDefaultDirPrefix[] = "download/";
constexpr size_t kDefaultDirPrefixLength = sizeof(kDefaultDirPrefix) - 1;
// The redirected path keeps the remote path from the prefix's slash on.
constexpr size_t kDefaultDirSlash = kDefaultDirPrefixLength - 1;

}  // namespace

bool DownloadDirOverrideFailed() { return g_overrideFailed.load(); }
void SetDownloadDirOverrideFailed(bool failed) { g_overrideFailed.store(failed); }

std::string RedirectedRemotePath(const std::string& remotePath, const std::string& overrideDir) {
    if (overrideDir.empty() || remotePath.size() <= kDefaultDirPrefixLength) return std::string();
    if (remotePath.compare(0, kDefaultDirPrefixLength, kDefaultDirPrefix) != 0) return std::string();
    return overrideDir + remotePath.substr(kDefaultDirSlash);
}

std::string DottedAddress(uint32_t address) {
    // Network byte order: the first octet is the lowest-addressed byte.
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

std::string PickOtherServer(const std::vector<uint32_t>& servers, const std::string& currentHost,
                            std::minstd_rand& random) {
    if (servers.size() < 2) return currentHost;
    std::vector<std::string> others;
    for (uint32_t address : servers) {
        std::string dotted = DottedAddress(address);
        if (dotted != currentHost) others.push_back(std::move(dotted));
    }
    if (others.empty()) return currentHost;
    std::uniform_int_distribution<size_t> pick(0, others.size() - 1);
    return others[pick(random)];
}

std::string NextListedHost(const std::vector<std::string>& hosts, const std::string& currentHost) {
    if (hosts.empty()) return currentHost;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i] == currentHost) return hosts[(i + 1) % hosts.size()];
    }
    return hosts.front();
}

std::string NextTrustedHost(const std::vector<std::string>& hosts, const std::string& currentHost,
                            const std::set<std::string>& distrusted) {
    std::string next = NextListedHost(hosts, currentHost);
    for (size_t passed = 0; passed < hosts.size() && distrusted.count(next) != 0; ++passed) {
        next = NextListedHost(hosts, next);
    }
    return distrusted.count(next) != 0 ? NextListedHost(hosts, currentHost) : next;
}

int64_t ExpectedTransferSize(uint32_t announced, int64_t queried) {
    if (announced != 0) return announced;
    if (queried < 0) return kUnknownSize;
    return queried;
}

bool ProgressThrottle::ShouldPost(uint32_t nowMs) {
    if (posted_ && nowMs - lastMs_ < intervalMs_) return false;
    posted_ = true;
    lastMs_ = nowMs;
    return true;
}

void ReadSizer::Took(uint32_t elapsedMs) {
    if (elapsedMs < kFastMs && size_ < kMaxRead) size_ *= 2;
    if (elapsedMs > kSlowMs && size_ > kMinRead) size_ /= 2;
}

bool FloorPace::Fell(uint64_t done, uint32_t nowMs, uint32_t sharers) {
    const uint32_t elapsed = nowMs - windowStartMs_;
    const uint32_t active = elapsed > heldMs_ ? elapsed - heldMs_ : 0;
    if (floor_.bytesPerSecond == 0 || active < floor_.windowMs) return false;
    const uint64_t needed = uint64_t{floor_.bytesPerSecond} * active / 1000 / (sharers > 0 ? sharers : 1);
    const uint64_t brought = done > windowBytes_ ? done - windowBytes_ : 0;
    if (brought < needed) return true;
    windowBytes_ = done;
    windowStartMs_ = nowMs;
    heldMs_ = 0;
    return false;
}

bool IsInstalledUnicodeLayer(const std::string& remotePath) {
    return remotePath.find(kUnicodeLayerRemoteMark) != std::string::npos &&
           platform::FileExists(kUnicodeLayerFile);
}
