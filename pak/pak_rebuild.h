// One run of the pack rebuild: writes the temporary pack with the queued replacements and
// the kept entries, then puts it in place of the old pack in one step.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pak/disk_file.h"
#include "pak/pak_archive.h"
#include "pak/pak_block_coder.h"
#include "pak/pak_entry_table.h"
#include "pak/pak_kept_copier.h"
#include "pak/pak_replacement.h"
#include "pak/rebuild_progress.h"

using PakReplacementQueue = std::map<uint32_t, std::unique_ptr<PakReplacement>>;

// The replacements' blocks are coded on several threads (pak/pak_block_coder.h) and
// written in queue order, so the pack is the same whatever the number of threads.
class PakRebuild : private PakBlockSink {
public:
    // `progress` (may be null) hears how far the run is, ending with 100 when the new pack
    // is in place; `clock` spaces its reports.
    PakRebuild(PakArchive& pack, PakReplacementQueue& queue, const std::string& packPath,
               RebuildProgress* progress, RebuildClock clock);
    // True when the new pack is in place. On false the status line is shown, the
    // temporary file is gone and the old pack is as it was.
    bool Run();

private:
    bool ClassifyReplacements();
    bool WriteReplacements();
    bool ReadReplacement(PakReplacement& record, PakBlockCoder& coder);
    bool TakeBlock(PakCodedBlock& block) override;
    bool CopyKeptEntries();
    // An entry of the old pack that goes into the new one unchanged.
    struct KeptEntry {
        PakIndexEntry old;
        uint64_t stored;  // its block table and blocks, as they lie in the old pack
    };
    bool CopyKeptEntry(const KeptEntry& kept, PakKeptCopier& copier);
    uint64_t BytesToWrite() const;
    bool WriteHeaderAndIndex();
    bool PutInPlace();
    bool Write(const void* data, uint32_t size);
    bool StartEntry(uint32_t id, uint32_t size, uint32_t& offset);
    bool StartCodedEntry(uint32_t id, uint32_t size, uint32_t blocks);
    bool FailWith(const char* status);

    PakArchive& pack_;
    PakReplacementQueue& queue_;
    std::string tempName_;  // the pack path + "tmp", opened through the disk path rules
    std::string tempPath_;  // its disk path
    std::string packPath_;  // the pack's disk path
    DiskFile temp_;
    std::vector<PakIndexEntry> index_;
    std::vector<KeptEntry> kept_;  // in ascending id order
    uint32_t newCount_ = 0;
    PakEntryTable table_;  // of the replacement being written
    RebuildProgressThrottle progress_;
};
