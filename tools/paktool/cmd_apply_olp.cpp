// paktool apply-olp: applies an offline update package to an installation.
#include <cstdio>
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
#include "platform/platform.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"
#include "tools/paktool/publish_util.h"
#include "tools/paktool/run_diagnosis.h"
#include "tools/paktool/rebuild_meter.h"

namespace {

constexpr const char* kLocalPack = "patch.dat";
constexpr size_t kResultTextMax = 128;

// A package that is missing or not a file cannot be opened: a file error, before any run.
int CheckPackageFile(const std::string& path) {
    if (platform::DirectoryExists(path.c_str()))
        return Fail(kExitFileError, "package '%s' is a folder, not a file", path.c_str());
    if (!platform::FileExists(path.c_str())) return Fail(kExitFileError, "package '%s' does not exist", path.c_str());
    return kExitOk;
}

// A package with a newer tool or plug-in writes it and applies nothing else.
std::string RestartCause(const std::string& installDir) {
    return std::string("the package carries a newer ") + kOlpToolMember + " or " + kOlpPluginMember +
           ", now written into '" + installDir + "'; run the update again with it";
}

// The exit code of a finished run; a failure's one line names what is at fault.
int ReportOutcome(const RunFacts& facts, const std::string& packagePath, const std::string& platform) {
    std::string cause = InstallationFault(facts);
    if (cause.empty() && facts.result == UPD_E_DATA) cause = PackageFault(packagePath, platform);
    if (cause.empty() && facts.result == UPD_RESTART_REQUESTED) cause = RestartCause(facts.installDir);
    if (facts.result != UPD_PACKAGE_APPLIED) {
        char notApplied[kResultTextMax];
        std::snprintf(notApplied, sizeof notApplied, "the package was not applied: 0x%08X %s",
                      static_cast<unsigned>(facts.result), UpdateResultName(facts.result));
        return Fail(kExitFailed, "%s", WithCause(notApplied, cause).c_str());
    }
    // Members the package lacks are reported by the engine and left out: not a success.
    if (facts.failedFiles == 0) return kExitOk;
    return Fail(kExitFailed, "%u files were not installed: the first is '%s'", facts.failedFiles,
                facts.firstFailedFile.c_str());
}

int RunApplyOlp(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {
        {nullptr, "--platform", true, false, "the plug-in's platform string (the package must list it)"},
        {nullptr, "--plugin-version", true, false, "the installed plug-in's version, major * 10000 + minor (default 0)"},
        {nullptr, "--yes", false, false, "answer \"yes\" to the engine's questions (rebuilding a missing patch.dat)"}};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 2); rc != kExitOk) return rc;
    EngineRunOptions options;
    if (int rc = ParseEngineRunOptions(args, options); rc != kExitOk) return rc;
    if (int rc = CheckPackageFile(args.Positional()[0]); rc != kExitOk) return rc;
    const std::string package = AbsolutePath(args.Positional()[0]);
    RunFacts facts;
    facts.installDir = args.Positional()[1];
    facts.answerYes = options.answerYes;
    RecordingFailureSink failures;
    {
        EngineConsole console(options, facts.installDir);
        if (!console.ok()) return kExitFileError;
        ProgressSink sink;
        PackManifestStore store;
        TerminalRebuildMeter meter;  // the rebuild's percentage on a terminal
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask(&meter);
        facts.result = ApplyOfflinePackage(package.c_str(), kLocalPack, &sink, store, failures, *task);
        UpdateEngine::Instance()->Release();
        facts.rebuildAsked = console.rebuildAsked();
    }
    facts.failedFiles = failures.count();
    facts.firstFailedFile = failures.first();
    PrintResultLine(facts.result);
    return ReportOutcome(facts, args.Positional()[0], options.platform);
}

const PaktoolCommandRegistration kRegistration{
    {"apply-olp", "FILE.olp INSTALLDIR [--platform P] [--plugin-version N] [--yes]",
     "apply an offline update package to an installation", RunApplyOlp}};

}  // namespace
