// The run services of update.exe: the server chosen by SelectUpdateServer and an FtpSession
// with the plug-in's port and credentials.
#include <memory>

#include "engine/run_services.h"
#include "engine/run_services_session.h"
#include "net/ftp_policy.h"
#include "net/ftp_session.h"
#include "net/server_select.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"

namespace {

class FtpRunServices : public RunServices {
public:
    uint32_t SelectServer(ServerCandidates& candidates) override { return SelectUpdateServer(candidates); }

    std::unique_ptr<ServerSession> OpenSession(uint32_t address, const uint32_t* servers, uint32_t count) override {
        iUpdateCfg* cfg = GetPlatformConfig();
        const uint16_t port = static_cast<uint16_t>(cfg != nullptr ? cfg->GetInt(kCfgKeyFtpPort) : 0);
        auto ftp = std::make_unique<FtpSession>(DottedAddress(address).c_str(), port, CfgString(cfg, kCfgKeyFtpAccount),
                                                CfgString(cfg, kCfgKeyFtpPassword));
        ftp->SetServerList(servers, count);
        const int limit = cfg != nullptr ? cfg->GetInt(kCfgKeyDownloadLimit) : 0;
        ftp->SetDownloadLimit(limit > 0 ? static_cast<uint32_t>(limit) : 0);
        return std::make_unique<TransportServerSession>(std::move(ftp));
    }

    void Sleep(uint32_t ms) override { platform::SleepMs(ms); }
    int64_t FreeDiskBytes(const char* path) override { return platform::FreeDiskBytes(path); }
};

}  // namespace

std::unique_ptr<RunServices> CreateFtpRunServices() { return std::make_unique<FtpRunServices>(); }
