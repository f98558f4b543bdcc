// olp: a package for installations at earlier game folders removes what they have and the
// package's folder no longer has, as the online update does (a pack-kind record whose
// content is the pack's delete marker, carried with that 8-byte member: it takes the entry
// out of patch.dat and, for a former loose file, takes the loose file away).
#pragma once

#include <vector>

#include "engine/manifest_record.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/game_names.h"

class UpdatePkWriter;

// --removed-from OLDGAMEDIR (repeatable): an earlier game folder whose files the package
// removes where the package's folder lacks them. The --delta-from folders count as well.
extern const OptionDef kRemovedFromOption;

// The earlier game folders' files that `records` (the package's game files) do not name,
// each added to `writer` as a removal member and to `records` as its record, in name order
// (and printed as "removed NAME"). A name whose member id a file of the package takes is
// left out with a note; one with the id of a control member (`reservedIds`) is no game file
// of any installation and is left out. kExitOk or the printed error.
int AddOlpRemovals(const ParsedArgs& args, NameEncoding encoding, const std::vector<uint32_t>& reservedIds,
                   UpdatePkWriter& writer, std::vector<ManifestRecord>& records);
