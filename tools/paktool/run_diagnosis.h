// Why a failed engine run failed, in terms of the paths the operator gave: each function
// looks at the files after the run and names the one at fault, or returns "" when it finds
// nothing wrong there. Used for the one error line of sync and apply-olp.
#pragma once

#include <cstdint>
#include <string>

#include "engine/failure_sink.h"

// What a run on an installation showed besides its result.
struct RunFacts {
    std::string installDir;  // as given on the command line
    int32_t result = 0;
    bool rebuildAsked = false;  // the engine asked whether to rebuild patch.dat
    bool answerYes = false;     // and was told yes
    uint32_t failedFiles = 0;
    std::string firstFailedFile;
};

// Counts the files a run could not install and remembers the first; always goes on.
class RecordingFailureSink : public FailureSink {
public:
    bool OnFailure(const char* fileName) override;
    uint32_t count() const { return count_; }
    const std::string& first() const { return first_; }

private:
    uint32_t count_ = 0;
    std::string first_;
};

// True when a new file can be made in `dir`.
bool IsWritableFolder(const std::string& dir);

// patch.dat or the installation folder, when they explain the run's result.
std::string InstallationFault(const RunFacts& facts);

// The server folder or its manifest container `remoteList` (relative to it), when missing.
std::string ServerFault(const std::string& serverDir, const std::string& remoteList);

// What is wrong with the package at `path` for a run with platform string `platform`.
std::string PackageFault(const std::string& path, const std::string& platform);

// "MESSAGE" or "MESSAGE: CAUSE".
std::string WithCause(const std::string& message, const std::string& cause);
