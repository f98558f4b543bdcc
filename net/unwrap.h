// What is done with downloaded bytes before the engine sees them: servers may publish a
// file packed as the single member of an UpdatePK container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest member the extraction accepts (bytes).
constexpr uint32_t kMaxExtractedMember = 0x4FFFFFF;

// One entry of an UpdatePK container's index.
struct UpdatePkEntry {
    uint32_t id = 0;
    uint32_t offset = 0;  // of the member's data area (block table, then the blocks)
    uint32_t size = 0;    // decoded
};

// The entry count of the UpdatePK container (method -1) held in `block`; false when the
// block is no such container.
bool UpdatePkEntryCount(const uint8_t* block, size_t size, uint32_t* count);

// Index entry `index` of the container in `block`; false when the block ends before it.
bool UpdatePkEntryAt(const uint8_t* block, size_t size, uint32_t index, UpdatePkEntry* entry);

// Decodes the member of `entry` into `out` (entry.size bytes). False when its data area
// lies outside the block or does not decode to exactly entry.size bytes.
bool DecodeUpdatePkMember(const uint8_t* block, size_t size, const UpdatePkEntry& entry, uint8_t* out);

// True when the file at `path` begins like an UpdatePK container (method -1): only its
// header is read.
bool IsUpdatePkContainerFile(const std::string& path);

// Looks up the member `name` (folded, then CalcFileId) in the UpdatePK container (method -1)
// held in `block`. Returns UPD_E_DATA when the block is no such container or is damaged
// (then `out` is untouched); 0 otherwise, with *extracted telling whether the member was
// found and `out` holding its content.
int32_t ExtractUpdatePkMember(const std::string& name, const uint8_t* block, size_t size,
                              std::vector<uint8_t>& out, bool* extracted);

// The member name a downloaded file is looked up under: the file-name part of the remote
// path (after its last '/' or '\'), ASCII capitals lowered outside double-byte characters;
// "update.pak" becomes "update.inf".
std::string DownloadMemberName(const std::string& remotePath);

// Checks a file just downloaded to `localPath` from `remotePath`: a ".pak" download is used
// as it is; a file that is no pack is used as it is; a pack must hold the member named by
// the remote file name, whose content then replaces the file. False when the file is
// missing or the pack lacks the member or cannot be read back.
bool UnwrapDownloadedFile(const char* localPath, const char* remotePath);
