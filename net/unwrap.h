// What is done with downloaded bytes before the engine sees them: servers may publish a
// file packed as the single member of an UpdatePK container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest member the extraction accepts (bytes).
constexpr uint32_t kMaxExtractedMember = 0x4FFFFFF;

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
