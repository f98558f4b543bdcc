// olp --delta-from OLDGAMEDIR: an offline package for installations at earlier publications.
// A file every earlier tree holds as it is stays out of the package; a changed file travels
// as its patches (made as publish makes them) when every earlier tree that differs has one
// worth keeping, else whole. The patches' list is the member "update.dlt".
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/paktool/cli_util.h"
#include "tools/paktool/publish_delta.h"
#include "tools/paktool/publish_util.h"

class UpdatePkWriter;

class OlpDeltas {
public:
    // Scans every --delta-from tree and its unpack list, before anything is written. Without
    // the option the package is made as always (every file whole). `gameFiles` are the files
    // of the package: a patch member may not share the member id of one of them. kExitOk or
    // the printed error.
    int Init(const ParsedArgs& args, const std::vector<GameFile>& gameFiles);
    bool enabled() const { return !trees_.empty(); }

    // Adds to `writer` what the package needs of one game file (`loose`: it is listed to
    // stay out of the pack). kExitOk or the printed error.
    int AddFile(const GameFile& file, bool loose, std::vector<uint8_t> bytes, UpdatePkWriter& writer);
    // Adds the list of the patches. kExitOk or the printed error.
    int AddList(UpdatePkWriter& writer);
    // One line for the operator: files whole, patches, files left out.
    void PrintSummary() const;

private:
    struct Tree {
        std::map<std::string, std::string> files;  // folded name -> where to read it
        std::vector<std::string> loose;            // its unpack list
    };
    // The paths of `file` in the earlier trees that hold it as the same kind; false when
    // some tree lacks it or holds it as the other kind (its installation has no content to
    // patch there).
    bool EarlierPaths(const GameFile& file, bool loose, std::vector<std::string>& paths) const;
    int AddPatches(std::vector<MadePatch>& patches, UpdatePkWriter& writer);

    std::vector<Tree> trees_;
    std::vector<uint32_t> gameIds_;  // sorted member ids of the package's game files
    std::vector<DeltaEntry> entries_;
    size_t whole_ = 0;
    size_t leftOut_ = 0;
};
