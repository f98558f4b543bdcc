#include "tools/paktool/run_diagnosis.h"

#include <cstring>

#include "common/update_codes.h"
#include "engine/manifest_record.h"
#include "engine/offline_package.h"
#include "platform/platform.h"
#include "tools/paktool/publish_util.h"

namespace {

constexpr const char* kLocalPack = "patch.dat";
// Made and removed again to learn whether the installation folder takes new files.
constexpr const char* kWriteProbeName = ".paktool-write-probe";

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string FolderFault(const std::string& dir, const char* what) {
    if (platform::DirectoryExists(dir.c_str())) return "";
    if (platform::FileExists(dir.c_str())) return std::string(what) + " " + Quoted(dir) + " is a file, not a folder";
    return std::string(what) + " " + Quoted(dir) + " does not exist";
}

}  // namespace

bool RecordingFailureSink::OnFailure(const char* fileName) {
    if (count_++ == 0 && fileName != nullptr) first_ = fileName;
    return true;
}

bool IsWritableFolder(const std::string& dir) {
    const std::string probe = JoinPath(dir, kWriteProbeName);
    if (platform::FileExists(probe.c_str())) return true;  // never truncate a file that is there
    platform::OwnedFile file(platform::OpenFileForWrite(probe.c_str()));
    if (!file.valid()) return false;
    file.Close();
    platform::RemoveFile(probe.c_str());
    return true;
}

std::string InstallationFault(const RunFacts& facts) {
    const std::string pack = JoinPath(facts.installDir, kLocalPack);
    if (platform::DirectoryExists(pack.c_str())) return Quoted(pack) + " is a folder, not a pack";
    const bool packExists = platform::FileExists(pack.c_str());
    const std::string notWritable = "installation folder " + Quoted(facts.installDir) + " is not writable";
    switch (facts.result) {
        case UPD_E_DATA:
            if (!facts.rebuildAsked || facts.answerYes) return "";
            return packExists ? Quoted(pack) + " is not a readable pack (give --yes to rebuild it from what still reads)"
                              : Quoted(pack) + " does not exist (give --yes to create it)";
        case UPD_E_OPEN_PACK:
            if (!IsWritableFolder(facts.installDir)) return notWritable;
            return packExists ? Quoted(pack) + " cannot be read (move it away to have a new one made)"
                              : "cannot create " + Quoted(pack);
        case UPD_E_REBUILD_PACK:
            if (!IsWritableFolder(facts.installDir)) return notWritable;
            return "cannot rebuild " + Quoted(pack);
        default:
            if (facts.failedFiles != 0 && !IsWritableFolder(facts.installDir)) return notWritable;
            return "";
    }
}

std::string ServerFault(const std::string& serverDir, const std::string& remoteList) {
    std::string fault = FolderFault(serverDir, "server folder");
    if (!fault.empty()) return fault;
    const std::string list = JoinPath(serverDir, remoteList);
    if (!platform::FileExists(list.c_str())) return Quoted(list) + " does not exist";
    return "";
}

std::string PackageFault(const std::string& path, const std::string& platform) {
    OfflinePackage package;
    if (LoadOfflinePackage(path.c_str(), package, nullptr /* no progress to show */) != 0)
        return Quoted(path) + " is not a readable offline package";
    const OfflinePackage::Member* platforms = package.Find(kOlpPlatformMember);
    if (platforms != nullptr && !platform.empty() && std::strstr(platforms->text(), platform.c_str()) == nullptr)
        return "the package is not for platform " + Quoted(platform) + " (it lists: " + platforms->text() + ")";
    const OfflinePackage::Member* version = package.Find(kOlpVersionMember);
    if (version != nullptr && LeadingNumber(version->text()) == 0)
        return Quoted(path) + " holds no tool version in its " + kOlpVersionMember;
    if (version == nullptr && package.Find(kManifestName) == nullptr)
        return Quoted(path) + " holds neither " + kManifestName + " nor " + kOlpVersionMember;
    return "";
}

std::string WithCause(const std::string& message, const std::string& cause) {
    return cause.empty() ? message : message + ": " + cause;
}
