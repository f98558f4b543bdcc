// paktool apply-olp: applies an offline update package to an installation.
#include <memory>
#include <string>
#include <vector>

#include "engine/failure_sink.h"
#include "engine/manifest_store.h"
#include "engine/offline_package.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_engine.h"
#include "pak/pak_update_task.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publish_util.h"

namespace {

constexpr const char* kLocalPack = "patch.dat";

int RunApplyOlp(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {
        {nullptr, "--platform", true}, {nullptr, "--plugin-version", true}, {nullptr, "--yes", false}};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    EngineRunOptions options;
    if (int rc = ParseEngineRunOptions(args, options); rc != kExitOk) return rc;
    const std::string package = AbsolutePath(args.Positional()[0]);
    int32_t result;
    {
        EngineConsole console(options, args.Positional()[1]);
        if (!console.ok()) return kExitFileError;
        ProgressSink sink;
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        result = ApplyOfflinePackage(package.c_str(), kLocalPack, &sink, store, failures, *task);
        UpdateEngine::Instance()->Release();
    }
    PrintResultLine(result);
    if (result != UPD_PACKAGE_APPLIED) {
        return Fail(kExitFailed, "the package was not applied: 0x%08X %s", static_cast<unsigned>(result),
                    UpdateResultName(result));
    }
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"apply-olp", "FILE.olp INSTALLDIR [--platform P] [--plugin-version N] [--yes]",
     "apply an offline update package to an installation", RunApplyOlp}};

}  // namespace
