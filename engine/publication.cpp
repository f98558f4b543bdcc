#include "engine/publication.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/failure_cause.h"
#include "net/pak_access.h"
#include "net/status_text.h"

namespace {
constexpr int kDecimal = 10;
}  // namespace

uint64_t InstalledPublication(const std::string& packPath) {
    std::vector<uint8_t> bytes;
    if (ReadPackMember(packPath.c_str(), kPublicationMember, bytes) != MemberRead::kOk) return 0;
    const std::string text(bytes.begin(), bytes.end());
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, kDecimal);
    return errno == 0 ? static_cast<uint64_t>(value) : 0;
}

std::string PublicationText(uint64_t number) { return std::to_string(number); }

void ShowPublicationRefusal(const char* refusal, const std::string& name) {
    ShowStatusWithName(refusal, name);
    NoteFailureCause(refusal == kTextOlderPublication ? FailureCause::kRollback : FailureCause::kSignature);
}

const char* PublicationRefusal(uint64_t number, uint64_t announced, uint64_t installed) {
    if (announced < installed) return kTextOlderPublication;
    return number != announced ? kTextOtherPublication : nullptr;
}
