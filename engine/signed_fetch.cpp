#include "engine/signed_fetch.h"

#include "common/failure_cause.h"
#include "common/update_codes.h"
#include "net/local_file.h"
#include "net/status_text.h"
#include "net/transfer.h"
#include "net/unwrap.h"
#include "platform/platform.h"

namespace {

constexpr const char* kReasonOpen = "（";
constexpr const char* kReasonClose = "）";
// The list container is read back whole; nothing larger is a list.
constexpr uint64_t kMaxListBytes = 0x8000000;
// The temporary file of the container is made in the installation folder under a name the
// system picks beside this one.
constexpr const char* kListTempBeside = "update.pak";

}  // namespace

std::vector<uint8_t> FetchSignatureFile(Transfer& transfer, const std::string& remotePath) {
    const std::string sigPath = remotePath + kSignatureSuffix;
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    // No progress sink: the signature is not one of the run's announced downloads.
    // A signature is small: a larger answer is no signature and is not read on.
    if (transfer.DownloadToMemory(sigPath.c_str(), &bytes, &size, nullptr, kMaxSignatureFileBytes) != 0 ||
        bytes == nullptr) {
        return {};
    }
    // Copied at once: the transfer's block lasts only until its next memory request.
    return std::vector<uint8_t>(bytes, bytes + size);
}

std::vector<uint8_t> ReadLocalSignatureFile(const std::string& path) {
    const std::string sigPath = path + kSignatureSuffix;
    std::vector<uint8_t> bytes;
    if (platform::FileExists(sigPath.c_str()) && !ReadWholeLocalFile(sigPath.c_str(), kMaxSignatureFileBytes, bytes)) {
        // Present but too large to be one: a malformed signature, not a missing one.
        return std::vector<uint8_t>(kMaxSignatureFileBytes + 1, 0);
    }
    return bytes;
}

void ShowSignatureRefusal(const char* format, const std::string& name, SignatureCheck why) {
    const std::string line = std::string(format) + kReasonOpen + SignatureCheckText(why) + kReasonClose;
    ShowStatusWithName(line.c_str(), name);
    NoteFailureCause(FailureCause::kSignature);
}

bool AcceptSignedBytes(const PublisherKey& key, const std::vector<uint8_t>& sig, const uint8_t* bytes, size_t size,
                       const std::string& name, const char* refusalFormat, uint64_t* number) {
    const SignatureCheck check = VerifyBytes(key, sig.data(), sig.size(), bytes, size, name, number);
    if (check == SignatureCheck::kValid) return true;
    ShowSignatureRefusal(refusalFormat, name, check);
    return false;
}

bool AcceptSignedFile(const PublisherKey& key, const std::vector<uint8_t>& sig, const std::string& path,
                      const std::string& name, const char* refusalFormat, uint64_t* number) {
    const SignatureCheck check = VerifyFile(key, sig.data(), sig.size(), path, name, number);
    if (check == SignatureCheck::kValid) return true;
    ShowSignatureRefusal(refusalFormat, name, check);
    return false;
}

int32_t FetchSignedList(const PublisherKey& key, Transfer& transfer, const std::string& remotePath,
                        const char* refusalFormat, ProgressSink* sink, std::vector<uint8_t>& content,
                        uint64_t* number) {
    // A file download keeps a ".pak" as it lies on the server: the bytes the signature covers.
    const TempFile temp(CreateTempFileBeside(kListTempBeside));
    if (temp.path().empty()) return UPD_E_FETCH;
    if (transfer.DownloadFile(remotePath.c_str(), temp.path().c_str(), sink, kMaxListBytes) != 0) return UPD_E_FETCH;
    std::vector<uint8_t> container;
    if (!ReadWholeLocalFile(temp.path().c_str(), kMaxListBytes, container) || container.empty()) return UPD_E_FETCH;

    const std::vector<uint8_t> sig = FetchSignatureFile(transfer, remotePath);
    if (!AcceptSignedBytes(key, sig, container.data(), container.size(), remotePath, refusalFormat, number)) {
        return UPD_E_DATA;
    }
    std::vector<uint8_t> member;
    bool extracted = false;
    ExtractUpdatePkMember(DownloadMemberName(remotePath), container.data(), container.size(), member, &extracted);
    content = extracted ? std::move(member) : std::move(container);
    return 0;
}
