// The pack rebuild: queues replacement files for the entries of one pack and rewrites the
// pack with them, swapping the new file in for the old one in one step.
//
// Queued source files are consumed: deleted after being packed, on failure, and by Reset
// (or destruction). Callers hand over temporary files only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "pak/pak_archive.h"
#include "pak/pak_replacement.h"
#include "pak/rebuild_progress.h"
#include "platform/platform.h"

// The new-pack marker: a list file naming only itself, packed into a pack made from nothing.
constexpr const char* kPakNewPackMarkerName = "1.ver";
// OpenOrCreate's `create` that also takes a pack it cannot open whole: what still reads
// of it is kept (PakArchive::OpenSalvaged) and the next rebuild writes a whole pack in its
// place. For callers whose player agreed to have the pack rebuilt.
constexpr int kPakCreateOrSalvage = 2;
// The rebuild writes "<pack>tmp" and then puts it in place of the pack.
constexpr const char* kPakTempSuffix = "tmp";

class PakUpdater {
public:
    PakUpdater();
    ~PakUpdater();  // Reset()
    PakUpdater(const PakUpdater&) = delete;
    PakUpdater& operator=(const PakUpdater&) = delete;

    // Opens the pack at `path`; when it cannot be opened and `create` is non-zero, creates
    // a pack holding only "1.ver" (method -1) and opens that. With kPakCreateOrSalvage an
    // existing file that does not open as a pack is opened salvaged instead; its rebuild
    // happens even with nothing queued, and one that kept no entry gets "1.ver" as a
    // created pack has it. Returns 1 or 0.
    int OpenOrCreate(const char* path, int create);
    // Queues the file at `path` (read through PakFile with packs first) as the new content
    // of the entry `name`. Returns 0 when the pack is not open, the file cannot be opened
    // or `name` is already queued.
    int AddFile(const char* name, const char* path);
    // Queues the disk file at `path`, named exactly as given (no pack lookup, no pack path
    // rules), as the new content of `name`; it is read when the rebuild writes it, so its
    // content is never held in memory meanwhile. With `handOver` the file is consumed as
    // AddFile's are; without, nothing here ever deletes it, whether the rebuild succeeds,
    // fails or never happens: it stays its owner's (a download journaled until the rebuilt
    // pack holds it). Returns 0 as AddFile does.
    int AddDiskFile(const char* name, const char* path, bool handOver);
    // Queues a copy of `size` bytes at `data`. Data with size 0, or no data with a size
    // other than 0, is refused; no data and size 0 queues an empty entry.
    int AddBuffer(const char* name, const void* data, uint32_t size);
    // Queues the removal of the entry `name`: the rebuild writes no entry for it (nothing
    // happens to a name the pack does not hold). Returns 0 when the pack is not open or
    // `name` is already queued.
    int Delete(const char* name);
    // Writes "<pack>tmp" with the replacements and every untouched entry and replaces the
    // pack with it. Returns 1 or 0; on 0 the old pack is unchanged.
    int Rebuild();
    // Sets who hears how far each rebuild is (nullptr, the default, nobody) and the clock
    // that spaces the reports.
    void SetRebuildProgress(RebuildProgress* progress, RebuildClock clock = platform::TickCountMs) {
        progress_ = progress;
        clock_ = clock;
    }
    // Drops every queued replacement (deleting its source file) and closes the pack.
    void Reset();

    // True when the open pack has an entry under the id of the folded `name`.
    bool Holds(const char* name) const;
    // Number of queued replacements.
    size_t QueuedCount() const { return queue_.size(); }

private:
    bool Queue(const char* name, std::unique_ptr<PakReplacement> record);
    bool CreatePack(const char* path);
    bool QueueMarkerIfBare();
    void DropAll();

    PakArchive pack_;
    std::map<uint32_t, std::unique_ptr<PakReplacement>> queue_;
    std::string packPath_;
    bool salvaged_ = false;  // opened by OpenSalvaged: the rebuild must write it anew
    RebuildProgress* progress_ = nullptr;
    RebuildClock clock_ = platform::TickCountMs;
};
