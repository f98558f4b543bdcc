#include "tests/engine/driver_test_support.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/run_state.h"
#include "common/update_codes.h"
#include "engine/manifest_record.h"
#include "engine/manifest_text.h"
#include "engine/md5.h"
#include "engine/update_pk_writer.h"
#include "net/dir_transfer.h"
#include "net/server_select.h"
#include "platformcfg/platform_config.h"

namespace drivertest {

using enginetest::Bytes;
using enginetest::ReadFile;
using enginetest::Text;
using enginetest::WriteFile;

ScriptedCfg::ScriptedCfg() { SetPlatformConfig(this); }
ScriptedCfg::~ScriptedCfg() { SetPlatformConfig(nullptr); }

const char* ScriptedCfg::GetString(const char* key) {
    auto it = strings.find(key);
    return it != strings.end() ? it->second.c_str() : nullptr;
}

int ScriptedCfg::GetInt(const char* key) {
    auto it = ints.find(key);
    return it != ints.end() ? it->second : 0;
}

bool SessionLog::HasCall(const std::string& prefix) const {
    return std::any_of(calls.begin(), calls.end(),
                       [&](const std::string& c) { return c.compare(0, prefix.size(), prefix) == 0; });
}

ScriptedSession::ScriptedSession(std::string serverRoot, std::map<std::string, Fault> faults, SessionLog& log)
    : root_(std::move(serverRoot)), faults_(std::move(faults)), log_(log) {}

Fault ScriptedSession::FaultOf(const char* remotePath) const {
    auto it = faults_.find(remotePath);
    return it != faults_.end() ? it->second : Fault::kNone;
}

int32_t ScriptedSession::FileFault(const char* remotePath, const char* localPath, bool* faulted) {
    *faulted = true;
    const Fault fault = FaultOf(remotePath);
    if (fault == Fault::kMissing || fault == Fault::kDownloadFails) return kResultFail;
    if (fault == Fault::kPlayerStops) {
        StopFlag.store(-1);
        return UPD_INTERRUPTED;
    }
    if (fault == Fault::kStall) {
        // An abandoned transfer (a line dropped half-way) leaves what it had written.
        const std::string content = ReadFile(root_ + "/" + remotePath);
        WriteFile(localPath, content.substr(0, content.size() / 2));
        return kResultSkipped;
    }
    *faulted = false;
    return 0;
}

int32_t ScriptedSession::DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink, uint64_t maxBytes) {
    log_.calls.push_back(std::string("download ") + remotePath + " -> " + localPath);
    bool faulted = false;
    if (const int32_t rc = FileFault(remotePath, localPath, &faulted); faulted) return rc;
    DirTransfer files(root_);
    return files.DownloadFile(remotePath, localPath, sink, maxBytes);
}

int32_t ScriptedSession::ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                      uint64_t maxBytes) {
    log_.calls.push_back(std::string("continue ") + remotePath + " -> " + localPath);
    bool faulted = false;
    if (const int32_t rc = FileFault(remotePath, localPath, &faulted); faulted) return rc;
    DirTransfer files(root_);
    return files.ContinueFile(remotePath, localPath, sink, maxBytes);
}

int32_t ScriptedSession::DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size,
                                          ProgressSink* sink, uint64_t maxBytes) {
    log_.calls.push_back(std::string("memory ") + remotePath);
    if (FaultOf(remotePath) != Fault::kNone) return kResultFail;
    DirTransfer files(root_);
    const uint8_t* data = nullptr;
    const int32_t result = files.DownloadToMemory(remotePath, &data, size, sink, maxBytes);
    if (result != 0) return result;
    block_.assign(data, data + *size);
    *bytes = block_.data();
    return 0;
}

int64_t ScriptedSession::GetRemoteFileSize(const char* remotePath) {
    log_.calls.push_back(std::string("size ") + remotePath);
    const Fault fault = FaultOf(remotePath);
    const std::string content = ReadFile(root_ + "/" + remotePath);
    if (fault == Fault::kMissing || fault == Fault::kSizeFails || content == "<missing>") return -1;
    return static_cast<int64_t>(content.size());
}

int32_t ScriptedSession::FetchToMemory(const char* remotePath, uint8_t* buffer, uint32_t capacity, ProgressSink*) {
    log_.calls.push_back(std::string("fetch ") + remotePath);
    const std::string content = ReadFile(root_ + "/" + remotePath);
    if (FaultOf(remotePath) != Fault::kNone || content == "<missing>") return -1;
    const uint32_t n = std::min<uint32_t>(capacity, static_cast<uint32_t>(content.size()));
    std::memcpy(buffer, content.data(), n);
    return static_cast<int32_t>(n);
}

uint32_t ScriptedServices::SelectServer(ServerCandidates& list) {
    ++selections;
    if (stopOnSelect != 0) StopFlag.store(stopOnSelect);
    if (throwOnSelect == Throw::kBadAlloc) throw std::bad_alloc();
    if (throwOnSelect == Throw::kOther) throw 7;
    list.count = static_cast<uint32_t>(std::min<size_t>(candidates.size(), kMaxServerCandidates));
    std::copy(candidates.begin(), candidates.begin() + list.count, list.address);
    return chosen;
}

std::unique_ptr<ServerSession> ScriptedServices::OpenSession(uint32_t address, const uint32_t* servers,
                                                             uint32_t count) {
    log.openedAddresses.push_back(address);
    log.serverLists.emplace_back(servers, servers + count);
    return std::make_unique<ScriptedSession>(root_, faults, log);
}

void ScriptedServices::Sleep(uint32_t ms) {
    sleeps.push_back(ms);
    if (stopAfterSleeps != 0 && sleeps.size() == stopAfterSleeps) StopFlag.store(1);
}

std::string TestWindow::TakeOfflinePackagePath() {
    std::string path;
    path.swap(offlinePackage);
    return path;
}

ManifestRecord PackedFileRecord(const std::string& name, const std::string& content) {
    ManifestRecord r;
    r.kind = "pack";
    r.name = name;
    r.digest = "md5 " + Md5Text(content.data(), content.size());
    r.size = std::to_string(content.size());
    r.remotePath = "download/" + name;
    return r;
}

void PublishGameFiles(const std::string& server, const std::map<std::string, std::string>& files) {
    std::vector<ManifestRecord> records;
    for (const auto& [name, content] : files) {
        records.push_back(PackedFileRecord(name, content));
        WriteFile(server + "/" + records.back().remotePath, content);
    }
    std::string text;
    AppendManifestText(records, text);
    UpdatePkWriter writer;
    writer.Add("update.inf", Bytes(text));
    std::vector<uint8_t> pak;
    writer.Build(pak);
    WriteFile(server + "/download/update.pak", Text(pak));
}

}  // namespace drivertest
