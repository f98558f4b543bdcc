// The transfer object an update run downloads through: the FTP session in update.exe, a
// directory standing in for the server root in paktool and tests. Remote paths are the
// server's; local paths are relative to the current (installation) directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ProgressSink;

// No bound beyond the transfer's own: what a caller that knows no size passes.
constexpr uint64_t kNoSizeBound = UINT64_MAX;

// One file a run is about to fetch: the remote path, the local file it will be fetched
// beside (its folder is where a transport may stage it), and the most bytes it may take.
struct PlannedFetch {
    std::string remotePath;
    std::string besideLocal;
    uint64_t maxBytes = kNoSizeBound;
};

class Transfer {
public:
    virtual ~Transfer() = default;
    // Fetches `remotePath` into the file `localPath` (missing directories are created). A
    // downloaded file that is a pack holding a member named like the remote file is replaced
    // by that member. 0, or a negative code (UPD_INTERRUPTED, kResultSkipped, kResultFail);
    // a failed download leaves no partial file. A server that announces or sends more than
    // `maxBytes` bytes fails the download at once: what it says about sizes is never
    // trusted above what the caller expects.
    virtual int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                 uint64_t maxBytes = kNoSizeBound) = 0;
    // Fetches `remotePath` into the partial file `localPath` as the server has it (nothing is
    // unwrapped), continuing after the bytes the file already holds when the server resumes
    // there; a server that does not, or a file longer than the remote one, gets it written
    // whole from its start. What arrived before a failure or a stop stays in the file for a
    // later call, so a dropped line costs only what was not yet on disk. A server that
    // announces or sends more than `maxBytes` in all fails at once, and the file is removed.
    // 0 once the whole file is there, or a negative code as for DownloadFile.
    virtual int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                 uint64_t maxBytes = kNoSizeBound) = 0;
    // Fetches `remotePath` into memory. On 0, *bytes and *size describe a block owned by the
    // transfer, valid until its next memory request or its destruction; an UpdatePK container
    // holding a member named like the remote file ("update.inf" for "update.pak") yields that
    // member. Negative codes as for DownloadFile.
    virtual int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size,
                                     ProgressSink* sink, uint64_t maxBytes = kNoSizeBound) = 0;
    // DownloadToMemory of a file a publication may lack (an extension older publications do
    // not have): one attempt, no status line, no progress, no move to another server, so
    // its absence costs the run nothing it can see. Negative codes as for DownloadToMemory.
    virtual int32_t FetchOptional(const char* remotePath, const uint8_t** bytes, uint32_t* size, uint64_t maxBytes) {
        return DownloadToMemory(remotePath, bytes, size, nullptr, maxBytes);
    }
    // The files the run will ask for next, in the order it will ask (ContinueFile or
    // DownloadFile each): a transport that can fetch several at once may start them early, as
    // long as each answer is what the request alone would have given. Replaces any earlier
    // plan. The default fetches nothing early.
    virtual void Plan(const std::vector<PlannedFetch>& fetches) { (void)fetches; }
    // How many servers the transfer fetches from (mirrors in order); 1 when it has no choice.
    virtual uint32_t ServerCount() const { return 1; }
    // `remotePath` arrived with bytes that are not the file's (its digest differs): the server
    // that served it is not asked again while another is trusted, so the file's next fetch
    // and the requests after it go to the next one. Nothing to do with a single server.
    virtual void DistrustServer(const char* remotePath) { (void)remotePath; }
    // Frees the block of the last memory request (its bytes are no longer valid), so what a
    // caller is done with is not held until the next memory request. The default holds none.
    virtual void ReleaseBlock() {}
    // Aborts the transfer in progress and refuses further requests (UPD_INTERRUPTED). May be
    // called from another thread.
    virtual void Interrupt() = 0;
};

// The process-wide current transfer, which a stop request interrupts. A transfer object
// registers itself for its lifetime.
void SetCurrentTransfer(Transfer* transfer);
// Clears the current transfer if it is `transfer`.
void ClearCurrentTransfer(Transfer* transfer);
// Interrupts the current transfer, if any, under the registry lock.
void InterruptCurrentTransfer();
