// The run services of update.exe when the plug-in names web servers: no probe (the bases are
// the servers, in order) and an HttpSession below the first of them.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/run_services.h"
#include "engine/run_services_session.h"
#include "net/ftp_prefetch.h"
#include "net/http_session.h"
#include "net/http_url.h"
#include "net/server_select.h"
#include "net/tls_trust.h"
#include "platform/platform.h"
#include "platform/root_store.h"
#include "platform/system_proxy.h"
#include "platform/wine.h"
#include "platformcfg/platform_config.h"

namespace {

bool IsAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == '\\' || path[0] == '/') return true;
    return path.size() > 1 && path[1] == ':';
}

// libcurl's proxy variables: a player who set one means it for this program.
constexpr const char* kProxyVariables[] = {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"};

bool ProxyVariableSet() {
    for (const char* name : kProxyVariables) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

// What the TLS servers are checked against (the plug-in's pinned file; else the system's
// own trust, or under Wine its trusted roots exported) and the system's proxy setting,
// unless a proxy variable is set.
HttpClientOptions ClientOptionsOf(iUpdateCfg* cfg) {
    HttpClientOptions options;
    const std::string pinned = CfgString(cfg, kCfgKeyUpdateCaFile);
    const TlsVerification tls = ChooseTlsVerification(platform::RunningUnderWine(), !pinned.empty());
    switch (tls.trust) {
        case TlsTrust::kPinnedFile:
            options.caFile = IsAbsolutePath(pinned) ? pinned : GetInstallDir() + pinned;
            break;
        case TlsTrust::kExportedRoots:
            options.caPem = platform::SystemRootCertificatesPem();
            break;
        case TlsTrust::kSystem:
            options.systemTrust = true;
            break;
    }
    options.revocationBestEffort = tls.revocationBestEffort;
    if (!ProxyVariableSet()) {
        const platform::SystemProxySettings proxy = platform::ReadSystemProxySettings();
        options.proxyServers = proxy.servers;
        options.proxyBypass = proxy.bypass;
    }
    return options;
}

// Files fetched at once: the plug-in's count, kept within 1..kMaxDownloadConnections; 0,
// absent or no plug-in: kDefaultDownloadConnections.
uint32_t DownloadConnections(iUpdateCfg* cfg) {
    const int asked = cfg != nullptr ? cfg->GetInt(kCfgKeyDownloadConnections) : 0;
    if (asked <= 0) return kDefaultDownloadConnections;
    return std::min(static_cast<uint32_t>(asked), kMaxDownloadConnections);
}

class HttpRunServices : public RunServices {
public:
    explicit HttpRunServices(std::vector<std::string> bases) : bases_(std::move(bases)) {}

    // The bases stand for the servers: candidate i is base i (numbered from 1, as an address
    // of 0 means none).
    uint32_t SelectServer(ServerCandidates& candidates) override {
        candidates.count = 0;
        for (size_t i = 0; i < bases_.size() && i < kMaxServerCandidates; ++i) {
            candidates.address[i] = static_cast<uint32_t>(i + 1);
            candidates.rtt[i] = 0;
            candidates.count = static_cast<uint32_t>(i + 1);
        }
        return candidates.count > 0 ? 1 : 0;
    }

    std::unique_ptr<ServerSession> OpenSession(uint32_t address, const uint32_t*, uint32_t) override {
        if (address == 0 || address > bases_.size()) return nullptr;
        iUpdateCfg* cfg = GetPlatformConfig();
        // The chosen base first, then the others in their order (mirrors).
        std::vector<std::string> order(bases_.begin() + (address - 1), bases_.end());
        order.insert(order.end(), bases_.begin(), bases_.begin() + (address - 1));
        auto http = std::make_unique<HttpSession>(order, ClientOptionsOf(cfg));
        const int limit = cfg != nullptr ? cfg->GetInt(kCfgKeyDownloadLimit) : 0;
        http->SetDownloadLimit(limit > 0 ? static_cast<uint32_t>(limit) : 0);
        http->SetConnections(DownloadConnections(cfg));
        return std::make_unique<TransportServerSession>(std::move(http));
    }

    void Sleep(uint32_t ms) override { platform::SleepMs(ms); }
    int64_t FreeDiskBytes(const char* path) override { return platform::FreeDiskBytes(path); }

private:
    const std::vector<std::string> bases_;
};

// Chooses the transport once the plug-in is there to ask (at the server choice of the run).
class ChosenRunServices : public RunServices {
public:
    uint32_t SelectServer(ServerCandidates& candidates) override { return Chosen().SelectServer(candidates); }
    std::unique_ptr<ServerSession> OpenSession(uint32_t address, const uint32_t* servers, uint32_t count) override {
        return Chosen().OpenSession(address, servers, count);
    }
    void Sleep(uint32_t ms) override { platform::SleepMs(ms); }
    int64_t FreeDiskBytes(const char* path) override { return platform::FreeDiskBytes(path); }

private:
    RunServices& Chosen() {
        if (!chosen_) {
            const std::vector<std::string> bases = SplitHttpBases(CfgString(GetPlatformConfig(), kCfgKeyUpdateUrl));
            chosen_ = bases.empty() ? CreateFtpRunServices() : CreateHttpRunServices(bases);
        }
        return *chosen_;
    }

    std::unique_ptr<RunServices> chosen_;
};

}  // namespace

std::unique_ptr<RunServices> CreateHttpRunServices(const std::vector<std::string>& bases) {
    return std::make_unique<HttpRunServices>(bases);
}

std::unique_ptr<RunServices> CreateRunServices() { return std::make_unique<ChosenRunServices>(); }
