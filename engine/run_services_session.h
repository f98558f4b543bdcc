// The server session of a run as the driver sees it, over the session that carries the
// requests (the FTP session, or the HTTP session built on it).
#pragma once

#include <memory>

#include "engine/run_services.h"
#include "net/ftp_policy.h"
#include "net/ftp_session.h"

class TransportServerSession : public ServerSession {
public:
    // `session` registers itself as the current transfer, so a stop reaches it.
    explicit TransportServerSession(std::unique_ptr<FtpSession> session) : session_(std::move(session)) {}

    FtpSession& session() { return *session_; }

    int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override {
        return session_->DownloadFile(remotePath, localPath, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override {
        return session_->ContinueFile(remotePath, localPath, sink, maxBytes);
    }
    int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes = kNoSizeBound) override {
        return session_->DownloadToMemory(remotePath, bytes, size, sink, maxBytes);
    }
    int32_t FetchOptional(const char* remotePath, const uint8_t** bytes, uint32_t* size, uint64_t maxBytes) override {
        return session_->FetchOptional(remotePath, bytes, size, maxBytes);
    }
    void Plan(const std::vector<PlannedFetch>& fetches) override { session_->Plan(fetches); }
    uint32_t ServerCount() const override { return session_->ServerCount(); }
    void DistrustServer(const char* remotePath) override { session_->DistrustServer(remotePath); }
    void ReleaseBlock() override { session_->ReleaseBlock(); }
    void Interrupt() override { session_->Interrupt(); }
    int64_t GetRemoteFileSize(const char* remotePath) override { return session_->GetRemoteFileSize(remotePath); }
    int32_t FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink* sink) override {
        return session_->FetchToMemory(remotePath, buffer, capacity, sink);
    }
    bool OverrideDirectoryFailed() const override { return DownloadDirOverrideFailed(); }

private:
    std::unique_ptr<FtpSession> session_;
};
