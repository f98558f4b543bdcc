// paktool verify-publication: checks every signature of a published server tree against
// the publisher's public key, each file under the name the tool requests it as.
#include <cinttypes>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/signature.h"
#include "platform/platform.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/console_text.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publish_removals.h"
#include "tools/paktool/publish_util.h"
#include "tools/paktool/signing_util.h"

namespace {

constexpr const char* kAllFiles = "*";
constexpr int kMaxTreeDepth = 64;
const OptionDef kKeyOption = {nullptr, "--key", true, false, "the publisher's public key file (required)"};

bool IsSignatureFileName(const std::string& name) {
    const std::string suffix = kSignatureSuffix;
    return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The remote names (`remoteDir` + the path below `dir`) of every file below `dir` but the
// signature files.
int CollectServerFiles(const std::string& dir, const std::string& remoteDir, int depth, std::set<std::string>& out) {
    if (depth > kMaxTreeDepth) return Fail(kExitFileError, "%s: directories nested too deep", dir.c_str());
    for (const std::string& name : platform::FindFiles(dir.c_str(), kAllFiles)) {
        if (!IsSignatureFileName(name)) out.insert(remoteDir + name);
    }
    for (const std::string& sub : platform::FindSubdirectories(dir.c_str())) {
        if (int rc = CollectServerFiles(dir + "/" + sub, remoteDir + sub + "/", depth + 1, out); rc != kExitOk) return rc;
    }
    return kExitOk;
}

// The outcome for one server file, printed as one line; true when its signature checks.
bool CheckServerFile(const PublisherKey& key, const std::string& serverDir, const std::string& remote,
                     std::string& why) {
    const std::string path = JoinPath(serverDir, remote);
    std::vector<uint8_t> sig;
    const std::string sigPath = path + kSignatureSuffix;
    if (platform::FileExists(sigPath.c_str()) &&
        ReadWholeFile(sigPath.c_str(), kNoSizeLimit, "signature", sig) != kExitOk) {
        why = "signature unreadable";
    } else {
        uint64_t number = 0;
        const SignatureCheck check =
            VerifyFile(key, sig.empty() ? nullptr : sig.data(), sig.size(), path, remote, &number);
        if (check == SignatureCheck::kValid) {
            std::printf("valid, publication %" PRIu64 ": %s\n", number, ConsoleText(remote).c_str());
            return true;
        }
        why = SignatureCheckWord(check);
    }
    std::printf("%s: %s\n", why.c_str(), ConsoleText(remote).c_str());
    return false;
}

int RunVerifyPublication(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {kKeyOption, {nullptr, "--dir", true, false, "the published folder below SERVERDIR (default download/)"}}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 1); rc != kExitOk) return rc;
    const char* keyPath = args.Value(kKeyOption.longName);
    if (keyPath == nullptr) return FailUsage("--key is required");
    PublisherKey key{};
    if (int rc = ReadKeyFile(keyPath, kPublicKeyBytes, "public key", key.bytes); rc != kExitOk) return rc;
    const std::string serverDir = args.Positional()[0];
    if (int rc = CheckFolder(serverDir, "server folder"); rc != kExitOk) return rc;
    const char* dir = args.Value("--dir") ? args.Value("--dir") : kDefaultDir;
    if (int rc = CheckServerDirOption(dir); rc != kExitOk) return rc;
    const std::string prefix = RemoteDirPrefix(dir);
    const std::string listPath = JoinPath(serverDir, prefix + kRemoteListName);
    if (!platform::FileExists(listPath.c_str())) return Fail(kExitFileError, "'%s' does not exist", listPath.c_str());
    std::vector<ManifestRecord> records;
    if (int rc = ReadPublishedList(listPath, records); rc != kExitOk) return rc;
    std::set<std::string> files;
    if (int rc = CollectServerFiles(JoinPath(serverDir, prefix), prefix, 0, files); rc != kExitOk) return rc;
    unsigned failed = 0;
    std::string first;
    std::string firstWhy;
    auto count = [&](const std::string& remote, const std::string& why) {
        if (failed++ == 0) {
            first = remote;
            firstWhy = why;
        }
    };
    for (const std::string& remote : files) {
        std::string why;
        if (!CheckServerFile(key, serverDir, remote, why)) count(remote, why);
    }
    // A file the list names but the tree lacks fails every player who needs it.
    for (const ManifestRecord& record : records) {
        if (files.count(record.remotePath) != 0) continue;
        std::printf("missing: %s\n", ConsoleText(record.remotePath).c_str());
        count(record.remotePath, "missing");
    }
    if (failed != 0) {
        return Fail(kExitFailed, "%u files of '%s' do not check: the first is '%s' (%s)", failed,
                    JoinPath(serverDir, prefix).c_str(), ConsoleText(first).c_str(), firstWhy.c_str());
    }
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"verify-publication", "--key PUBLIC SERVERDIR [--dir DIR]",
     "check the signature of every file of a published tree (each under its path on the server) and that "
     "every file the update list names is there; prints one line per file",
     RunVerifyPublication}};

}  // namespace
