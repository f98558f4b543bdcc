// Creating the local file of a download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

// Creates (truncating) the file `path` for writing, creating the missing directories above
// it first. The invalid handle for a null or empty path or when creation fails.
platform::FileHandle CreateLocalFile(const char* path);
// Opens the existing file `path` for writing at byte `at` (what follows is overwritten). The
// invalid handle when it cannot be opened or positioned.
platform::FileHandle OpenLocalFileAt(const char* path, uint64_t at);
// The length of the file at `path`; 0 when there is none.
uint64_t LocalFileLength(const char* path);

// A temporary file, removed when the guard goes unless it was kept (moved onto its target,
// or handed on). Every temporary file of a download or a replacement has one, so no branch
// of a failure forgets it.
class TempFile {
public:
    explicit TempFile(std::string path = std::string()) : path_(std::move(path)) {}
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }
    bool empty() const { return path_.empty(); }
    // The file is no longer the guard's to remove.
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

// Makes a new empty temporary file in the folder of `path` (creating the missing folders
// first) under a name the system chose and no file had, so it can never be an installed
// file. Returns its path, or "" when none could be made. The caller removes it or moves it
// onto `path`.
std::string CreateTempFileBeside(const char* path);
// Whether `fileName` (no folder) has the form CreateTempFileBeside gives its files on any
// system: the tool's prefix, up to eight ASCII letters or digits, and optionally ".tmp"
// (letter case ignored). No installed file, pack or tool file has such a name.
bool IsTempFileName(const std::string& fileName);

// Removes the temporary files CreateTempFileBeside made below `root` that a run killed
// before it could finish left behind (a stopped run removes its own), except those whose
// file names (ASCII lower case) are in `keep`: the partial downloads kept for a later run.
// Walks at most kLeftoverSearchDepth folders deep. The number of files removed.
constexpr int kLeftoverSearchDepth = 8;
size_t RemoveTempFileLeftovers(const std::string& root, const std::set<std::string>& keep = {});

// Writes `size` bytes to a temporary file beside `path` and moves it onto `path` in one
// step, so a failed write leaves the old file whole. False on any failure (no temporary
// file is left behind).
bool ReplaceFileContent(const char* path, const void* data, size_t size);

// Reads the whole file at `path` (at most `maxBytes`). False when it cannot be opened, is
// larger, or a read comes up short.
bool ReadWholeLocalFile(const char* path, uint64_t maxBytes, std::vector<uint8_t>& out);
// Writes `size` bytes to a new file at `path` (directories created). False on any failure;
// a partial file is removed.
bool WriteWholeLocalFile(const char* path, const void* data, size_t size);
