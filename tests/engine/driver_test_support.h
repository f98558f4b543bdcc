// Scripted stand-ins for the world around an update run: a plug-in with fixed answers, a
// server session over a server folder with injectable faults, run services that record
// what the driver asked for, and a window with an offline-package path.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/manifest_record.h"
#include "engine/run_services.h"
#include "engine/update_driver.h"
#include "platformcfg/update_cfg.h"
#include "tests/engine/engine_test_support.h"

namespace drivertest {

// A plug-in answering from two tables; lent as the process-wide plug-in while alive.
class ScriptedCfg : public iUpdateCfg {
public:
    ScriptedCfg();
    ~ScriptedCfg();
    ScriptedCfg(const ScriptedCfg&) = delete;
    ScriptedCfg& operator=(const ScriptedCfg&) = delete;
    int Initialize(const char*) override { return 1; }
    const char* GetString(const char* key) override;
    int GetInt(const char* key) override;
    int Launch(const char*) override { return 0; }

    std::map<std::string, std::string> strings;
    std::map<std::string, int> ints;
};

// What goes wrong with a remote file.
enum class Fault {
    kNone,
    kMissing,     // the server has no such file (every operation fails)
    kStall,       // the download stops half-way: half the bytes stay in the local file, skipped
    kSizeFails,   // the size query fails
    kDownloadFails,  // the size is known but the download fails, leaving nothing
    kPlayerStops,    // the player interrupts (discarding) while this file downloads
};

// Everything the sessions of a test were asked, in order ("size download/x", "fetch v",
// "download r -> l", "continue r -> l", "memory r").
struct SessionLog {
    std::vector<std::string> calls;
    std::vector<uint32_t> openedAddresses;
    std::vector<std::vector<uint32_t>> serverLists;
    bool HasCall(const std::string& prefix) const;
};

// Serves the folder `serverRoot` as the server root.
class ScriptedSession : public ServerSession {
public:
    ScriptedSession(std::string serverRoot, std::map<std::string, Fault> faults, SessionLog& log);
    int32_t DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink, uint64_t maxBytes) override;
    int32_t ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink, uint64_t maxBytes) override;
    int32_t DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size, ProgressSink* sink, uint64_t maxBytes) override;
    void Interrupt() override {}
    int64_t GetRemoteFileSize(const char* remotePath) override;
    int32_t FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink* sink) override;
    bool OverrideDirectoryFailed() const override { return overrideFailed; }

    bool overrideFailed = false;

private:
    Fault FaultOf(const char* remotePath) const;
    // The answer of a file download that `remotePath`'s fault decides (*faulted), else 0.
    int32_t FileFault(const char* remotePath, const char* localPath, bool* faulted);
    std::string root_;
    std::map<std::string, Fault> faults_;
    SessionLog& log_;
    std::vector<uint8_t> block_;
};

class ScriptedServices : public RunServices {
public:
    explicit ScriptedServices(std::string serverRoot) : root_(std::move(serverRoot)) {}
    uint32_t SelectServer(ServerCandidates& candidates) override;
    std::unique_ptr<ServerSession> OpenSession(uint32_t address, const uint32_t* servers, uint32_t count) override;
    void Sleep(uint32_t ms) override;
    int64_t FreeDiskBytes(const char*) override { return freeBytes; }

    // The selection's answer and the candidate list it leaves.
    uint32_t chosen = 0x0100007F;
    std::vector<uint32_t> candidates = {0x0100007F, 0x0200007F};
    // StopFlag is set to this value when the selection runs (0: left alone).
    int32_t stopOnSelect = 0;
    // What the selection throws instead of answering.
    enum class Throw { kNothing, kBadAlloc, kOther } throwOnSelect = Throw::kNothing;
    // StopFlag is set to 1 after this many pauses (0: never).
    uint32_t stopAfterSleeps = 0;
    std::map<std::string, Fault> faults;
    // What the volume has free (-1: unknown).
    int64_t freeBytes = INT64_MAX;

    uint32_t selections = 0;
    std::vector<uint32_t> sleeps;
    SessionLog log;

private:
    std::string root_;
};

class TestWindow : public RunWindow {
public:
    Notifier* notifier() override { return &notes; }
    std::string TakeOfflinePackagePath() override;
    bool TakeRepairRequest() override { return std::exchange(repair, false); }
    enginetest::RecordingNotifier notes;
    std::string offlinePackage;
    bool repair = false;  // the next run is a repair
};

// The record of a packed file `name` holding `content`, published as download/NAME.
ManifestRecord PackedFileRecord(const std::string& name, const std::string& content);

// Writes a server folder under `server` publishing `files` (name -> content) as packed
// files under download/, with the manifest in download/update.pak.
void PublishGameFiles(const std::string& server, const std::map<std::string, std::string>& files);

}  // namespace drivertest
