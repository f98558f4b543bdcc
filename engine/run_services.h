// What an online update run needs from the world outside the engine: the choice of the
// update server, the server session, and the pause of the up-to-date animation. update.exe
// uses the real ones (the UDP probe and the FTP session, or web servers and the HTTP session);
// tests script them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/transfer.h"

class ProgressSink;
struct ServerCandidates;

// The server session of one run: the engine downloads through its Transfer operations; the
// self-update check also asks for a file's size and reads its small version file directly.
class ServerSession : public Transfer {
public:
    // Size of `remotePath` in bytes, or -1.
    virtual int64_t GetRemoteFileSize(const char* remotePath) = 0;
    // Reads `remotePath` into `buffer` (at most `capacity` bytes); the bytes read, or -1.
    virtual int32_t FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink* sink) = 0;
    // Whether the download-directory word was tried and failed in the last retrying
    // operation (then the default directory was used).
    virtual bool OverrideDirectoryFailed() const = 0;
};

class RunServices {
public:
    virtual ~RunServices() = default;
    // Fills the zero-filled `candidates` and returns the chosen server's IPv4 address
    // (network byte order), or 0 when none could be determined.
    virtual uint32_t SelectServer(ServerCandidates& candidates) = 0;
    // Opens the session to `address` with the plug-in's port and credentials; the first
    // `count` entries of `servers` are the servers a reconnection may move to. The session
    // is the process-wide current transfer for its lifetime.
    virtual std::unique_ptr<ServerSession> OpenSession(uint32_t address, const uint32_t* servers,
                                                       uint32_t count) = 0;
    // The pause between two frames of the up-to-date animation.
    virtual void Sleep(uint32_t ms) = 0;
    // Bytes free for the user on the volume holding `path`; -1 when unknown.
    virtual int64_t FreeDiskBytes(const char* path) = 0;
};

// The services of update.exe: SelectUpdateServer and an FtpSession.
std::unique_ptr<RunServices> CreateFtpRunServices();
// The services of a run that fetches from web servers: the `bases` (http:// or https://, in
// order of preference) and an HttpSession; no probe.
std::unique_ptr<RunServices> CreateHttpRunServices(const std::vector<std::string>& bases);
// The services update.exe runs on: over HTTP(S) when the plug-in answers "update url" with
// at least one http:// or https:// base, else exactly the FTP services.
std::unique_ptr<RunServices> CreateRunServices();
