// paktool sync: runs the engine's online pass on an installation, with a server folder
// standing in for the update server.
#include <memory>
#include <string>
#include <vector>

#include "engine/failure_sink.h"
#include "engine/manifest_store.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_engine.h"
#include "net/dir_transfer.h"
#include "pak/pak_update_task.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publish_util.h"

namespace {

constexpr const char* kDefaultDir = "download/";
constexpr const char* kRemoteListName = "update.pak";
constexpr const char* kLocalPack = "patch.dat";

int32_t RunOnlinePass(const std::string& serverRoot, const std::string& remoteList, uint32_t* failed) {
    ProgressSink sink;  // no window: nothing is posted
    PackManifestStore store;
    CountingFailureSink failures;
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    DirTransfer transfer(serverRoot);
    UpdateEngine* engine = UpdateEngine::Instance();
    uint32_t total = 0;
    uint32_t count = 0;
    int32_t result =
        engine->CheckForUpdates(&sink, store, transfer, remoteList.c_str(), kLocalPack, &total, &count);
    if (result == UPD_DONE) result = engine->DownloadAndApply(&sink, store, failures, *task, transfer);
    engine->Release();
    *failed = failures.count();
    return result;
}

int RunSync(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {{nullptr, "--dir", true},
                                           {nullptr, "--platform", true},
                                           {nullptr, "--plugin-version", true},
                                           {nullptr, "--yes", false}};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    EngineRunOptions options;
    if (int rc = ParseEngineRunOptions(args, options); rc != kExitOk) return rc;
    const std::string serverRoot = AbsolutePath(args.Positional()[0]);
    const std::string remoteList =
        RemoteDirPrefix(args.Value("--dir") ? args.Value("--dir") : kDefaultDir) + kRemoteListName;
    int32_t result;
    uint32_t failed = 0;
    {
        EngineConsole console(options, args.Positional()[1]);
        if (!console.ok()) return kExitFileError;
        result = RunOnlinePass(serverRoot, remoteList, &failed);
    }
    PrintResultLine(result);
    if (result != UPD_DONE && result != UPD_UP_TO_DATE) {
        return Fail(kExitFailed, "the update ended with 0x%08X %s", static_cast<unsigned>(result), UpdateResultName(result));
    }
    if (failed != 0) return Fail(kExitFailed, "%u files failed", failed);
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"sync", "SERVERDIR INSTALLDIR [--dir DIR] [--platform P] [--plugin-version N] [--yes]",
     "run an online update of an installation from a server folder", RunSync}};

}  // namespace
