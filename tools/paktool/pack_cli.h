// Helpers of paktool's pack commands: the library's path settings for the current
// directory, member names as the reader looks them up, the library's own messages turned
// into the command's error line, and opening a pack with a clear error.
#pragma once

#include <functional>
#include <string>
#include <vector>

class PakArchive;
class PakList;
class PakUpdater;

// Root "." and work path "\" (files relative to the current directory), open mode 0.
void UseCurrentDirectoryPaths();

// `name` as the reader looks it up: a leading '\' dropped, every other '\' turned into '/'.
// (Folding happens inside the library.)
std::string PackMemberName(const char* name);

// Collects the pack library's log lines, message boxes and status lines while alive, so a
// command can name them in its single error line instead of letting them reach the console.
class LibraryMessages {
public:
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;
    // The last message box or status line, else the last log line, else `fallback`.
    std::string Reason(const char* fallback) const;
    // Every status line, in order.
    const std::vector<std::string>& StatusLines() const;
};

// Opens `path` as a pack: kExitOk, or prints the error line and returns its exit code
// (kExitFileError for a file that cannot be opened, kExitFailed for one that is no pack).
int OpenPackArchive(PakArchive& archive, const char* path);
// The same, opening `path` as the only pack of `list`.
int OpenPackInList(PakList& list, const char* path);

// Opens `packPath` for a rebuild, lets `queue` queue the changes (returning false with the
// error line already printed, or its exit code through `queueResult`), and rebuilds.
// Returns kExitOk, or prints the error line and returns its exit code.
int QueueAndRebuild(const char* packPath, const std::function<int(PakUpdater&)>& queue);
