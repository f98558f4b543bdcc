// paktool publish: writes the server tree an update run consumes, from a game folder.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/manifest_text.h"
#include "common/update_codes.h"
#include "engine/update_pk_writer.h"
#include "net/pak_access.h"
#include "net/unwrap.h"
#include "platform/platform.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/console_text.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publication_check.h"
#include "tools/paktool/publish_delta.h"
#include "tools/paktool/publish_removals.h"
#include "tools/paktool/publish_util.h"
#include "tools/paktool/signing_util.h"
#include "tools/paktool/tool_version.h"

namespace {

constexpr const char* kVersionFileName = "version.txt";
constexpr const char* kToolFileName = "update.exe";
constexpr const char* kPluginFileFormat = "%d_updatecfg.dll";
constexpr uint64_t kMaxGameFile = 0x4000000 - 1;  // the largest entry a pack holds
constexpr int64_t kMaxVersion = 0x7FFFFFFF;
constexpr double kVersionScale = 100.0;       // 223 is shown as 2.23
constexpr double kPluginVersionScale = 10000.0;  // 10000 is plug-in 1.00

int WriteServerFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    platform::CreateParentDirectories(path.c_str());
    return WriteWholeFile(path.c_str(), bytes.data(), bytes.size());
}

// Writes the file the tool requests as `remote`, and its signature when signing.
int WriteSignedServerFile(const PublicationSigner& signer, const std::string& serverDir, const std::string& remote,
                          const std::vector<uint8_t>& bytes) {
    const std::string path = JoinPath(serverDir, remote);
    if (int rc = WriteServerFile(path, bytes); rc != kExitOk) return rc;
    return signer.Sign(path, remote, bytes);
}

// A file travels inside a one-member container named like the remote file.
int WrapBytes(const std::string& remotePath, std::vector<uint8_t>& bytes) {
    UpdatePkWriter writer;
    writer.Add(DownloadMemberName(remotePath), bytes);
    std::vector<uint8_t> wrapped;
    if (!writer.Build(wrapped)) return Fail(kExitFailed, "cannot wrap '%s'", remotePath.c_str());
    bytes.swap(wrapped);
    return kExitOk;
}

// The folder of the remote paths of game files: DIR/, followed by "$PLATFORM/" with --platform.
std::string GameFileDir(const ParsedArgs& args, const std::string& prefix) {
    std::string platformSegment;
    if (const char* p = args.Value("--platform")) {
        platformSegment = std::string("$") + p + "/";
        FoldPackName(platformSegment);
    }
    return prefix + platformSegment;
}

// Writes the server file of `record` with `bytes` as its content.
int WriteRecordFile(const ParsedArgs& args, const PublicationSigner& signer, const std::string& serverDir,
                    const ManifestRecord& record, std::vector<uint8_t>& bytes) {
    // An empty loose file cannot be read back out of a container; it travels as it is.
    if (args.Has("--wrap") && !(record.IsUnpack() && bytes.empty())) {
        if (int rc = WrapBytes(record.remotePath, bytes); rc != kExitOk) return rc;
    }
    return WriteSignedServerFile(signer, serverDir, record.remotePath, bytes);
}

int PublishFiles(const ParsedArgs& args, const PublicationSigner& signer, const std::string& serverDir,
                 const std::string& fileDir, std::vector<ManifestRecord>& records) {
    NameEncoding encoding = NameEncoding::kGbk;
    if (int rc = ParseNameEncoding(args, encoding); rc != kExitOk) return rc;
    std::vector<GameFile> files;
    if (int rc = ScanGameDir(args.Positional()[0], encoding, files); rc != kExitOk) return rc;
    std::vector<std::string> unpack;
    if (int rc = ReadUnpackList(args.Positional()[0], encoding, unpack); rc != kExitOk) return rc;
    // Refused before anything is written, so a refused publication leaves SERVERDIR as it was.
    if (int rc = CheckPublication(files, unpack, {}); rc != kExitOk) return rc;
    if (int rc = CheckNoDeleteMarkers(files, unpack); rc != kExitOk) return rc;
    for (const GameFile& file : files) {
        std::vector<uint8_t> bytes;
        if (int rc = ReadWholeFile(file.path.c_str(), kMaxGameFile, "game file", bytes); rc != kExitOk) return rc;
        const bool loose = std::find(unpack.begin(), unpack.end(), file.name) != unpack.end();
        records.push_back(MakeRecord(file, bytes, loose, fileDir + file.name));
        if (int rc = WriteRecordFile(args, signer, serverDir, records.back(), bytes); rc != kExitOk) return rc;
    }
    return kExitOk;
}

// Files of the replaced publication that the game folder no longer has stay removed on
// every installation: each gets a removal record, carried on by every later publication.
int PublishRemovals(const ParsedArgs& args, const PublicationSigner& signer, const std::string& serverDir,
                    const std::string& fileDir, const std::vector<ManifestRecord>& previous,
                    std::vector<ManifestRecord>& records) {
    const std::vector<Removal> removals = FindRemovals(previous, records, fileDir);
    for (const Removal& removal : removals) {
        std::vector<uint8_t> bytes = RemovalContent();
        if (int rc = WriteRecordFile(args, signer, serverDir, removal.record, bytes); rc != kExitOk) return rc;
        if (removal.newlyRemoved) std::printf("removed %s\n", ConsoleText(removal.record.name).c_str());
    }
    for (const Removal& removal : removals) records.push_back(removal.record);
    return kExitOk;
}

// True for the files publish writes beside the game files (list, version file, tool,
// plug-ins): never stale, whatever an old list said.
bool IsPublicationOwnFile(const std::string& prefix, const std::string& remote) {
    if (remote.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string name = remote.substr(prefix.size());
    const std::string pluginSuffix = std::strchr(kPluginFileFormat, '_');
    return name == kRemoteListName || name == kVersionFileName || name == kToolFileName ||
           (name.find('/') == std::string::npos && name.size() > pluginSuffix.size() &&
            name.compare(name.size() - pluginSuffix.size(), pluginSuffix.size(), pluginSuffix) == 0);
}

// Server files of the replaced publication, below DIR, that no record points at any more
// (and their signatures) would only mislead whoever looks at the tree.
void RemoveStaleFiles(const std::string& serverDir, const std::string& prefix,
                      const std::vector<ManifestRecord>& previous, const std::vector<ManifestRecord>& records) {
    for (const std::string& remote : StaleRemotePaths(previous, records)) {
        if (remote.compare(0, prefix.size(), prefix) != 0 || IsPublicationOwnFile(prefix, remote)) continue;
        const std::string path = JoinPath(serverDir, remote);
        if (!platform::FileExists(path.c_str())) continue;
        if (!platform::RemoveFile(path.c_str())) {
            Note("stale server file '%s' could not be removed", path.c_str());
            continue;
        }
        platform::RemoveFile((path + kSignatureSuffix).c_str());
        std::printf("removed stale server file %s\n", remote.c_str());
    }
}

int WriteRemoteList(const PublicationSigner& signer, const std::string& serverDir, const std::string& prefix,
                    const std::vector<ManifestRecord>& records) {
    std::string text;
    AppendManifestText(records, text);
    UpdatePkWriter writer;
    writer.Add(kManifestName, std::vector<uint8_t>(text.begin(), text.end()));
    std::vector<uint8_t> container;
    if (!writer.Build(container)) return Fail(kExitFailed, "cannot build %s", kRemoteListName);
    return WriteSignedServerFile(signer, serverDir, prefix + kRemoteListName, container);
}

int CopyServerFile(const PublicationSigner& signer, const char* from, const std::string& serverDir,
                   const std::string& remote) {
    std::vector<uint8_t> bytes;
    if (int rc = ReadWholeFile(from, kNoSizeLimit, "input", bytes); rc != kExitOk) return rc;
    return WriteSignedServerFile(signer, serverDir, remote, bytes);
}

// Signs the file already at `remote` in the tree again, under this publication's number
// (nothing to do unsigned or when the file is not there).
int ResignServerFile(const PublicationSigner& signer, const std::string& serverDir, const std::string& remote) {
    const std::string path = JoinPath(serverDir, remote);
    if (!signer.enabled() || !platform::FileExists(path.c_str())) return kExitOk;
    std::vector<uint8_t> bytes;
    if (int rc = ReadWholeFile(path.c_str(), kNoSizeLimit, "server file", bytes); rc != kExitOk) return rc;
    return signer.Sign(path, remote, bytes);
}

// The tool version the version file announces: --tool-version, refused when it is above
// the version the given tool carries (every start would then fetch it again, for ever).
int ResolveToolVersion(const ParsedArgs& args, int64_t& toolVersion) {
    toolVersion = kToolVersion;
    const char* v = args.Value("--tool-version");
    if (v == nullptr) return kExitOk;
    if (int rc = ParseIntOption("--tool-version", v, 1, kMaxVersion, toolVersion); rc != kExitOk) return rc;
    const char* tool = args.Value("--tool");
    if (tool == nullptr) return kExitOk;
    std::vector<uint8_t> bytes;
    if (int rc = ReadWholeFile(tool, kNoSizeLimit, "input", bytes); rc != kExitOk) return rc;
    int64_t ownVersion = 0;
    if (!ReadProgramVersion(bytes.data(), bytes.size(), ownVersion)) {
        Note("'%s' carries no version information: make sure it is a build of version %.2f", tool,
             static_cast<double>(toolVersion) / kVersionScale);
    } else if (toolVersion > ownVersion) {
        return Fail(kExitUsage,
                    "--tool-version %" PRId64 " is above the version of '%s' (%" PRId64
                    "): installations would fetch it again on every start",
                    toolVersion, tool, ownVersion);
    }
    return kExitOk;
}

// The plug-in version the version file announces: --plugin-version, else the version the
// shipped reference plug-in reports with its sample settings, so a plain publication leaves
// that plug-in in place. (An installation reads a missing version as 0 and would then look
// for a plug-in published as 0.)
int ResolvePluginVersion(const ParsedArgs& args, int64_t& pluginVersion) {
    pluginVersion = kReferencePluginVersion;
    const char* v = args.Value("--plugin-version");
    if (v == nullptr) return kExitOk;
    return ParseIntOption("--plugin-version", v, 0, kMaxVersion, pluginVersion);
}

int WriteVersionFiles(const ParsedArgs& args, const PublicationSigner& signer, const std::string& serverDir,
                      const std::string& prefix, int64_t toolVersion, int64_t pluginVersion) {
    const std::string text = std::to_string(toolVersion) + "\r\n" + std::to_string(pluginVersion) + "\r\n";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    if (int rc = WriteSignedServerFile(signer, serverDir, prefix + kVersionFileName, bytes); rc != kExitOk) return rc;
    if (const char* tool = args.Value("--tool")) {
        if (int rc = CopyServerFile(signer, tool, serverDir, prefix + kToolFileName); rc != kExitOk) return rc;
    }
    char name[64];
    std::snprintf(name, sizeof name, kPluginFileFormat, static_cast<int>(pluginVersion));
    if (const char* plugin = args.Value("--plugin")) {
        if (int rc = CopyServerFile(signer, plugin, serverDir, prefix + name); rc != kExitOk) return rc;
    } else {
        // The version file announces a plug-in published before: a signed installation takes
        // it only under this publication's number, so its signature is made anew.
        if (int rc = ResignServerFile(signer, serverDir, prefix + name); rc != kExitOk) return rc;
    }
    return kExitOk;
}

// Says whom the publication reaches: a platform segment keeps the files from every
// installation whose plug-in names another platform, which is easy to get wrong.
void PrintAudience(const ParsedArgs& args, int64_t toolVersion, int64_t pluginVersion) {
    if (const char* p = args.Value("--platform")) {
        std::string folded = p;
        FoldPackName(folded);
        std::printf("for platform '%s' only: installations whose plug-in's platfrom string is '%s' take these "
                    "files, all others ignore them\n",
                    folded.c_str(), folded.c_str());
    } else {
        std::printf("for every platform\n");
    }
    std::printf("version file: update.exe %.2f, plug-in %.2f%s\n", static_cast<double>(toolVersion) / kVersionScale,
                static_cast<double>(pluginVersion) / kPluginVersionScale,
                args.Has("--plugin-version") ? "" : " (the reference plug-in's; --plugin-version for another)");
}

int CheckPairs(const ParsedArgs& args) {
    if (args.Has("--tool") != args.Has("--tool-version")) return FailUsage("--tool and --tool-version go together");
    if (args.Has("--plugin") && !args.Has("--plugin-version")) return FailUsage("--plugin needs --plugin-version");
    return kExitOk;
}

int RunPublish(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {
        {nullptr, "--dir", true, false, "the folder below SERVERDIR the tree goes to (default download/)"},
        {nullptr, "--platform", true, false,
         "publish the files for the one plug-in platform string P, below DIR/$P/ (default: for every platform)"},
        {nullptr, "--wrap", false, false, "send each file inside a one-member UpdatePK container"},
        {nullptr, "--tool-version", true, false,
         "the tool version the version file announces (2.24 is 224; not above --tool's own version)"},
        {nullptr, "--tool", true, false, "the update.exe to publish as DIR/update.exe"},
        {nullptr, "--plugin-version", true, false,
         "the plug-in version the version file announces, major * 10000 + minor (default 10000, the reference "
         "plug-in's)"},
        {nullptr, "--plugin", true, false, "the updatecfg.dll of that version, published as DIR/N_updatecfg.dll"},
        kSignOption,
        kNumberOption,
        kForceOption,
        kUtf8NamesOptionDef,
        kDeltaFromOption};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    if (int rc = CheckPairs(args); rc != kExitOk) return rc;
    int64_t toolVersion = 0;
    if (int rc = ResolveToolVersion(args, toolVersion); rc != kExitOk) return rc;
    int64_t pluginVersion = 0;
    if (int rc = ResolvePluginVersion(args, pluginVersion); rc != kExitOk) return rc;
    const std::string serverDir = args.Positional()[1];
    // A missing server folder is made; a file in its place is refused before anything else.
    if (platform::FileExists(serverDir.c_str())) return CheckFolder(serverDir, "server folder");
    const char* dir = args.Value("--dir") ? args.Value("--dir") : kDefaultDir;
    if (int rc = CheckServerDirOption(dir); rc != kExitOk) return rc;
    const std::string prefix = RemoteDirPrefix(dir);
    // The key and the number are settled before anything is written.
    PublicationSigner signer;
    const std::string currentSig = JoinPath(serverDir, prefix + kRemoteListName) + kSignatureSuffix;
    if (int rc = signer.Init(args, currentSig); rc != kExitOk) return rc;
    DeltaSources deltaSources;
    if (int rc = ScanDeltaSources(args, deltaSources); rc != kExitOk) return rc;
    std::vector<ManifestRecord> previous;
    if (int rc = ReadPublishedList(JoinPath(serverDir, prefix + kRemoteListName), previous); rc != kExitOk) return rc;
    const std::string fileDir = GameFileDir(args, prefix);
    std::vector<ManifestRecord> records;
    if (int rc = PublishFiles(args, signer, serverDir, fileDir, records); rc != kExitOk) return rc;
    const size_t fileCount = records.size();
    if (int rc = PublishRemovals(args, signer, serverDir, fileDir, previous, records); rc != kExitOk) return rc;
    if (int rc = PublishDeltas(args, deltaSources, signer, serverDir, prefix, records); rc != kExitOk) return rc;
    if (int rc = WriteRemoteList(signer, serverDir, prefix, records); rc != kExitOk) return rc;
    if (int rc = WriteVersionFiles(args, signer, serverDir, prefix, toolVersion, pluginVersion); rc != kExitOk) return rc;
    // Record paths are folded (the engine folds what it reads), DIR as given is not.
    std::string foldedPrefix = prefix;
    FoldPackName(foldedPrefix);
    RemoveStaleFiles(serverDir, foldedPrefix, previous, records);
    std::printf("published %zu files to %s\n", fileCount, JoinPath(serverDir, prefix).c_str());
    PrintAudience(args, toolVersion, pluginVersion);
    if (signer.enabled()) std::printf("signed as publication %" PRIu64 "\n", signer.number());
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"publish",
     "GAMEDIR SERVERDIR [--dir DIR] [--platform P] [--wrap] [--tool-version N --tool FILE] "
     "[--plugin-version N [--plugin FILE]] [--sign SECRET [--number N [--force]]] [--utf8-names] [--delta-from OLDGAMEDIR]...",
     "write the server tree of an update (files, update.pak, version file) from a game folder", RunPublish}};

}  // namespace
