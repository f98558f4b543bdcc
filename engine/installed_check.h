// The check of an installed file against the record the local manifest keeps for it: what
// a repair run does with every file the installation lists.
#pragma once

#include "engine/manifest_record.h"

class InstalledFiles;

// Whether the installed file `record` names is whole: a pack member read from the pack, or
// a loose file read from disk, of the recorded size and MD5. A record that cannot be
// checked (no MD5 digest, a name the engine would refuse to install, a removal record) counts
// as whole: fetching it again could not change it.
bool InstalledFileIsWhole(InstalledFiles& files, const ManifestRecord& record);

// What an ordinary run checks of the same record: a pack member must still have an entry
// in the pack whose stored bytes lie whole inside it (its block table is read, nothing is
// decoded), so a pack cut short or a lost entry is fetched again rather than trusted. Loose
// files, and records InstalledFileIsWhole counts as whole unchecked, count as there.
bool InstalledFileIsThere(InstalledFiles& files, const ManifestRecord& record);
