// The delta path of one record of an update pass: its new content made from the installed
// one with a patch, installed like a downloaded file; otherwise the whole file is fetched.
#include "engine/update_engine.h"

#include "engine/delta_fetch.h"
#include "net/local_file.h"
#include "pak/pak_update_task.h"
#include "platform/platform.h"

UpdateEngine::DeltaInstall UpdateEngine::InstallThroughDelta(const ManifestRecord& record, ProgressSink* sink,
                                                             PakUpdateTask& task, Transfer& transfer) {
    // A file changing between pack and folder has no installed content of its new kind.
    if (deltas_.empty() || kindChanged_.count(record.name) != 0) return DeltaInstall::kFetchWhole;
    std::string content;
    const DeltaOutcome outcome =
        FetchInstalledThroughDelta(transfer, deltas_, record, localPackPath_, sink, &content);
    if (outcome == DeltaOutcome::kInterrupted) return DeltaInstall::kStopped;
    if (outcome != DeltaOutcome::kApplied) return DeltaInstall::kFetchWhole;
    // Written beside its target: a loose file is moved onto it, like a downloaded one; a
    // member waits for the rebuild in that file, not in memory.
    const std::string temp = CreateTempFileBeside(record.IsUnpack() ? record.name.c_str() : localPackPath_.c_str());
    if (temp.empty()) return DeltaInstall::kFetchWhole;
    const bool written = WriteWholeLocalFile(temp.c_str(), content.data(), content.size());
    std::string().swap(content);
    if (!written) {
        platform::RemoveFile(temp.c_str());
        return DeltaInstall::kFetchWhole;
    }
    if (record.IsUnpack() ? !PlaceLooseFile(temp, record) : !QueueMemberFile(task, record, temp, true)) {
        platform::RemoveFile(temp.c_str());
        return DeltaInstall::kFetchWhole;
    }
    // A partial of the whole file kept from an earlier run is not needed any more.
    partials_.Forget(record.name, true);
    return DeltaInstall::kInstalled;
}
