// Where the files a run's connections fetch ahead into temporary files are recorded the
// moment each is made, so a stop that keeps, a killed process or a power cut leaves what
// they had written for a later run to continue.
#pragma once

#include <memory>
#include <string>

// Called from the connections' own threads.
class StagedFileRecorder {
public:
    virtual ~StagedFileRecorder() = default;
    // `stagedPath`, new and empty, is where planned `remotePath` is being fetched. True when
    // it is recorded: the file then stays when the fetches ahead stop, and the run's own
    // request for `remotePath` continues it where it lies.
    virtual bool OnStaged(const std::string& remotePath, const std::string& stagedPath) = 0;
    // The run went past `remotePath` without asking for it: its recorded file goes, with
    // its record.
    virtual void OnDropped(const std::string& remotePath) = 0;
};

// The recorder of the run in progress, taken by the fetches ahead of each plan made while
// it is set (null: none; a staged file not handed over is then removed when they stop).
void SetStagedFileRecorder(std::shared_ptr<StagedFileRecorder> recorder);
std::shared_ptr<StagedFileRecorder> CurrentStagedFileRecorder();
