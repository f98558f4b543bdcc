// What the delta tests make alike: a patch between two contents, and its entry in a list.
#pragma once

#include <string>

#include "engine/delta_list.h"

namespace deltatest {

// The patch turning `from` into `to` (the test fails where none can be made).
std::string MakePatch(const std::string& from, const std::string& to);

// The list entry of file `name` for the patch `listed`, lying at `patchPath`, that turns
// `from` into `to`.
DeltaEntry PatchEntry(const std::string& name, const std::string& from, const std::string& to,
                      const std::string& listed, const std::string& patchPath);

}  // namespace deltatest
