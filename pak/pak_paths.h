// Process-wide path settings of the pack library: the root path, the work path and the
// pack open mode, and the two names derived from a requested file name (the lookup name
// inside packs and the path on disk).
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kPakRootPathMax = 260;    // bytes of the root path
constexpr size_t kPakWorkPathMax = 260;    // bytes of the work path
constexpr size_t kPakLookupNameMax = 255;  // bytes of a lookup name
constexpr size_t kPakDiskPathMax = 259;    // bytes of a disk path

// Where PakFile::Open looks for a file.
enum PakOpenMode : int {
    kPakOpenDiskFirst = 0,  // installation directory, then the packs
    kPakOpenPacksFirst = 1,  // the packs, then the installation directory
    kPakOpenDiskOnly = 2,
    kPakOpenPacksOnly = 3,
};

// Null takes the current directory; a trailing '\' is removed. A path longer than
// kPakRootPathMax bytes is refused and the old root path stays.
void SetRootPath(const char* path);
// Copies `path` without a leading '\' and appends '\' to a non-empty copy that lacks one.
// Returns the new length, or -1 (old work path kept) when the result would exceed
// kPakWorkPathMax bytes.
int SetWorkPath(const char* path);
// 0..3 as PakOpenMode; any other value makes every PakFile::Open fail.
void SetPakOpenMode(int mode);

const char* GetRootPath();
const char* GetWorkPath();
int GetPakOpenMode();

// The folded name under which `name` is looked up in a pack: `name` without its leading
// '\', or the work path followed by `name`. False when it exceeds kPakLookupNameMax.
bool MakePakLookupName(const char* name, std::string& out);

// The disk path of `name`: the name itself when it is a full path; root + name when it
// starts with '\'; work path + name when the work path is a full path; otherwise root + "\"
// + work path + name. A full path is drive-qualified ("C:..."), or on POSIX absolute
// ("/..."), for the name and the work path alike. False when it exceeds kPakDiskPathMax.
bool MakePakDiskPath(const char* name, std::string& out);
