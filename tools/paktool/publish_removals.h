// What a new publication must say about the one it replaces: the files gone from the game
// folder are published as removed (a pack-kind record whose content is the pack's delete
// marker, which takes the entry out of patch.dat and, for a former loose file, takes the
// loose file away), and server files no record points at any more are stale.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/manifest_record.h"

// The records of the update list published before at `listPath` (an UpdatePK container
// holding the manifest); empty when there is none. kExitOk, or the printed error when the
// file is there but holds no readable list.
int ReadPublishedList(const std::string& listPath, std::vector<ManifestRecord>& records);

// The content a removal record publishes.
std::vector<uint8_t> RemovalContent();

// A removed file to publish: its record, and whether the replaced list still had the file
// itself (false when that list already published it as removed).
struct Removal {
    ManifestRecord record;
    bool newlyRemoved;
};

// Removals for every name of `previous` that `current` no longer has, in name order; the
// remote path of each is `remoteDir` + its name. A name whose pack id a current file
// takes is left out (the delete marker would remove that file), with a note.
std::vector<Removal> FindRemovals(const std::vector<ManifestRecord>& previous,
                                  const std::vector<ManifestRecord>& current, const std::string& remoteDir);

// Remote paths of `previous` that no record of `current` uses, in the order met; paths that
// would lead out of the server folder are left out.
std::vector<std::string> StaleRemotePaths(const std::vector<ManifestRecord>& previous,
                                          const std::vector<ManifestRecord>& current);
