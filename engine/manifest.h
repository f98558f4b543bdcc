// Reading a manifest through a store into the engine's collections.
#pragma once

#include <cstdint>

#include "engine/manifest_record.h"
#include "engine/manifest_store.h"

// Loads `source` through `store` and reads its records. Exactly one output is given:
//  - `local`: every record keyed by name, a later one replacing an earlier one;
//  - `remote`: the records for the current platform (a remote path whose "$platform/"
//    segment names another platform is dropped), de-duplicated by name (the longer remote
//    path wins, the later one at equal length), in ascending byte order of name.
// Returns UPD_DONE, or UPD_E_DATA for an unreadable text.
int32_t ParseManifest(ManifestStore& store, const ManifestSource& source, LocalRecordSet* local,
                      RemoteRecordList* remote);
