// publish --delta-from OLDGAMEDIR: patches of the files that changed since an earlier game
// tree, against that tree's content, and the delta list naming them, beside the update list.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/manifest_record.h"
#include "tools/paktool/cli_util.h"

class PublicationSigner;

// The --delta-from option (repeatable: one earlier game tree each).
extern const OptionDef kDeltaFromOption;

// A patch is kept only when it is below this share (in percent) of the file's download.
constexpr uint64_t kDeltaKeepPercent = 60;

// The files of the earlier game trees, one map (folded name -> where to read it) per tree.
using DeltaSources = std::vector<std::map<std::string, std::string>>;

// Scans every --delta-from tree, before anything is written: a missing or unreadable tree
// refuses the publication. kExitOk or the printed error.
int ScanDeltaSources(const ParsedArgs& args, DeltaSources& sources);

// Writes the patches worth keeping for `records` (just published from GAMEDIR) against every
// --delta-from tree, and the delta list at `prefix` in `serverDir`, each signed by `signer`.
// Without --delta-from, removes a delta list an earlier publication left, which would offer
// patches to contents this publication no longer has. kExitOk or the printed error.
int PublishDeltas(const ParsedArgs& args, const DeltaSources& sources, const PublicationSigner& signer,
                  const std::string& serverDir, const std::string& prefix, const std::vector<ManifestRecord>& records);
