// Names that come from manifests and packages are hostile: a name may only address a file
// inside the installation directory.
#pragma once

#include <string>

// True for a relative name that stays below the current directory: not empty, no leading
// '/' or '\', no drive letter or other ':', no ".." segment (nor a segment of dots and
// spaces that Windows would read as one), no segment that names a device. Separators are
// found double-byte aware (a GBK trail byte may be 0x5C; 0x80 and 0xFF lead nothing).
bool IsSafeRelativeName(const std::string& name);

// True for a path segment Windows opens as a device in any folder: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9, in any letter case, also with an extension
// ("lpt1.txt") or trailing dots and spaces ("con. ").
bool IsDeviceName(const std::string& segment);
