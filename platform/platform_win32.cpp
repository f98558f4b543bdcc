// Win32 implementation of the platform layer.
#include "platform/platform.h"
#include "platform/wine.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "common/gbk.h"

namespace platform {
namespace {

std::atomic<FileFaultHook> g_fileFaultHook{nullptr};

std::atomic<uint32_t> g_noSpaceFailures{0};

// Notes a failed write or flush that failed for lack of room.
void NoteIfNoSpace() {
    const DWORD error = ::GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) ++g_noSpaceFailures;
}

bool FaultInjected(FileOp op, const char* path) {
    FileFaultHook hook = g_fileFaultHook.load();
    if (hook == nullptr || hook(op, path)) return false;
    // A refused write or flush stands for a full disk.
    if (op != FileOp::Replace) ++g_noSpaceFailures;
    return true;
}

HANDLE ToHandle(FileHandle h) { return reinterpret_cast<HANDLE>(h); }
FileHandle FromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

}  // namespace

// --- Mutex -------------------------------------------------------------------------------
Mutex::Mutex() : impl_(new CRITICAL_SECTION) {
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(impl_));
}
Mutex::~Mutex() {
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(impl_));
    delete static_cast<CRITICAL_SECTION*>(impl_);
}
void Mutex::Lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }
void Mutex::Unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }

// --- Messages ----------------------------------------------------------------------------
int MessageBoxWide(const wchar_t* text, const wchar_t* caption, unsigned flags) {
    // No owner window (nullptr): boxes raised here belong to no dialog. A null caption gives
    // the system's own ("Error").
    return ::MessageBoxW(nullptr, text, caption, flags);
}

void DebugOutputWide(const wchar_t* text) {
    // Wide, like every text of ours: the ANSI call would read GBK in the system's code page.
    if (text != nullptr) ::OutputDebugStringW(text);
}

// --- Text --------------------------------------------------------------------------------
size_t MultiByteToWide(unsigned codePage, const char* in, wchar_t* out, size_t outCount) {
    if (outCount == 0) return 0;
    out[0] = L'\0';
    if (in == nullptr || *in == '\0') return 0;
    // Flags 0: invalid bytes become U+FFFD; -1: the input is NUL-terminated.
    int n = ::MultiByteToWideChar(codePage, 0, in, -1, out, static_cast<int>(outCount));
    if (n == 0) {
        // Too long: convert as much as fits. Any other failure (a code page the system
        // lacks) leaves the empty text.
        int need = ::MultiByteToWideChar(codePage, 0, in, -1, nullptr, 0);
        if (need <= 0) return 0;
        std::vector<wchar_t> all(static_cast<size_t>(need));
        ::MultiByteToWideChar(codePage, 0, in, -1, all.data(), need);
        size_t keep = std::min(outCount - 1, static_cast<size_t>(need) - 1);
        for (size_t i = 0; i < keep; ++i) out[i] = all[i];
        out[keep] = L'\0';
        return keep;
    }
    return static_cast<size_t>(n - 1);
}

size_t WideToMultiByte(unsigned codePage, const wchar_t* in, char* out, size_t outBytes) {
    if (outBytes == 0) return 0;
    out[0] = '\0';
    if (in == nullptr || *in == L'\0') return 0;
    // Flags 0 and null default-character arguments: unmappable characters become '?'.
    int n = ::WideCharToMultiByte(codePage, 0, in, -1, out, static_cast<int>(outBytes), nullptr, nullptr);
    if (n == 0) {
        int need = ::WideCharToMultiByte(codePage, 0, in, -1, nullptr, 0, nullptr, nullptr);
        std::vector<char> all(need > 0 ? need : 1);
        ::WideCharToMultiByte(codePage, 0, in, -1, all.data(), need, nullptr, nullptr);
        // Cut on a character boundary: never leave half of a double-byte character.
        size_t keep = 0;
        while (keep < all.size() && all[keep] != '\0') {
            size_t len = ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(all[keep])) ? 2 : 1;
            if (keep + len > outBytes - 1) break;
            keep += len;
        }
        std::copy(all.begin(), all.begin() + keep, out);
        out[keep] = '\0';
        return keep;
    }
    return static_cast<size_t>(n - 1);
}

unsigned SystemDefaultLanguage() { return ::GetSystemDefaultLangID(); }

size_t MapToTraditional(const wchar_t* in, size_t count, wchar_t* out, size_t outCount) {
    int n = ::LCMapStringW(MAKELCID(kLangChineseSimplified, SORT_DEFAULT), LCMAP_TRADITIONAL_CHINESE, in,
                           static_cast<int>(count), out, static_cast<int>(outCount));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

// --- Files -------------------------------------------------------------------------------
FileHandle OpenFileForRead(const char* path) {
    // No security attributes, no template file.
    return FromHandle(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle OpenFileForWrite(const char* path) {
    ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return FromHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle OpenFileReadExclusive(const char* path, bool* missing) {
    // Share mode 0: fails while any other handle to the file is open; no security
    // attributes, no template file.
    HANDLE h = ::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (missing != nullptr) *missing = h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return FromHandle(h);
}

FileHandle OpenFileExclusive(const char* path) {
    // Share mode 0: fails while any other handle to the file is open.
    return FromHandle(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

void CloseFile(FileHandle h) {
    if (h != kInvalidFile) ::CloseHandle(ToHandle(h));
}

uint32_t ReadFromFile(FileHandle h, void* buffer, uint32_t count) {
    if (h == kInvalidFile) return 0;
    DWORD got = 0;
    // No OVERLAPPED: synchronous read.
    if (!::ReadFile(ToHandle(h), buffer, count, &got, nullptr)) return 0;
    return got;
}

uint32_t WriteToFile(FileHandle h, const void* buffer, uint32_t count) {
    if (h == kInvalidFile || FaultInjected(FileOp::Write, nullptr)) return 0;
    DWORD put = 0;
    if (!::WriteFile(ToHandle(h), buffer, count, &put, nullptr)) {
        NoteIfNoSpace();
        return 0;
    }
    return put;
}

int64_t SeekFile(FileHandle h, int64_t offset, SeekOrigin origin) {
    if (h == kInvalidFile) return -1;
    LARGE_INTEGER dist;
    dist.QuadPart = offset;
    LARGE_INTEGER pos;
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    if (!::SetFilePointerEx(ToHandle(h), dist, &pos, method)) return -1;
    return pos.QuadPart;
}

int64_t FileSize(FileHandle h) {
    LARGE_INTEGER size;
    if (h == kInvalidFile || !::GetFileSizeEx(ToHandle(h), &size)) return -1;
    return size.QuadPart;
}

bool FlushFile(FileHandle h) {
    if (h == kInvalidFile || FaultInjected(FileOp::Flush, nullptr)) return false;
    if (::FlushFileBuffers(ToHandle(h))) return true;
    NoteIfNoSpace();
    return false;
}

uint32_t NoSpaceFailures() { return g_noSpaceFailures.load(); }

bool FileExists(const char* path) {
    DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const char* path) {
    DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool RemoveFile(const char* path) { return ::DeleteFileA(path) != 0; }

bool SetFileAttributesNormal(const char* path) { return ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != 0; }

bool SetFileReadOnly(const char* path) { return ::SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY) != 0; }

bool IsFileReadOnly(const char* path) {
    DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
}

bool CopyFileTo(const char* from, const char* to, bool failIfExists) {
    return ::CopyFileA(from, to, failIfExists ? TRUE : FALSE) != 0;
}

bool RenameFile(const char* from, const char* to) { return ::MoveFileA(from, to) != 0; }

bool ReplaceFileAtomic(const char* from, const char* to) {
    if (FaultInjected(FileOp::Replace, to)) return false;
    // REPLACE_EXISTING: the target is swapped in one step; WRITE_THROUGH: return only once
    // the move is on disk.
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveEmptyDirectory(const char* path) { return ::RemoveDirectoryA(path) != 0; }

bool MakeDirectory(const char* path) {
    // No security attributes.
    return ::CreateDirectoryA(path, nullptr) != 0 || DirectoryExists(path);
}

bool CreateParentDirectories(const char* path) {
    std::string p = path ? path : "";
    // Split only at separators outside double-byte characters: the second byte of 淺 is '\'.
    for (size_t i = 0, step = 0; i < p.size(); i += step) {
        step = gbk::CharLength(p.data(), i, p.size());
        if (step != 1 || i == 0 || !gbk::IsPathSeparator(p[i])) continue;
        if (i == 2 && p[1] == ':') continue;  // "C:\" is no directory to create
        std::string dir = p.substr(0, i);
        if (!MakeDirectory(dir.c_str())) return false;
    }
    return true;
}

std::string CurrentDirectory() {
    char buf[MAX_PATH + 1] = {0};
    DWORD n = ::GetCurrentDirectoryA(sizeof(buf), buf);
    return n > 0 && n < sizeof(buf) ? std::string(buf, n) : std::string();
}

bool ChangeDirectory(const char* path) { return ::SetCurrentDirectoryA(path) != 0; }

std::string GetModulePath() {
    char buf[MAX_PATH + 1] = {0};
    // Null module: the executable of this process.
    DWORD n = ::GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

std::string CreateUniqueFile(const char* directory, const char* prefix) {
    const char* dir = directory != nullptr && *directory != '\0' ? directory : ".";
    char path[MAX_PATH] = {0};
    // uUnique 0: the system chooses the number and creates the file, moving on to another
    // number while a name is taken, so an existing file is never reused.
    if (::GetTempFileNameA(dir, prefix, 0, path) == 0) return std::string();
    return path;
}

std::string UniqueFilePattern(const char* prefix) {
    // GetTempFileNameA: the prefix's first three characters, hexadecimal digits, ".tmp".
    return std::string(prefix != nullptr ? prefix : "").substr(0, 3) + "*.tmp";
}

int64_t FreeDiskBytes(const char* path) {
    ULARGE_INTEGER available = {};
    // Only what the caller may use (quotas included); the totals are not asked for (null).
    if (path == nullptr || !::GetDiskFreeSpaceExA(path, &available, nullptr, nullptr)) return -1;
    return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(available.QuadPart);
}

std::string TempDirectory() {
    char buf[MAX_PATH + 1] = {0};
    DWORD n = ::GetTempPathA(sizeof(buf), buf);
    if (n == 0 || n >= sizeof(buf)) return std::string();
    std::string dir(buf, n);
    while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

namespace {

// Closes a FindFirstFileA search.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

std::vector<std::string> FindFiles(const char* directory, const char* pattern) {
    std::vector<std::string> names;
    std::string query = std::string(directory ? directory : "") + "\\" + (pattern ? pattern : "");
    WIN32_FIND_DATAA found;
    FindHandle search(::FindFirstFileA(query.c_str(), &found));
    if (search.get() == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
    } while (::FindNextFileA(search.get(), &found));
    return names;
}

std::vector<std::string> FindSubdirectories(const char* directory) {
    std::vector<std::string> names;
    std::string query = std::string(directory ? directory : "") + "\\*";
    WIN32_FIND_DATAA found;
    FindHandle search(::FindFirstFileA(query.c_str(), &found));
    if (search.get() == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != "." && name != "..") {
            names.push_back(name);
        }
    } while (::FindNextFileA(search.get(), &found));
    return names;
}

// --- Time --------------------------------------------------------------------------------
void SleepMs(uint32_t ms) { ::Sleep(ms); }

uint32_t TickCountMs() { return ::timeGetTime(); }

FileFaultHook SetFileFaultHook(FileFaultHook hook) { return g_fileFaultHook.exchange(hook); }

// --- The system underneath -------------------------------------------------------------
bool RunningUnderWine() {
    // ntdll is in every process: the handle needs no reference of its own.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace platform
