// paktool olp: writes an offline update package from a game folder.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/manifest_text.h"
#include "engine/offline_package.h"
#include "common/update_codes.h"
#include "engine/update_pk_writer.h"
#include "engine/delta_list.h"
#include "pak/pak_name.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/olp_delta.h"
#include "tools/paktool/olp_removals.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publication_check.h"
#include "tools/paktool/publish_util.h"
#include "tools/paktool/signing_util.h"

namespace {

constexpr uint64_t kMaxMember = kOlpMaxMember;
constexpr int64_t kMaxVersion = 0x7FFFFFFF;

// The members a package holds beside the game files.
std::vector<const char*> ControlMembers(const ParsedArgs& args) {
    std::vector<const char*> controlMembers = {kOlpPlatformMember, kOlpVersionMember, kOlpToolMember,
                                               kOlpPluginMember, kManifestName};
    if (args.Has(kDeltaFromOption.longName)) controlMembers.push_back(kDeltaListName);
    return controlMembers;
}

int AddGameFiles(const ParsedArgs& args, NameEncoding encoding, OlpDeltas& deltas, UpdatePkWriter& writer,
                 std::vector<ManifestRecord>& records) {
    const std::string gameDir = args.Positional()[0];
    std::vector<GameFile> files;
    if (int rc = ScanGameDir(gameDir, encoding, files); rc != kExitOk) return rc;
    std::vector<std::string> unpack;
    if (int rc = ReadUnpackList(gameDir, encoding, unpack); rc != kExitOk) return rc;
    if (int rc = CheckPublication(files, unpack, ControlMembers(args)); rc != kExitOk) return rc;
    if (int rc = CheckNoDeleteMarkers(files, unpack); rc != kExitOk) return rc;
    if (int rc = deltas.Init(args, files); rc != kExitOk) return rc;
    for (const GameFile& file : files) {
        std::vector<uint8_t> bytes;
        if (int rc = ReadWholeFile(file.path.c_str(), kMaxMember, "game file", bytes); rc != kExitOk) return rc;
        const bool loose = std::find(unpack.begin(), unpack.end(), file.name) != unpack.end();
        records.push_back(MakeRecord(file, bytes, loose, file.name));
        if (!deltas.enabled()) {
            writer.Add(file.name, std::move(bytes));
        } else if (int rc = deltas.AddFile(file, loose, std::move(bytes), writer); rc != kExitOk) {
            return rc;
        }
    }
    return kExitOk;
}

int AddControlMembers(const ParsedArgs& args, UpdatePkWriter& writer) {
    if (const char* list = args.Value("--platform")) writer.Add(kOlpPlatformMember, std::vector<uint8_t>(list, list + std::char_traits<char>::length(list)));
    if (!args.Has("--tool-version") && !args.Has("--plugin-version")) return kExitOk;
    int64_t toolVersion = kToolVersion;
    int64_t pluginVersion = 0;
    if (const char* v = args.Value("--tool-version")) {
        if (int rc = ParseIntOption("--tool-version", v, 1, kMaxVersion, toolVersion); rc != kExitOk) return rc;
    }
    if (const char* v = args.Value("--plugin-version")) {
        if (int rc = ParseIntOption("--plugin-version", v, 0, kMaxVersion, pluginVersion); rc != kExitOk) return rc;
    }
    std::string text = std::to_string(toolVersion) + "\n";
    if (args.Has("--plugin-version")) text += std::to_string(pluginVersion) + "\n";
    writer.Add(kOlpVersionMember, std::vector<uint8_t>(text.begin(), text.end()));
    const std::pair<const char*, const char*> programs[] = {{"--tool", kOlpToolMember}, {"--plugin", kOlpPluginMember}};
    for (const auto& program : programs) {
        const char* path = args.Value(program.first);
        if (path == nullptr) continue;
        std::vector<uint8_t> bytes;
        if (int rc = ReadWholeFile(path, kMaxMember, "input", bytes); rc != kExitOk) return rc;
        writer.Add(program.second, std::move(bytes));
    }
    return kExitOk;
}

int RunOlp(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {
        {nullptr, "--platform", true, false, "the platforms the package is for, separated by spaces (\"win mac\")"},
        {nullptr, "--tool-version", true, false, "the version of --tool, as the tool counts it (2.24 is 224)"},
        {nullptr, "--tool", true, false, "an update.exe to carry, installed where the installed tool is older"},
        {nullptr, "--plugin-version", true, false, "the plug-in version to announce, major * 10000 + minor"},
        {nullptr, "--plugin", true, false, "an updatecfg.dll of that version to carry"},
        kSignOption,
        kNumberOption,
        kUtf8NamesOptionDef,
        kDeltaFromOption,
        kRemovedFromOption};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    if (args.Has("--tool") != args.Has("--tool-version")) return FailUsage("--tool and --tool-version go together");
    if (args.Has("--plugin") && !args.Has("--plugin-version")) return FailUsage("--plugin needs --plugin-version");
    // A package has no server tree to take the number from, and a guessed one could be
    // lower than what installations already applied (they would refuse the package).
    if (args.Has("--sign") && !args.Has("--number")) {
        return FailUsage("olp --sign needs --number: the publication the package belongs to");
    }
    NameEncoding encoding = NameEncoding::kGbk;
    if (int rc = ParseNameEncoding(args, encoding); rc != kExitOk) return rc;
    PublicationSigner signer;
    if (int rc = signer.Init(args, std::string()); rc != kExitOk) return rc;
    UpdatePkWriter writer;
    std::vector<ManifestRecord> records;
    OlpDeltas deltas;
    if (int rc = AddGameFiles(args, encoding, deltas, writer, records); rc != kExitOk) return rc;
    const size_t gameFiles = records.size();
    std::vector<uint32_t> controlIds;
    for (const char* name : ControlMembers(args)) controlIds.push_back(CalcFoldedFileId(name));
    if (int rc = AddOlpRemovals(args, encoding, controlIds, writer, records); rc != kExitOk) return rc;
    if (int rc = AddControlMembers(args, writer); rc != kExitOk) return rc;
    std::string text;
    AppendManifestText(records, text);
    writer.Add(kManifestName, std::vector<uint8_t>(text.begin(), text.end()));
    if (deltas.enabled()) {
        if (int rc = deltas.AddList(writer); rc != kExitOk) return rc;
        deltas.PrintSummary();
    }
    std::vector<uint8_t> package;
    if (!writer.Build(package)) return Fail(kExitFailed, "cannot build the package");
    if (int rc = WriteWholeFile(args.Positional()[1], package.data(), package.size()); rc != kExitOk) return rc;
    // Players rename packages: the signature binds the content under one fixed name.
    if (int rc = signer.Sign(args.Positional()[1], kOfflinePackageSignedName, package); rc != kExitOk) return rc;
    std::printf("packaged %zu files into %s\n", gameFiles, args.Positional()[1]);
    if (signer.enabled()) std::printf("signed as publication %" PRIu64 "\n", signer.number());
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"olp", "GAMEDIR OUT.olp [--platform LIST] [--tool-version N --tool FILE] [--plugin-version N [--plugin FILE]] "
     "[--sign SECRET --number N] [--utf8-names] [--delta-from OLDGAMEDIR]... [--removed-from OLDGAMEDIR]...",
     "write an offline update package from a game folder (with --delta-from: for installations at those "
     "earlier game folders, unchanged files left out, changed ones as patches where they pay; files an earlier "
     "folder of either option has and the game folder lacks are removed, as the online update removes them)",
     RunOlp}};

}  // namespace
