// publish --delta-from OLDGAMEDIR: patches of the files that changed since an earlier game
// tree, against that tree's content, and the delta list naming them, beside the update list.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/delta_list.h"
#include "engine/manifest_record.h"
#include "tools/paktool/cli_util.h"

class PublicationSigner;

// The --delta-from option (repeatable: one earlier game tree each).
extern const OptionDef kDeltaFromOption;

// A patch is kept only when it is below this share (in percent) of the file's download.
constexpr uint64_t kDeltaKeepPercent = 60;

// Whether a file of `size` bytes gets patches at all: smaller ones are fetched whole.
bool IsPatchable(uint64_t size);

// One patch worth keeping: its list entry and its bytes.
struct MadePatch {
    DeltaEntry entry;
    std::string bytes;
};

// What one earlier content of a file came to.
enum class EarlierContent {
    kSame,     // it is the new content already
    kPatched,  // a patch worth keeping turns it into the new content
    kNoPatch,  // no patch worth keeping (a small file, an unreadable one, or too large a patch)
};

// The bytes a whole copy of the file costs the player, asked for only when a patch is made:
// kExitOk or the printed error.
using DownloadSizeFn = std::function<int(uint64_t& size)>;

// Makes the patches of the published file `name` (content `newBytes`) against the earlier
// contents at `oldPaths`, one per distinct content, kept when below kDeltaKeepPercent of the
// whole file's download. Patch paths lie below `prefix`. `earlier` gets one outcome per path.
// kExitOk or the printed error.
int MakeFilePatches(const std::string& name, const std::vector<uint8_t>& newBytes, const DownloadSizeFn& download,
                    const std::vector<std::string>& oldPaths, const std::string& prefix,
                    std::vector<MadePatch>& patches, std::vector<EarlierContent>& earlier);

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
