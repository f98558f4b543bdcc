#include "net/dir_transfer.h"

#include <algorithm>

#include "common/show_status.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "net/local_file.h"
#include "net/server_name.h"
#include "net/status_text.h"
#include "net/unwrap.h"

namespace {

constexpr uint32_t kChunkSize = 65536;
// Memory downloads carry manifests and single game files; nothing larger is accepted.
constexpr uint64_t kMaxMemoryDownload = 0x8000000;

constexpr const char* kTextFetchFailed = "下载[%s]失败";
constexpr const char* kTextCannotCreate = "无法创建文件[%s]。。。该文件可能在使用中！";
constexpr const char* kTextBadData = kTextBadDownload;

uint32_t ProgressStatus(uint32_t done, uint32_t total) { return done < total ? kProgressData : kProgressEnd; }

void Report(ProgressSink* sink, uint32_t done, uint32_t total, uint32_t status) {
    if (sink != nullptr) sink->OnProgress(done, total, status);
}

// The size of a server file, or 0 when it cannot be told (the copy then fails by itself).
uint64_t ServerFileSize(const std::string& path) {
    platform::OwnedFile file(platform::OpenFileForRead(path.c_str()));
    if (file.get() == platform::kInvalidFile) return 0;
    const int64_t size = platform::FileSize(file.get());
    return size > 0 ? static_cast<uint64_t>(size) : 0;
}

}  // namespace

DirTransfer::DirTransfer(std::string serverRoot) : root_(std::move(serverRoot)) {
    if (!root_.empty() && root_.back() != '/' && root_.back() != '\\') root_ += '/';
    SetCurrentTransfer(this);
}

DirTransfer::~DirTransfer() { ClearCurrentTransfer(this); }

void DirTransfer::Interrupt() { interrupted_.store(true); }

std::string DirTransfer::ServerFile(const char* remotePath) const {
    if (remotePath == nullptr) return std::string();
    // A leading separator names the server root, not the root of this machine.
    std::string relative = remotePath;
    const size_t start = relative.find_first_not_of("/\\");
    relative.erase(0, start == std::string::npos ? relative.size() : start);
    if (!IsSafeRelativeName(relative)) return std::string();
    return root_ + relative;
}

int32_t DirTransfer::CopyToLocal(const std::string& from, const char* remotePath, const char* localPath,
                                 ProgressSink* sink, uint64_t start, bool keepPartial) {
    platform::OwnedFile in(platform::OpenFileForRead(from.c_str()));
    if (!in.valid()) {
        ShowStatusWithName(kTextFetchFailed, remotePath);
        return kResultFail;
    }
    const int64_t size64 = platform::FileSize(in.get());
    const uint32_t total = size64 > 0 ? static_cast<uint32_t>(std::min<int64_t>(size64, UINT32_MAX)) : 0;
    // A partial longer than the file is no part of it: the file is copied whole.
    const uint32_t base = start <= total ? static_cast<uint32_t>(start) : 0;
    if (base > 0 && platform::SeekFile(in.get(), base, platform::SeekOrigin::Begin) < 0) {
        ShowStatusWithName(kTextFetchFailed, remotePath);
        return kResultFail;
    }
    platform::OwnedFile out(base > 0 ? OpenLocalFileAt(localPath, base) : CreateLocalFile(localPath));
    if (!out.valid()) {
        ShowStatusWithName(kTextCannotCreate, localPath);
        return kResultFail;
    }
    std::vector<uint8_t> chunk(kChunkSize);
    uint32_t done = base;
    uint32_t status = done >= total ? kProgressEnd : kProgressBegin;
    bool stopped = false;
    // Reports count only what this copy brings, like a continued download's.
    while (done < total) {
        Report(sink, done - base, total - base, status);
        if (interrupted_.load()) {
            stopped = true;
            break;
        }
        const uint32_t want = std::min(kChunkSize, total - done);
        const uint32_t got = platform::ReadFromFile(in.get(), chunk.data(), want);
        if (got == 0 || platform::WriteToFile(out.get(), chunk.data(), got) != got) break;
        done += got;
        status = ProgressStatus(done, total);
    }
    Report(sink, done - base, total - base, status);
    out.Close();
    if (done < total) {
        // A short or interrupted copy never leaves a partial file behind, unless keeping it
        // is what was asked.
        if (!keepPartial) platform::RemoveFile(localPath);
        if (stopped) return UPD_INTERRUPTED;
        ShowStatusWithName(kTextFetchFailed, remotePath);
        return kResultFail;
    }
    return 0;
}

int32_t DirTransfer::ServerFileWithin(const char* remotePath, uint64_t maxBytes, std::string* from) const {
    if (interrupted_.load()) return UPD_INTERRUPTED;
    *from = ServerFile(remotePath);
    if (from->empty()) {
        ShowStatusWithName(kTextFetchFailed, remotePath != nullptr ? remotePath : "");
        return kResultFail;
    }
    if (ServerFileSize(*from) > maxBytes) {
        ShowStatusWithName(kTextBadData, remotePath);
        return kResultFail;
    }
    return 0;
}

int32_t DirTransfer::DownloadFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                  uint64_t maxBytes) {
    std::string from;
    if (const int32_t rc = ServerFileWithin(remotePath, maxBytes, &from); rc != 0) return rc;
    const int32_t rc = CopyToLocal(from, remotePath, localPath, sink, 0, false);
    if (rc != 0) return rc;
    if (!UnwrapDownloadedFile(localPath, remotePath)) {
        ShowStatusWithName(kTextBadData, remotePath);
        return kResultFail;
    }
    return 0;
}

int32_t DirTransfer::ContinueFile(const char* remotePath, const char* localPath, ProgressSink* sink,
                                  uint64_t maxBytes) {
    std::string from;
    if (const int32_t rc = ServerFileWithin(remotePath, maxBytes, &from); rc != 0) {
        // A partial of a file larger than expected is of no use either.
        if (!from.empty()) platform::RemoveFile(localPath);
        return rc;
    }
    return CopyToLocal(from, remotePath, localPath, sink, LocalFileLength(localPath), true);
}

int32_t DirTransfer::FetchOptional(const char* remotePath, const uint8_t** bytes, uint32_t* size,
                                   uint64_t maxBytes) {
    const std::string from = ServerFile(remotePath);
    // A file the server lacks is no failure here: nothing is said.
    if (from.empty() || !platform::FileExists(from.c_str())) {
        block_.clear();
        return interrupted_.load() ? UPD_INTERRUPTED : kResultFail;
    }
    return DownloadToMemory(remotePath, bytes, size, nullptr, maxBytes);
}

int32_t DirTransfer::DownloadToMemory(const char* remotePath, const uint8_t** bytes, uint32_t* size,
                                      ProgressSink* sink, uint64_t maxBytes) {
    block_.clear();
    if (interrupted_.load()) return UPD_INTERRUPTED;
    const std::string from = ServerFile(remotePath);
    std::vector<uint8_t> data;
    if (from.empty() || !ReadWholeLocalFile(from.c_str(), std::min<uint64_t>(kMaxMemoryDownload, maxBytes), data)) {
        ShowStatusWithName(kTextFetchFailed, remotePath != nullptr ? remotePath : "");
        return kResultFail;
    }
    const uint32_t total = static_cast<uint32_t>(data.size());
    Report(sink, 0, total, total == 0 ? kProgressEnd : kProgressBegin);
    Report(sink, total, total, kProgressEnd);
    if (interrupted_.load()) return UPD_INTERRUPTED;
    if (data.empty()) return kResultFail;

    std::vector<uint8_t> member;
    bool extracted = false;
    ExtractUpdatePkMember(DownloadMemberName(remotePath), data.data(), data.size(), member, &extracted);
    block_ = extracted ? std::move(member) : std::move(data);
    *bytes = block_.data();
    *size = static_cast<uint32_t>(block_.size());
    return 0;
}
