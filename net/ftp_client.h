// The FTP primitives the session is built on, so the session's logic (retries, watchdog,
// transfers) does not depend on the system's client: WinINet implements them on Windows,
// tests script them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/connection_failure.h"

// One remote file opened for reading (binary).
class FtpRemoteFile {
public:
    virtual ~FtpRemoteFile() = default;
    // The size the server announced when the file was opened; 0 also when it gave none.
    virtual uint32_t AnnouncedSize() = 0;
    // Reads up to `count` bytes; the bytes read, 0 at the end of the data, -1 on failure.
    virtual int32_t Read(void* buffer, uint32_t count) = 0;
    // The byte of the file the data begins at: the offset a resumed open asked for, when the
    // server accepted it; 0 otherwise.
    virtual uint64_t StartsAt() const { return 0; }
};

// One connection to a server: made unopened, then opened (connected and logged in).
class FtpConnection {
public:
    virtual ~FtpConnection() = default;
    // Connects to `host` in passive mode and logs in; false when the server cannot be reached
    // or refuses the login. An Abort from another thread makes a blocked Open return false,
    // so a server that accepts the connection and never answers cannot hold up a stop.
    virtual bool Open(const std::string& host, uint16_t port, const std::string& user,
                      const std::string& password) = 0;
    // Opens `remotePath` for reading; null when the server refuses it.
    virtual std::unique_ptr<FtpRemoteFile> OpenFile(const char* remotePath) = 0;
    // Opens `remotePath` asking the server to begin at byte `from` (REST); the file's
    // StartsAt tells whether it does. A client or server that cannot resume gives the file
    // from its start.
    virtual std::unique_ptr<FtpRemoteFile> OpenFileFrom(const char* remotePath, uint64_t from) {
        (void)from;
        return OpenFile(remotePath);
    }
    // Asks the server for the size of `remotePath` without opening it (no file may be open
    // on this connection); -1 when it cannot tell.
    virtual int64_t QuerySize(const char* remotePath) = 0;
    // Closes the connection's handles from another thread, so that a call blocked in it
    // (Open included) returns with a failure. The connection is unusable afterwards.
    virtual void Abort() = 0;
    // The download limit of the files opened next, in bytes a second (0: none). The reads
    // are held to it above; a client that buffers ahead of them keeps its buffers to a
    // fraction of a second's worth, so the line, not just the reader, keeps the limit.
    virtual void LimitReceive(uint64_t bytesPerSecond) { (void)bytesPerSecond; }
    // Why the last Open or request on this connection failed, as far as the client can tell.
    virtual ConnectionFailure LastFailure() const { return ConnectionFailure(); }
};

class FtpClient {
public:
    virtual ~FtpClient() = default;
    // A connection not opened yet (the session holds it while it opens, so that a stop can
    // abort the open); null when the system's client is not available.
    virtual std::unique_ptr<FtpConnection> NewConnection() = 0;
};

// The system's FTP client (WinINet on Windows; elsewhere one that never connects).
std::shared_ptr<FtpClient> CreateSystemFtpClient();
