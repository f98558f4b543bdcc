// Builds a small stored pack inside a ScratchDir for tests that read game files from packs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pak/pak_make.h"
#include "pak/pak_paths.h"
#include "tests/app/scratch_dir.h"

// Writes `pack` holding `entries` (name, content). The sources go to a subdirectory that
// is removed again, so only the pack is left beside the test's own files.
inline bool MakeTestPack(const ScratchDir& dir, const std::string& pack,
                         const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string src = "packsrc";
    platform::MakeDirectory((dir.path() + "/" + src).c_str());
    std::string list = src + "\r\n";
    for (const auto& entry : entries) {
        if (!dir.Write(src + "/" + entry.first, entry.second)) return false;
        list += entry.first + "\r\n";
    }
    if (!dir.Write("packlist.txt", list)) return false;
    // Every user of the pack library sets the root "." and the empty work path first; a
    // test run on its own would otherwise still have the initial root "C:".
    SetRootPath(".");
    SetWorkPath("\\");
    PakMake make;
    bool ok = make.Make("packlist.txt", pack.c_str(), kPakMethodStored) == 1;
    SetWorkPath("\\");
    ScratchDir::EmptyDirectory(dir.path() + "/" + src);
    platform::RemoveEmptyDirectory((dir.path() + "/" + src).c_str());
    platform::RemoveFile((dir.path() + "/packlist.txt").c_str());
    return ok;
}
