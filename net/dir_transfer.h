// A transfer object that serves a local directory as the server root: remote paths are
// relative to it. paktool sync and the tests use it in place of the FTP session.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/transfer.h"

class DirTransfer : public Transfer {
public:
    // Registers itself as the current transfer for its lifetime.
    explicit DirTransfer(std::string serverRoot);
    ~DirTransfer() override;
    DirTransfer(const DirTransfer&) = delete;
    DirTransfer& operator=(const DirTransfer&) = delete;

    int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override;
    int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                         uint64_t maxBytes = kNoSizeBound) override;
    int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes = kNoSizeBound) override;
    int32_t FetchOptional(const char* remotePath, const uint8_t** bytes, uint32_t* size, uint64_t maxBytes) override;
    void ReleaseBlock() override { std::vector<uint8_t>().swap(block_); }
    void Interrupt() override;

private:
    // The server file for `remotePath`, or "" when the path leaves the server root.
    std::string ServerFile(const char* remotePath) const;
    // Sets *from to the server file of a download and checks it: 0, or the code (after a
    // status line) when the transfer was interrupted, the path leaves the root or the file
    // is larger than `maxBytes`.
    int32_t ServerFileWithin(const char* remotePath, uint64_t maxBytes, std::string* from) const;
    // Copies the server file to `localPath` from byte `start` on (the bytes before it are
    // the local file's own), with progress reports; 0 or a negative code. A short copy
    // removes the local file unless `keepPartial`.
    int32_t CopyToLocal(const std::string& from, const char* remotePath, const char* localPath, ProgressSink* sink,
                        uint64_t start, bool keepPartial);

    std::string root_;
    std::atomic<bool> interrupted_{false};
    std::vector<uint8_t> block_;
};
