#include "common/failure_cause.h"

#include <atomic>

#include "common/show_status.h"

namespace {

constexpr const char* kCauseTexts[] = {
    "",                          // kNone
    "连接服务器超时",            // kTimedOut
    "服务器拒绝连接",            // kConnectionRefused
    "找不到服务器",              // kHostUnknown
    "服务器上没有该文件",        // kFileMissing
    "服务器证书不受信任",        // kCertificate
    "服务器证书不受信任：已过期",  // kCertificateExpired
    "服务器证书不受信任：与地址不符",  // kCertificateName
    "服务器证书不受信任：颁发者不可信",  // kCertificateIssuer
    "服务器证书不受信任：已被吊销",  // kCertificateRevoked
    "CA证书文件缺失或无法读取",  // kCaFile
    "更新数据签名无效",          // kSignature
    "服务器的版本比本地旧，已拒绝",  // kRollback
    "磁盘空间不足",              // kDiskFull
};
constexpr uint32_t kCauseCount = sizeof(kCauseTexts) / sizeof(kCauseTexts[0]);
constexpr const char* kDetailOpen = " (";
constexpr const char* kDetailClose = ")";

// How telling each cause is: a run that met several keeps the one that says most about what
// the player or operator can change. A cause the local side settles (disk, trust set,
// signatures) outranks a missing file, which outranks the line's troubles.
constexpr uint32_t kRank[] = {
    0,   // kNone
    1,   // kTimedOut
    2,   // kConnectionRefused
    2,   // kHostUnknown
    3,   // kFileMissing
    4,   // kCertificate
    5,   // kCertificateExpired
    5,   // kCertificateName
    5,   // kCertificateIssuer
    5,   // kCertificateRevoked
    6,   // kCaFile
    7,   // kSignature
    7,   // kRollback
    8,   // kDiskFull
};
static_assert(sizeof(kRank) / sizeof(kRank[0]) == kCauseCount, "one rank per cause");

constexpr uint32_t kCauseBits = 0xFF;
constexpr uint32_t kGameStartableBit = 0x100;

std::atomic<uint32_t> g_runCause{0};

uint32_t Index(FailureCause cause) {
    const uint32_t index = static_cast<uint32_t>(cause);
    return index < kCauseCount ? index : 0;
}

}  // namespace

const char* FailureCauseText(FailureCause cause) { return kCauseTexts[Index(cause)]; }

void NoteFailureCause(FailureCause cause) {
    const uint32_t index = Index(cause);
    uint32_t held = g_runCause.load();
    // Several transfer threads may note at once: the most telling cause stays.
    while (kRank[index] > kRank[held] && !g_runCause.compare_exchange_weak(held, index)) {
    }
}

void ShowFailureCause(FailureCause cause, const std::string& detail) {
    if (Index(cause) == 0) return;
    std::string line = FailureCauseText(cause);
    if (!detail.empty()) line += kDetailOpen + detail + kDetailClose;
    // A detail too long for a status line is left out rather than losing the line.
    ShowStatus(line.size() <= kStatusMaxLength ? line.c_str() : FailureCauseText(cause));
    NoteFailureCause(cause);
}

FailureCause TakeRunFailureCause() { return static_cast<FailureCause>(g_runCause.exchange(0)); }

uint32_t PackRunEndInfo(const RunEndInfo& info) {
    return Index(info.cause) | (info.gameStartable ? kGameStartableBit : 0);
}

RunEndInfo UnpackRunEndInfo(uint32_t lParam) {
    RunEndInfo info;
    info.cause = static_cast<FailureCause>(Index(static_cast<FailureCause>(lParam & kCauseBits)));
    info.gameStartable = (lParam & kGameStartableBit) != 0;
    return info;
}
