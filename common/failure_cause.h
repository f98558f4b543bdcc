// Why a run failed, as a value: the layer that detects a failure names its cause with a
// status line and notes it for the run; the driver hands the run's most specific cause to
// the window with the result, which shows it beside the result text.
#pragma once

#include <cstdint>
#include <string>

enum class FailureCause : uint32_t {
    kNone = 0,
    kTimedOut,
    kConnectionRefused,
    kHostUnknown,
    kFileMissing,        // the server answered that it has no such file (404, 550)
    kCertificate,        // the server's certificate is not trusted (no finer reason known)
    kCertificateExpired,
    kCertificateName,    // the certificate does not name the address asked for
    kCertificateIssuer,  // self-signed, or signed by an authority not trusted
    kCertificateRevoked,
    kCaFile,             // the configured CA file is missing or unreadable
    kSignature,          // a signature refused
    kRollback,           // a publication older than the installed one refused
    kDiskFull,
};

// The short text of a cause (GBK), as the window shows it after the result text; "" for
// kNone and values out of range.
const char* FailureCauseText(FailureCause cause);

// Shows `cause` as a status line, with `detail` (what the system said, for the debug log)
// after it when given, and notes it for the run.
void ShowFailureCause(FailureCause cause, const std::string& detail = std::string());
// Notes `cause` for the run without a line (the caller has shown its own).
void NoteFailureCause(FailureCause cause);
// The most specific cause noted since the last call (kNone when none), and forgets it.
FailureCause TakeRunFailureCause();

// The run's end as UM_UPDATE_DONE carries it in its second parameter: the cause, and whether
// the installation is whole so the game may start although the run could not update it.
struct RunEndInfo {
    FailureCause cause = FailureCause::kNone;
    bool gameStartable = false;
};
uint32_t PackRunEndInfo(const RunEndInfo& info);
RunEndInfo UnpackRunEndInfo(uint32_t lParam);
