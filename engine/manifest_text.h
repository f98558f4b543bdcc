// The manifest text: records of six CR LF lines (kind, name, digest, size, remote path,
// an empty separator). No header, count or checksum.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/manifest_record.h"

// Reads every record of `text`, folding each field with the pack name folding, and hands
// it to `onRecord` in text order. Returns UPD_DONE, or UPD_E_DATA when the text ends inside
// a record (after one to four fields, before the line end of the fifth, or before the
// separator line). An empty text holds no records.
int32_t ReadManifestText(const std::string& text, const std::function<void(ManifestRecord&&)>& onRecord);

// The text of `records` in order: five fields each followed by CR LF, then CR LF.
void AppendManifestText(const std::vector<ManifestRecord>& records, std::string& text);

// The platform a remote path is for: the text between its first '$' and the next '/' or
// '\'. False when the path names no platform (no '$', or no separator after it).
bool RemotePathPlatform(const std::string& remotePath, std::string* platform);

// Adds a remote record to the de-duplicating set: a record with a name already present
// replaces the old one when its remote path is at least as long.
void MergeRemoteRecord(std::map<std::string, ManifestRecord>& set, ManifestRecord&& record);
