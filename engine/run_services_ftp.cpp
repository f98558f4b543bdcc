// The run services of update.exe: the server chosen by SelectUpdateServer and an FtpSession
// with the plug-in's port and credentials.
#include <memory>

#include "engine/run_services.h"
#include "net/ftp_policy.h"
#include "net/ftp_session.h"
#include "net/server_select.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"

namespace {

// The FTP session as the driver's server session.
class FtpServerSession : public ServerSession {
public:
    FtpServerSession(const char* host, uint16_t port, const char* user, const char* password)
        : ftp_(host, port, user, password) {}
    void SetServerList(const uint32_t* servers, uint32_t count) { ftp_.SetServerList(servers, count); }
    void SetDownloadLimit(uint32_t kilobytesPerSecond) { ftp_.SetDownloadLimit(kilobytesPerSecond); }

    int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override {
        return ftp_.DownloadFile(remotePath, localPath, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override {
        return ftp_.ContinueFile(remotePath, localPath, sink, maxBytes);
    }
    int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes = kNoSizeBound) override {
        return ftp_.DownloadToMemory(remotePath, bytes, size, sink, maxBytes);
    }
    void Interrupt() override { ftp_.Interrupt(); }
    int64_t GetRemoteFileSize(const char* remotePath) override { return ftp_.GetRemoteFileSize(remotePath); }
    int32_t FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink* sink) override {
        return ftp_.FetchToMemory(remotePath, buffer, capacity, sink);
    }
    bool OverrideDirectoryFailed() const override { return DownloadDirOverrideFailed(); }

private:
    FtpSession ftp_;  // registers itself as the current transfer, so a stop reaches it
};

class FtpRunServices : public RunServices {
public:
    uint32_t SelectServer(ServerCandidates& candidates) override { return SelectUpdateServer(candidates); }

    std::unique_ptr<ServerSession> OpenSession(uint32_t address, const uint32_t* servers, uint32_t count) override {
        iUpdateCfg* cfg = GetPlatformConfig();
        const uint16_t port = static_cast<uint16_t>(cfg != nullptr ? cfg->GetInt(kCfgKeyFtpPort) : 0);
        auto session = std::make_unique<FtpServerSession>(DottedAddress(address).c_str(), port,
                                                          CfgString(cfg, kCfgKeyFtpAccount),
                                                          CfgString(cfg, kCfgKeyFtpPassword));
        session->SetServerList(servers, count);
        const int limit = cfg != nullptr ? cfg->GetInt(kCfgKeyDownloadLimit) : 0;
        session->SetDownloadLimit(limit > 0 ? static_cast<uint32_t>(limit) : 0);
        return session;
    }

    void Sleep(uint32_t ms) override { platform::SleepMs(ms); }
    int64_t FreeDiskBytes(const char* path) override { return platform::FreeDiskBytes(path); }
};

}  // namespace

std::unique_ptr<RunServices> CreateFtpRunServices() { return std::make_unique<FtpRunServices>(); }
