// The operating-system layer. Every call into Win32 (or its POSIX stand-in) goes through
// this header, so the portable subsystems never include <windows.h>.
// One implementation per OS: platform_win32.cpp and platform_posix.cpp.
//
// Texts are the program's own 8-bit GBK strings unless a function says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------------------
// Locks. A CRITICAL_SECTION on Windows, a recursive pthread mutex elsewhere.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void Lock();
    void Unlock();

private:
    void* impl_;
};

class MutexLock {
public:
    explicit MutexLock(Mutex& m) : m_(m) { m_.Lock(); }
    ~MutexLock() { m_.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_;
};

// ---------------------------------------------------------------------------------------
// Message boxes and debugger output. The program's GBK texts reach them through
// text/message_box.h.
// Flag and result values are Win32's, so callers can pass MB_* values through unchanged.
constexpr unsigned kMbOk = 0x00000000;
constexpr unsigned kMbYesNo = 0x00000004;
constexpr unsigned kMbIconError = 0x00000010;
constexpr unsigned kMbIconQuestion = 0x00000020;
constexpr unsigned kMbIconWarning = 0x00000030;
constexpr unsigned kMbIconInformation = 0x00000040;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Shows a message box with no owner window (MessageBoxW); a null caption gives the system's
// own. On POSIX the box is the line "[caption] text" on stderr in GBK, and the answer is
// kIdNo for kMbYesNo boxes, kIdOk for the others.
int MessageBoxWide(const wchar_t* text, const wchar_t* caption, unsigned flags);

// OutputDebugStringW; on POSIX the text goes to stderr in GBK, only when KVO_DEBUG_OUTPUT is
// set. A null text writes nothing.
void DebugOutputWide(const wchar_t* text);

// ---------------------------------------------------------------------------------------
// Text conversion primitives used by text/text_convert.
constexpr unsigned kCodePageGbk = 936;
constexpr unsigned kCodePageBig5 = 950;
constexpr unsigned kLangChineseSimplified = 0x0804;

// Converts a NUL-terminated multi-byte text of `codePage` into `out` (capacity `outCount`
// wide characters, always NUL-terminated when outCount > 0). Returns the characters written
// without the terminator; a text that does not fit is cut at the capacity.
size_t MultiByteToWide(unsigned codePage, const char* in, wchar_t* out, size_t outCount);
// The reverse; `outBytes` is a byte capacity. Unmappable characters become '?'.
size_t WideToMultiByte(unsigned codePage, const wchar_t* in, char* out, size_t outBytes);
// The system default language id (GetSystemDefaultLangID); POSIX derives it from LC_ALL /
// LC_CTYPE / LANG: zh_CN gives 0x0804, zh_TW 0x0404, anything else 0x0409.
unsigned SystemDefaultLanguage();
// LCMapStringW(0x0804, LCMAP_TRADITIONAL_CHINESE) over `count` characters of `in` into
// `out`; returns the characters written (0 on failure; POSIX copies unchanged).
size_t MapToTraditional(const wchar_t* in, size_t count, wchar_t* out, size_t outCount);

// ---------------------------------------------------------------------------------------
// Files. Paths are GBK; on POSIX both '\' and '/' separate directories.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// CreateFileA(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).
FileHandle OpenFileForRead(const char* path);
// SetFileAttributesA(NORMAL) then CreateFileA(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS).
FileHandle OpenFileForWrite(const char* path);
// CreateFileA(GENERIC_READ|GENERIC_WRITE, no sharing, OPEN_EXISTING): used to ask whether a
// file is held open by another process.
FileHandle OpenFileExclusive(const char* path);
// CreateFileA(GENERIC_READ, no sharing, OPEN_EXISTING): fails while another handle to the
// file is open (a running executable, say). `missing`, when given, tells whether the open
// failed because the file does not exist.
FileHandle OpenFileReadExclusive(const char* path, bool* missing);
void CloseFile(FileHandle h);
// Owns a handle and closes it when it goes out of scope (or at Close). The one owner of a
// file handle everywhere.
class OwnedFile {
public:
    explicit OwnedFile(FileHandle h = kInvalidFile) : h_(h) {}
    ~OwnedFile() { Close(); }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;
    FileHandle get() const { return h_; }
    bool valid() const { return h_ != kInvalidFile; }
    void Close() {
        if (h_ != kInvalidFile) CloseFile(h_);
        h_ = kInvalidFile;
    }
    // Gives the handle up without closing it.
    FileHandle Release() {
        const FileHandle h = h_;
        h_ = kInvalidFile;
        return h;
    }

private:
    FileHandle h_;
};
// Both return the bytes transferred (0 on failure or for an invalid handle).
uint32_t ReadFromFile(FileHandle h, void* buffer, uint32_t count);
uint32_t WriteToFile(FileHandle h, const void* buffer, uint32_t count);
// How many writes or flushes of this process failed for lack of room on the volume (a full
// disk, a used-up quota), whichever thread made them. A caller compares two readings to learn
// whether its work met a full disk.
uint32_t NoSpaceFailures();
// Returns the new position, or -1 on failure.
int64_t SeekFile(FileHandle h, int64_t offset, SeekOrigin origin);
// Returns the size, or -1 on failure.
int64_t FileSize(FileHandle h);
// FlushFileBuffers / fsync.
bool FlushFile(FileHandle h);

bool FileExists(const char* path);
bool DirectoryExists(const char* path);
bool RemoveFile(const char* path);
bool SetFileAttributesNormal(const char* path);
bool SetFileReadOnly(const char* path);
bool IsFileReadOnly(const char* path);
bool CopyFileTo(const char* from, const char* to, bool failIfExists);
// Renames without replacing (MoveFileA).
bool RenameFile(const char* from, const char* to);
// Replaces `to` by `from` in one step, never leaving `to` missing: flushed data and
// MoveFileExA(REPLACE_EXISTING | WRITE_THROUGH) on Windows, rename(2) + directory fsync
// on POSIX.
bool ReplaceFileAtomic(const char* from, const char* to);
// Creates one directory level; true when it exists afterwards.
bool MakeDirectory(const char* path);
// Removes a directory that holds nothing (RemoveDirectoryA / rmdir).
bool RemoveEmptyDirectory(const char* path);
// Creates every missing directory level above the file `path` names.
bool CreateParentDirectories(const char* path);

std::string CurrentDirectory();
bool ChangeDirectory(const char* path);
// The directory and file name of the running executable.
std::string GetModulePath();
// Creates a new, empty file whose name no file in `directory` had ("" for the current
// directory): GetTempFileNameA with `prefix` (at most three characters) on Windows,
// mkstemp on POSIX. Returns its path (the directory, a separator and the new name), or ""
// when no file could be made (a missing directory, say). Never opens an existing file.
std::string CreateUniqueFile(const char* directory, const char* prefix);
// The FindFiles pattern of the names CreateUniqueFile makes with `prefix` ("kvu*.tmp" as
// the system names them; "kvu??????" on POSIX).
std::string UniqueFilePattern(const char* prefix);
// The system's directory for temporary files (GetTempPathA; TMPDIR or /tmp on POSIX),
// without a trailing separator. Empty on failure.
std::string TempDirectory();
// Bytes the current user may still write on the volume holding `path`; -1 when unknown.
int64_t FreeDiskBytes(const char* path);
// Names of the files (not directories) in `directory` matching `pattern` as FindFirstFileA
// matches it: '*' and '?' wildcards, letter case ignored, "*.*" also matching names
// without a dot.
std::vector<std::string> FindFiles(const char* directory, const char* pattern);
// Names of the subdirectories of `directory`, without "." and "..".
std::vector<std::string> FindSubdirectories(const char* directory);

// ---------------------------------------------------------------------------------------
// Time.
void SleepMs(uint32_t ms);
// Milliseconds since an arbitrary start (timeGetTime).
uint32_t TickCountMs();

// ---------------------------------------------------------------------------------------
// Fault injection for crash-safety tests: when set, every WriteToFile, FlushFile and
// ReplaceFileAtomic first asks the hook, which may make the call fail (return false) as a full
// disk or a failed rename would (a refused write or flush counts in NoSpaceFailures). nullptr
// (the default) turns it off.
enum class FileOp { Write, Flush, Replace };
using FileFaultHook = bool (*)(FileOp op, const char* pathOrNull);
FileFaultHook SetFileFaultHook(FileFaultHook hook);

}  // namespace platform
