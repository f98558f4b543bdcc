// The journal's side of the files fetched ahead: a file a connection stages on disk for a
// planned record is journaled as that record's partial the moment it is made, so a stop
// that keeps, a killed process or a power cut costs only what the connections were reading,
// never what they had written. The run's own request then continues the file where it lies.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/manifest_record.h"
#include "engine/partial_downloads.h"
#include "net/staged_files.h"

class StagedPartials : public StagedFileRecorder {
public:
    // Journals into `journal` the staged files of `planned` (found by remote path).
    StagedPartials(PartialDownloads& journal, const std::vector<ManifestRecord>& planned);

    bool OnStaged(const std::string& remotePath, const std::string& stagedPath) override;
    void OnDropped(const std::string& remotePath) override;

    // Forgets every partial journaled here, with its file: a stop that discards keeps none.
    void ForgetAll();
    // The run is over: calls from connections still ending change nothing any more.
    void Detach();

private:
    std::mutex lock_;
    PartialDownloads* journal_;
    std::map<std::string, ManifestRecord> planned_;  // by remote path
    std::map<std::string, std::string> staged_;      // remote path -> the staged file journaled
};
