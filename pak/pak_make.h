// The pack writer: builds a new "DATAPACK" pack from a list file.
//
// List file: CR LF separated lines; the first line is the base directory (the work path
// the listed files are opened under), every further line one file name, folded for its id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pak/disk_file.h"
#include "pak/pak_block_coder.h"
#include "pak/pak_buffer.h"
#include "pak/pak_codec.h"
#include "pak/pak_entry_table.h"

// The files' blocks are coded on several threads (pak/pak_block_coder.h) and written in
// list order, so the pack is the same whatever the number of threads.
class PakMake : private PakBlockSink {
public:
    PakMake() = default;
    PakMake(const PakMake&) = delete;
    PakMake& operator=(const PakMake&) = delete;

    // Writes `packFile` from `listFile` with `method`. Returns 1 or 0.
    int Make(const char* listFile, const char* packFile, int32_t method);
    // Reads the list and prepares the sorted name table and index. Returns 1 or 0.
    int LoadList(const char* listFile);
    // Writes the pack of the loaded list with the method Make chose. The pack is written
    // under "<packFile>tmp" and then replaces `packFile` in one step, so a failure leaves
    // whatever was there before. Returns 1 or 0.
    int Pack(const char* packFile);

    uint32_t Count() const { return count_; }

private:
    struct ListedName {
        uint32_t offset;     // of the name in list_, as listed (the spelling opened on disk)
        uint32_t id;         // of the folded name
        std::string folded;  // the name the pack knows it by, as reported
    };

    bool WritePack(const char* tempName);
    bool ReadOneFile(uint32_t i, PakBlockCoder& coder);
    bool StartEntry(uint32_t i, uint32_t size, uint32_t blocks);
    bool TakeBlock(PakCodedBlock& block) override;
    bool WriteBlock(PakCodedBlock& block, uint32_t index);

    PakBuffer list_;
    std::vector<ListedName> names_;  // sorted by id
    PakBuffer index_;
    DiskFile input_;
    DiskFile output_;
    PakEntryTable table_;  // of the entry being written
    bool methodChosen_ = false;  // Make was given a method that has a codec
    uint32_t baseDirectory_ = 0;  // offset of the first line in list_
    uint32_t count_ = 0;
    int32_t method_ = 0;
};
