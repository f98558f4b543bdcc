// A scripted FTP client for the session tests: files with chosen faults (short data, a
// dropped connection, a stall until the connection is closed, a 0 announced size), hosts
// that refuse connections or never answer, and a log of every connection and open.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "net/ftp_client.h"

namespace ftptest {

enum class Fault {
    kNone,
    kShort,        // delivers `cut` bytes, then the data ends
    kDrop,         // delivers `cut` bytes, then the read fails
    kStall,        // delivers `cut` bytes, then blocks until the connection is closed
    kStallHard,    // the same, but stays blocked `stuckMs` longer after the close
    kEndless,      // after the data, sends filler bytes for as long as it is read
    kTrickle,      // after `cut` bytes, the rest one byte per read, kTrickleMs apart
    kThrow,        // after `cut` bytes, the read throws std::bad_alloc
};

constexpr uint32_t kTrickleMs = 10;

struct ScriptedFile {
    std::string data;
    Fault fault = Fault::kNone;
    size_t cut = 0;
    bool announceZero = false;  // the open announces 0 bytes (as under Wine)
    int64_t announce = -1;      // the open announces this size instead of the data's (-1: the data's)
    bool sizeKnown = true;      // QuerySize answers
    int faultyOpens = -1;       // the fault applies to this many opens (-1: all)
    bool resumes = true;        // a resumed open begins where asked (false: the server ignores REST)
};

class ScriptedServer : public FtpClient, public std::enable_shared_from_this<ScriptedServer> {
public:
    std::unique_ptr<FtpConnection> NewConnection() override;

    void Put(const std::string& path, const ScriptedFile& file) {
        std::lock_guard<std::mutex> hold(lock);
        files[path] = file;
    }
    void Refuse(const std::string& host) {
        std::lock_guard<std::mutex> hold(lock);
        refused.insert(host);
    }
    // The host accepts the connection and never answers: an open blocks until aborted.
    void Mute(const std::string& host) {
        std::lock_guard<std::mutex> hold(lock);
        mute.insert(host);
    }
    std::vector<std::string> Connects() {
        std::lock_guard<std::mutex> hold(lock);
        return connects;
    }
    std::vector<std::string> Opens() {
        std::lock_guard<std::mutex> hold(lock);
        return opens;
    }
    std::vector<std::string> SizeQueries() {
        std::lock_guard<std::mutex> hold(lock);
        return sizeQueries;
    }

    std::mutex lock;
    std::map<std::string, ScriptedFile> files;
    std::map<std::string, int> openCount;
    std::set<std::string> refused;
    std::set<std::string> mute;
    std::vector<std::string> connects;
    std::vector<std::string> opens;
    std::vector<std::string> sizeQueries;
    uint32_t stuckMs = 0;
    std::atomic<int> blockedOpens{0};   // opens blocked on a mute host right now
    std::atomic<int> blockedReads{0};   // reads blocked in a stall right now
    std::atomic<int> endedStalls{0};    // stalled reads that have returned
    std::atomic<uint64_t> fillerBytes{0};  // bytes an endless file sent past its data
    std::atomic<uint64_t> servedBytes{0};  // bytes of file data handed to the client
    uint32_t openDelayMs = 0;           // every open of a file takes this long (a round trip)
    std::atomic<int> filesOpen{0};      // files being opened or read right now
    std::atomic<int> mostFilesOpen{0};  // the most that were open at once
    // What a connection says of a refused open, and of an open of a file the server lacks.
    ConnectionFailure refusal;
    ConnectionFailure missing;
};

}  // namespace ftptest
