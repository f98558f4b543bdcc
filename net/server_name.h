// Every rule for a name that comes from a server or a package (a record of an update list,
// a member of an offline package, a path a directory transfer is asked for, a folder a
// publication names): where on disk it may lead, and which of the installation's own files
// it may never take. Names are GBK and hostile.
#pragma once

#include <string>

// The installation's own members of its patch pack: the local manifest (also written as a
// loose file before each rebuild), and the number of the last signed publication applied (a
// publication must not lower it).
constexpr const char* kManifestName = "update.inf";
constexpr const char* kPublicationMember = "publication.num";
// The journal of the downloads kept for a later run, a loose file of the installation folder.
constexpr const char* kPartialJournalName = "update.partial";

enum class NameKind { kPackMember, kLooseFile };

enum class NameVerdict {
    kAccepted,
    kOutsideInstallation,  // it would lead out of the installation folder or to a device
    kInstallationsOwn,     // it would overwrite one of the installation's own files
};

// The verdict on `name` installed as `kind`: IsSafeRelativeName first, then
// IsReservedInstallName.
NameVerdict CheckServerName(const std::string& name, NameKind kind);

// True for a relative name that stays below the current directory: not empty, no leading
// '/' or '\', no drive letter or other ':', no ".." segment (nor a segment of dots and
// spaces that Windows would read as one), no segment that names a device. Separators are
// found double-byte aware (a GBK trail byte may be 0x5C; 0x80 and 0xFF lead nothing).
bool IsSafeRelativeName(const std::string& name);

// True for a path segment Windows opens as a device in any folder: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9, in any letter case, also with an extension
// ("lpt1.txt") or trailing dots and spaces ("con. ").
bool IsDeviceName(const std::string& segment);

// True when a record named `name` (any letter case) would overwrite one of the
// installation's own files: with `packKind`, an entry that takes the place of the pack's
// own members (the same id); otherwise a loose file that Windows would open in the
// installation folder as the manifest, the patch pack or its rebuild file, the tool, its
// copies and plug-in, the Unicode layer, an aside name of a replacement, the journal of
// kept downloads or a temporary file of the tool. Only the self-update and the offline package's own members write those.
bool IsReservedInstallName(const std::string& name, bool packKind);
