// Checks a publication (the files of a game folder about to be published or packaged)
// against what an installation and a package need to stay whole: no file may land on the
// installation's own files, and every name must have an id of its own, because packs find
// their members by id, not by name.
#pragma once

#include <string>
#include <vector>

#include "tools/paktool/publish_util.h"

// Refuses (printing the one error line, kExitUsage) a publication where
//  - a file would overwrite one of the installation's own files,
//  - a file is named like one of `ownMembers`, the members the container itself carries,
//  - two files, or a file and one of `ownMembers` or of patch.dat's own members, have one id.
// `unpack` lists the names that install as loose files. Returns kExitOk otherwise.
int CheckPublication(const std::vector<GameFile>& files, const std::vector<std::string>& unpack,
                     const std::vector<const char*>& ownMembers);

// Refuses (kExitUsage, naming it) a file for the pack whose whole content is the pack's
// delete marker: an installation would remove that file instead of storing it. Files listed
// in `unpack` travel as loose files and are not read that way.
int CheckNoDeleteMarkers(const std::vector<GameFile>& files, const std::vector<std::string>& unpack);
