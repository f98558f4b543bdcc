// The decisions start-up makes from names and texts, kept free of system calls so they can
// be checked on every build.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// File names of the installation, relative to the tool's own directory.
constexpr const char* kToolExeName = "update.exe";
constexpr const char* kNewBuildExeName = "newuper.exe";
constexpr const char* kUpdaterCopyName = "update.dat";
constexpr const char* kPluginSpareName = "updatecfg.dat";
constexpr const char* kPatchPackName = "patch.dat";
constexpr const char* kStartupInstructionName = "curver.dat";

enum class ToolRole {
    kUpdater,           // started as update.dat
    kLauncher,          // started as update.exe
    kNewBuildLauncher,  // started as newuper.exe: also installs itself as update.exe
    kRenamed,           // any other name: refuses to run
};

// The role for the executable's file name, compared ignoring letter case.
ToolRole RoleFromFileName(const std::string& fileName);

// Splits a module path at its last '\' or '/'; the first character never counts as the
// separator. False when there is no separator.
bool SplitModulePath(const std::wstring& path, std::wstring& directory, std::wstring& fileName);

// The path of update.dat beside the launcher `path`: a newuper.exe path loses its last 11
// characters, any other its last 3 ("exe" becomes "dat"). Empty when the path is too short.
std::wstring UpdaterCopyPath(const std::wstring& launcherPath, bool newBuild);

// The command-line text after the program name, as WinMain receives it: the first token
// (quoted or not) and the blanks after it are skipped.
std::wstring CommandLineArguments(const std::wstring& fullCommandLine);

// curver.dat: a download-directory word and, optionally, the handle of a parent process
// to wait for, separated by blanks.
constexpr size_t kStartupInstructionBufferSize = 1024;
struct StartupInstruction {
    std::string downloadDir;  // empty: the default directory
    bool waitForParent = false;
    uint32_t parentHandle = 0;  // valid when waitForParent
};
// Parses the text up to its first NUL (at most `size` bytes). The words "null" and
// "download" (any case) and a missing word mean the default directory; a handle is then
// not waited for, nor are 0 and -1.
StartupInstruction ParseStartupInstruction(const char* text, size_t size);

// One retry budget shared by every delete and copy of a launcher run: after a failed
// attempt the step sleeps and retries while fewer than kRetryBudget retries have been
// spent; once the budget is gone each failing step gives up after one attempt.
constexpr int kRetryBudget = 10;
constexpr uint32_t kRetrySleepMs = 1000;
class RetryBudget {
public:
    explicit RetryBudget(std::function<void(uint32_t)> sleep) : sleep_(std::move(sleep)) {}
    // Runs `attempt` until it succeeds or the budget is spent; true when it succeeded.
    bool Run(const std::function<bool()>& attempt);
    int spent() const { return failures_; }

private:
    std::function<void(uint32_t)> sleep_;
    int failures_ = 0;
};
