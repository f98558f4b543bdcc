// paktool sync: runs the engine's online pass on an installation, with a server folder
// standing in for the update server.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/failure_sink.h"
#include "engine/manifest_store.h"
#include "engine/publisher_key.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_engine.h"
#include "net/dir_transfer.h"
#include "pak/pak_update_task.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publish_util.h"
#include "tools/paktool/run_diagnosis.h"
#include "tools/paktool/rebuild_meter.h"
#include "tools/paktool/signing_util.h"

namespace {

constexpr const char* kLocalPack = "patch.dat";
constexpr size_t kResultTextMax = 128;
const OptionDef kKeyOption = {nullptr, "--key", true, false,
                              "check signatures with this public key file, as a keyed update.exe does"};

// The engine checks signatures with the given public key for one run, as a build with that
// key would; the build's own key (or none) is back afterwards.
class RunKey {
public:
    explicit RunKey(const PublisherKey* key) : set_(key != nullptr) {
        if (set_) SetPublisherKeyForTesting(key);
    }
    ~RunKey() {
        if (set_) SetPublisherKeyForTesting(nullptr);
    }
    RunKey(const RunKey&) = delete;
    RunKey& operator=(const RunKey&) = delete;

private:
    bool set_;
};

int32_t RunOnlinePass(const std::string& serverRoot, const std::string& remoteList, bool repair,
                      RecordingFailureSink& failures) {
    ProgressSink sink;  // no window: nothing is posted
    PackManifestStore store;
    TerminalRebuildMeter meter;  // the rebuild's percentage on a terminal
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask(&meter);
    DirTransfer transfer(serverRoot);
    UpdateEngine* engine = UpdateEngine::Instance();
    engine->SetRepair(repair);
    uint32_t total = 0;
    uint32_t count = 0;
    int32_t result =
        engine->CheckForUpdates(&sink, store, transfer, remoteList.c_str(), kLocalPack, &total, &count);
    if (result == UPD_DONE) result = engine->DownloadAndApply(&sink, store, failures, *task, transfer);
    engine->Release();
    return result;
}

// The exit code of a finished run; a failure's one line names what is at fault.
int ReportOutcome(const RunFacts& facts, const std::string& serverDir, const std::string& remoteList) {
    std::string cause = InstallationFault(facts);
    if (cause.empty() && facts.result == UPD_E_FETCH) cause = ServerFault(serverDir, remoteList);
    if (facts.result != UPD_DONE && facts.result != UPD_UP_TO_DATE) {
        char ended[kResultTextMax];
        std::snprintf(ended, sizeof ended, "the update ended with 0x%08X %s", static_cast<unsigned>(facts.result),
                      UpdateResultName(facts.result));
        return Fail(kExitFailed, "%s", WithCause(ended, cause).c_str());
    }
    if (facts.failedFiles == 0) return kExitOk;
    if (cause.empty()) cause = "the first is '" + facts.firstFailedFile + "'";
    return Fail(kExitFailed, "%u files failed: %s", facts.failedFiles, cause.c_str());
}

int RunSync(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {
        {nullptr, "--dir", true, false, "the published folder below SERVERDIR (default download/)"},
        {nullptr, "--platform", true, false, "the plug-in's platform string (default: none)"},
        {nullptr, "--plugin-version", true, false, "the installed plug-in's version, major * 10000 + minor (default 0)"},
        {nullptr, "--yes", false, false, "answer \"yes\" to the engine's questions (rebuilding a missing patch.dat)"},
        {nullptr, "--repair", false, false, "check every installed file by MD5 and size, not only the listed changes"},
        kKeyOption};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    PublisherKey key{};
    const char* keyPath = args.Value(kKeyOption.longName);
    if (keyPath != nullptr) {
        if (int rc = ReadKeyFile(keyPath, kPublicKeyBytes, "public key", key.bytes); rc != kExitOk) return rc;
    }
    EngineRunOptions options;
    if (int rc = ParseEngineRunOptions(args, options); rc != kExitOk) return rc;
    const std::string serverRoot = AbsolutePath(args.Positional()[0]);
    const std::string remoteList =
        RemoteDirPrefix(args.Value("--dir") ? args.Value("--dir") : kDefaultDir) + kRemoteListName;
    RunFacts facts;
    facts.installDir = args.Positional()[1];
    facts.answerYes = options.answerYes;
    RecordingFailureSink failures;
    {
        EngineConsole console(options, facts.installDir);
        if (!console.ok()) return kExitFileError;
        const RunKey runKey(keyPath != nullptr ? &key : nullptr);
        facts.result = RunOnlinePass(serverRoot, remoteList, args.Has("--repair"), failures);
        facts.rebuildAsked = console.rebuildAsked();
    }
    facts.failedFiles = failures.count();
    facts.firstFailedFile = failures.first();
    PrintResultLine(facts.result);
    return ReportOutcome(facts, args.Positional()[0], remoteList);
}

const PaktoolCommandRegistration kRegistration{
    {"sync", "SERVERDIR INSTALLDIR [--dir DIR] [--platform P] [--plugin-version N] [--yes] [--repair] [--key PUBLIC]",
     "run an online update of an installation from a server folder; with --repair, every installed file "
     "the installation lists is checked (MD5 and size) and what is missing or damaged is fetched again; "
     "with --key, as a build holding that public key: an update list whose signature does not check is refused",
     RunSync}};

}  // namespace
