// Decisions of the FTP session that need no connection: the download-directory override,
// the choice of another server on reconnection, the size a transfer expects, the progress
// reports a transfer posts, and the operation texts.
#pragma once

#include <cstdint>
#include <random>
#include <set>
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

// The host a reconnection moves to when the servers are an ordered list (mirrors): the entry
// after `currentHost`, the first again after the last; `currentHost` itself when the list is
// empty or holds it alone.
std::string NextListedHost(const std::vector<std::string>& hosts, const std::string& currentHost);
// The same, passing over the hosts in `distrusted` (they served bytes that were not the
// file's); NextListedHost's answer when every other host is distrusted.
std::string NextTrustedHost(const std::vector<std::string>& hosts, const std::string& currentHost,
                            const std::set<std::string>& distrusted);

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

// The least pace a transfer must keep. A connection that still brings bytes, only too few
// to ever finish (a trickle), shows life to the watchdog; held to this floor it is given up
// and the request moves on to the next server. 4 KiB/s is below the slowest real lines
// (a 56k modem brings about 5 KiB/s), and a whole minute is judged at a time, so a line
// that slows down for a while is left alone.
constexpr uint32_t kFloorBytesPerSecond = 4096;
constexpr uint32_t kFloorWindowMs = 60000;
struct SpeedFloor {
    uint32_t bytesPerSecond = kFloorBytesPerSecond;
    uint32_t windowMs = kFloorWindowMs;
};

// One transfer's pace against the floor, judged a window at a time. Time the download limit
// holds the transfer back does not count, and transfers running at once share the floor
// (four connections on a slow line each need a quarter of it).
class FloorPace {
public:
    FloorPace(const SpeedFloor& floor, uint64_t done, uint32_t nowMs)
        : floor_(floor), windowBytes_(done), windowStartMs_(nowMs) {}
    // The transfer was held back `ms` by the download limit.
    void Held(uint32_t ms) { heldMs_ += ms; }
    // Whether the transfer, with `done` bytes at `nowMs`, fell below its share of the floor
    // (`sharers` transfers running at once) over a window that has just ended.
    bool Fell(uint64_t done, uint32_t nowMs, uint32_t sharers);

private:
    SpeedFloor floor_;
    uint64_t windowBytes_;
    uint32_t windowStartMs_;
    uint32_t heldMs_ = 0;
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
constexpr const char* kFtpTextTooSlow = "下载[%s]速度过慢，重新连接服务器";
constexpr const char* kFtpTextCannotCreate = "无法创建文件[%s]。。。该文件可能在使用中！";
// Debugger output of the watchdog when it abandons a request (the word is spelled so).
constexpr const char* kFtpDebugSkipped = "skiped\r\n";
