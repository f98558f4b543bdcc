// Decisions of the FTP session that need no connection: the download-directory override,
// the choice of another server on reconnection, the size a transfer expects, the progress
// reports a transfer posts, and the operation texts.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "net/status_text.h"

// Set when the download-directory override was tried and failed during the last retrying
// operation; cleared at the start of each. The self-update reads it after its first fetch.
bool DownloadDirOverrideFailed();
void SetDownloadDirOverrideFailed(bool failed);

// The remote path to try first when the override `overrideDir` is set: a path longer than
// "download/" that begins with it becomes the override followed by the rest from the slash
// on ("download/a/b" -> "v2/a/b"). Empty when the path is not redirected.
std::string RedirectedRemotePath(const std::string& remotePath, const std::string& overrideDir);

// Dotted text of an IPv4 address in network byte order.
std::string DottedAddress(uint32_t address);

// The server a reconnection moves to: a random entry of `servers` whose dotted form differs
// from `currentHost`; `currentHost` itself when the list holds fewer than two entries or
// none differs.
std::string PickOtherServer(const std::vector<uint32_t>& servers, const std::string& currentHost,
                            std::minstd_rand& random);

// The size a transfer expects. Servers under some clients announce 0 for every file, so a
// 0 is checked against the size the server gives on request: `queried` is that size, or -1
// when it could not tell. kUnknownSize: read until the data ends.
constexpr int64_t kUnknownSize = -1;
int64_t ExpectedTransferSize(uint32_t announced, int64_t queried);

// Progress reports of one transfer: the first report and the last are always posted, the
// ones in between at most every `intervalMs`. Times are the caller's millisecond clock.
class ProgressThrottle {
public:
    static constexpr uint32_t kDefaultIntervalMs = 50;
    explicit ProgressThrottle(uint32_t intervalMs = kDefaultIntervalMs) : intervalMs_(intervalMs) {}
    // Whether an intermediate report at `nowMs` should be posted; a true answer counts as posted.
    bool ShouldPost(uint32_t nowMs);

private:
    uint32_t intervalMs_;
    bool posted_ = false;
    uint32_t lastMs_ = 0;
};

// The size of the next read. Reads start at 64 KiB and grow up to 1 MiB while they come
// back quickly (a large read costs the client far less per byte); one that takes long
// shrinks them again, so a slow line still shows activity to the watchdog every few seconds.
class ReadSizer {
public:
    static constexpr uint32_t kMinRead = 65536;
    static constexpr uint32_t kMaxRead = 1 << 20;
    static constexpr uint32_t kFastMs = 250;
    static constexpr uint32_t kSlowMs = 2000;
    uint32_t Next() const { return size_; }
    // Records that the last read took `elapsedMs`.
    void Took(uint32_t elapsedMs);

private:
    uint32_t size_ = kMinRead;
};

// Whether a file download of `remotePath` is skipped because the Unicode layer it carries is
// already installed ("unicows.dll" exists in the current directory).
bool IsInstalledUnicodeLayer(const std::string& remotePath);
constexpr const char* kUnicodeLayerRemoteMark = "unicows.dll.kvo";
constexpr const char* kUnicodeLayerFile = "unicows.dll";

// Texts of the session.
constexpr const char* kFtpTextServerChosen = "当前自动选择的 FTP 为 %s！";
constexpr const char* kFtpTextRetry = "重试[%d/3]。。。";
constexpr const char* kFtpTextCannotConnect = "无法连接服务器";
constexpr const char* kFtpTextSizeFailed = "检测远程文件[%s]大小失败";
constexpr const char* kFtpTextFetchFailed = "下载[%s]失败";
constexpr const char* kFtpTextBadData = kTextBadDownload;
constexpr const char* kFtpTextCannotCreate = "无法创建文件[%s]。。。该文件可能在使用中！";
// Debugger output of the watchdog when it abandons a request (the word is spelled so).
constexpr const char* kFtpDebugSkipped = "skiped\r\n";
