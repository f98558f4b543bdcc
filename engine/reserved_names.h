// Names a publication may not install because they are the installation's own files: the
// local manifest and the applied publication number inside the patch pack, and the
// manifest file, the patch pack and the pack's rebuild file in the installation folder.
// The engine refuses such records; the publishing tools refuse to publish them.
#pragma once

#include <string>

// True when a record named `name` (as a manifest names it, any letter case) would
// overwrite one of the installation's own files: with `packKind`, an entry that takes the
// place of the pack's "update.inf" or "publication.num" (the same id); otherwise a loose file that Windows
// would open as "update.inf", "patch.dat" or "patch.dattmp" in the installation folder.
bool IsReservedInstallName(const std::string& name, bool packKind);
