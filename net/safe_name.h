// Names that come from manifests and packages are hostile: a name may only address a file
// inside the installation directory.
#pragma once

#include <string>

// True for a relative name that stays below the current directory: not empty, no leading
// '/' or '\', no drive letter or other ':', no ".." segment (nor a segment of dots and
// spaces that Windows would read as one). Separators are found double-byte aware (a GBK
// trail byte may be 0x5C).
bool IsSafeRelativeName(const std::string& name);
