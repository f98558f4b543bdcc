// POSIX stand-in for the Win32 calls of the platform layer, so the portable code and its
// tests run natively on Linux.
#include "platform/platform.h"
#include "platform/wine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <atomic>
#include <string>
#include <vector>

#include "common/gbk.h"

namespace platform {
namespace {

std::atomic<FileFaultHook> g_fileFaultHook{nullptr};

std::atomic<uint32_t> g_noSpaceFailures{0};

bool NoSpaceError(int error) { return error == ENOSPC || error == EDQUOT; }

bool FaultInjected(FileOp op, const char* path) {
    FileFaultHook hook = g_fileFaultHook.load();
    if (hook == nullptr || hook(op, path)) return false;
    // A refused write or flush stands for a full disk.
    if (op != FileOp::Replace) ++g_noSpaceFailures;
    return true;
}

// Windows paths use '\'; here both separators mean a directory boundary.
// '\' between directories becomes '/'; the second byte of a GBK character stays as it is.
std::string NativePath(const char* path) {
    std::string p = path ? path : "";
    for (size_t i = 0, step = 0; i < p.size(); i += step) {
        step = gbk::CharLength(p.data(), i, p.size());
        if (step == 1 && p[i] == '\\') p[i] = '/';
    }
    return p;
}

const char* CodePageName(unsigned codePage) {
    switch (codePage) {
        case kCodePageGbk: return "GBK";
        case kCodePageBig5: return "BIG5";
        default: return "UTF-8";
    }
}

int ToFd(FileHandle h) { return static_cast<int>(h); }

// The bits of message box flags that choose the buttons (MB_TYPEMASK).
constexpr unsigned kMbButtonsMask = 0x0000000F;
// Debugger output goes to stderr only when this environment variable is set.
constexpr const char kDebugOutputVariable[] = "KVO_DEBUG_OUTPUT";
// A GBK character takes at most this many bytes.
constexpr size_t kGbkMaxCharBytes = 2;

// The wide text in GBK, whole however long ("" for null): the terminal shows the bytes the
// program's own narrow texts had.
std::string ToGbk(const wchar_t* text) {
    if (text == nullptr) return std::string();
    std::vector<char> out(std::wcslen(text) * kGbkMaxCharBytes + 1);
    size_t n = WideToMultiByte(kCodePageGbk, text, out.data(), out.size());
    return std::string(out.data(), n);
}

}  // namespace

// --- Mutex -------------------------------------------------------------------------------
Mutex::Mutex() : impl_(new pthread_mutex_t) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    // Recursive, like a critical section.
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(static_cast<pthread_mutex_t*>(impl_), &attr);
    pthread_mutexattr_destroy(&attr);
}
Mutex::~Mutex() {
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(impl_));
    delete static_cast<pthread_mutex_t*>(impl_);
}
void Mutex::Lock() { pthread_mutex_lock(static_cast<pthread_mutex_t*>(impl_)); }
void Mutex::Unlock() { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(impl_)); }

// --- Messages ----------------------------------------------------------------------------
int MessageBoxWide(const wchar_t* text, const wchar_t* caption, unsigned flags) {
    std::fprintf(stderr, "[%s] %s\n", ToGbk(caption).c_str(), ToGbk(text).c_str());
    return (flags & kMbButtonsMask) == kMbYesNo ? kIdNo : kIdOk;
}

void DebugOutputWide(const wchar_t* text) {
    if (std::getenv(kDebugOutputVariable) != nullptr && text != nullptr) std::fputs(ToGbk(text).c_str(), stderr);
}

// --- Text --------------------------------------------------------------------------------
size_t MultiByteToWide(unsigned codePage, const char* in, wchar_t* out, size_t outCount) {
    if (outCount == 0) return 0;
    out[0] = L'\0';
    if (in == nullptr) return 0;
    iconv_t cd = iconv_open("WCHAR_T", CodePageName(codePage));
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char* src = const_cast<char*>(in);
    size_t srcLeft = std::strlen(in);
    char* dst = reinterpret_cast<char*>(out);
    size_t dstLeft = (outCount - 1) * sizeof(wchar_t);
    while (srcLeft > 0 && dstLeft >= sizeof(wchar_t)) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG || dstLeft < sizeof(wchar_t)) break;
        // An invalid or cut sequence: one byte becomes U+FFFD, as MultiByteToWideChar does.
        *reinterpret_cast<wchar_t*>(dst) = 0xFFFD;
        dst += sizeof(wchar_t);
        dstLeft -= sizeof(wchar_t);
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    size_t written = static_cast<size_t>(dst - reinterpret_cast<char*>(out)) / sizeof(wchar_t);
    out[written] = L'\0';
    return written;
}

size_t WideToMultiByte(unsigned codePage, const wchar_t* in, char* out, size_t outBytes) {
    if (outBytes == 0) return 0;
    out[0] = '\0';
    if (in == nullptr) return 0;
    iconv_t cd = iconv_open(CodePageName(codePage), "WCHAR_T");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char* src = reinterpret_cast<char*>(const_cast<wchar_t*>(in));
    size_t srcLeft = std::wcslen(in) * sizeof(wchar_t);
    char* dst = out;
    size_t dstLeft = outBytes - 1;
    while (srcLeft > 0 && dstLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) break;
        *dst++ = '?';  // WideCharToMultiByte's default character
        --dstLeft;
        src += sizeof(wchar_t);
        srcLeft -= sizeof(wchar_t);
    }
    iconv_close(cd);
    *dst = '\0';
    return static_cast<size_t>(dst - out);
}

unsigned SystemDefaultLanguage() {
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* name : names) {
        const char* v = std::getenv(name);
        if (v == nullptr || *v == '\0') continue;
        if (std::strncmp(v, "zh_CN", 5) == 0 || std::strncmp(v, "zh_SG", 5) == 0) return 0x0804;
        if (std::strncmp(v, "zh_TW", 5) == 0 || std::strncmp(v, "zh_HK", 5) == 0) return 0x0404;
        return 0x0409;
    }
    return 0x0409;
}

size_t MapToTraditional(const wchar_t* in, size_t count, wchar_t* out, size_t outCount) {
    size_t n = count < outCount ? count : outCount;
    std::memcpy(out, in, n * sizeof(wchar_t));
    return n;
}

// --- Files -------------------------------------------------------------------------------
FileHandle OpenFileForRead(const char* path) {
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kInvalidFile;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return kInvalidFile;
    }
    return fd;
}

FileHandle OpenFileForWrite(const char* path) {
    std::string p = NativePath(path);
    SetFileAttributesNormal(path);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle OpenFileReadExclusive(const char* path, bool* missing) {
    // POSIX has no share modes: an existing readable file opens.
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (missing != nullptr) *missing = fd < 0 && errno == ENOENT;
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle OpenFileExclusive(const char* path) {
    // POSIX has no share modes; an existing writable file counts as free.
    int fd = ::open(NativePath(path).c_str(), O_RDWR | O_CLOEXEC);
    return fd < 0 ? kInvalidFile : fd;
}

void CloseFile(FileHandle h) {
    if (h != kInvalidFile) ::close(ToFd(h));
}

uint32_t ReadFromFile(FileHandle h, void* buffer, uint32_t count) {
    if (h == kInvalidFile) return 0;
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::read(ToFd(h), static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

uint32_t WriteToFile(FileHandle h, const void* buffer, uint32_t count) {
    if (h == kInvalidFile || FaultInjected(FileOp::Write, nullptr)) return 0;
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(ToFd(h), static_cast<const char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && NoSpaceError(errno)) ++g_noSpaceFailures;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

int64_t SeekFile(FileHandle h, int64_t offset, SeekOrigin origin) {
    if (h == kInvalidFile) return -1;
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(ToFd(h), static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t FileSize(FileHandle h) {
    struct stat st;
    if (h == kInvalidFile || fstat(ToFd(h), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool FlushFile(FileHandle h) {
    if (h == kInvalidFile || FaultInjected(FileOp::Flush, nullptr)) return false;
    if (::fsync(ToFd(h)) == 0) return true;
    if (NoSpaceError(errno)) ++g_noSpaceFailures;
    return false;
}

uint32_t NoSpaceFailures() { return g_noSpaceFailures.load(); }

bool FileExists(const char* path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const char* path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const char* path) { return ::unlink(NativePath(path).c_str()) == 0; }

bool SetFileAttributesNormal(const char* path) {
    std::string p = NativePath(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return false;
    return ::chmod(p.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool SetFileReadOnly(const char* path) {
    std::string p = NativePath(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return false;
    return ::chmod(p.c_str(), (st.st_mode & 07777) & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool IsFileReadOnly(const char* path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

bool CopyFileTo(const char* from, const char* to, bool failIfExists) {
    if (failIfExists && FileExists(to)) return false;
    FileHandle in = OpenFileForRead(from);
    if (in == kInvalidFile) return false;
    FileHandle out = OpenFileForWrite(to);
    bool ok = out != kInvalidFile;
    std::vector<char> buf(1 << 16);
    while (ok) {
        uint32_t n = ReadFromFile(in, buf.data(), static_cast<uint32_t>(buf.size()));
        if (n == 0) break;
        ok = WriteToFile(out, buf.data(), n) == n;
    }
    CloseFile(in);
    CloseFile(out);
    return ok;
}

bool RenameFile(const char* from, const char* to) {
    if (FileExists(to) || DirectoryExists(to)) return false;
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool ReplaceFileAtomic(const char* from, const char* to) {
    if (FaultInjected(FileOp::Replace, to)) return false;
    std::string dst = NativePath(to);
    if (::rename(NativePath(from).c_str(), dst.c_str()) != 0) return false;
    // Make the rename itself durable.
    std::string dir = dst.find('/') == std::string::npos ? "." : dst.substr(0, dst.rfind('/') + 1);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

bool RemoveEmptyDirectory(const char* path) { return ::rmdir(NativePath(path).c_str()) == 0; }

bool MakeDirectory(const char* path) {
    std::string p = NativePath(path);
    return ::mkdir(p.c_str(), 0755) == 0 || DirectoryExists(path);
}

bool CreateParentDirectories(const char* path) {
    std::string p = NativePath(path);
    for (size_t i = 0, step = 0; i < p.size(); i += step) {
        step = gbk::CharLength(p.data(), i, p.size());
        if (step != 1 || i == 0 || p[i] != '/') continue;
        std::string dir = p.substr(0, i);
        if (!MakeDirectory(dir.c_str())) return false;
    }
    return true;
}

std::string CurrentDirectory() {
    std::vector<char> buf(4096);
    if (::getcwd(buf.data(), buf.size()) == nullptr) return std::string();
    return std::string(buf.data());
}

bool ChangeDirectory(const char* path) { return ::chdir(NativePath(path).c_str()) == 0; }

std::string CreateUniqueFile(const char* directory, const char* prefix) {
    const std::string dir = directory != nullptr && *directory != '\0' ? directory : ".";
    std::string pattern = NativePath((dir + "/" + (prefix != nullptr ? prefix : "") + "XXXXXX").c_str());
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) return std::string();
    // mkstemp makes the file private; it becomes an installed file, so give it the mode
    // OpenFileForWrite gives new files.
    ::fchmod(fd, 0644);
    ::close(fd);
    const std::string made(buffer.data());
    return dir + "/" + made.substr(made.rfind('/') + 1);
}

std::string UniqueFilePattern(const char* prefix) {
    return std::string(prefix != nullptr ? prefix : "") + "??????";  // mkstemp's six characters
}

int64_t FreeDiskBytes(const char* path) {
    struct statvfs volume;
    if (path == nullptr || ::statvfs(path, &volume) != 0) return -1;
    const unsigned long long bytes = static_cast<unsigned long long>(volume.f_bavail) * volume.f_frsize;
    return bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
}

std::string TempDirectory() {
    const char* env = std::getenv("TMPDIR");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// FindFirstFileA's matching: '*' any run, '?' one character, case ignored; a pattern
// ending in ".*" also matches a name that has no dot there.
bool WildcardMatch(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (pattern[0] == '.' && pattern[1] == '*' && pattern[2] == '\0' && *name == '\0') return true;
    if (*pattern == '*') {
        for (const char* n = name;; ++n) {
            if (WildcardMatch(pattern + 1, n)) return true;
            if (*n == '\0') return false;
        }
    }
    if (*name == '\0') return false;
    if (*pattern != '?' && FoldCase(*pattern) != FoldCase(*name)) return false;
    return WildcardMatch(pattern + 1, name + 1);
}

}  // namespace

std::vector<std::string> FindFiles(const char* directory, const char* pattern) {
    std::vector<std::string> names;
    std::string dir = NativePath(directory);
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* entry = ::readdir(d)) {
        struct stat st;
        std::string full = dir + "/" + entry->d_name;
        if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (WildcardMatch(pattern, entry->d_name)) names.push_back(entry->d_name);
    }
    ::closedir(d);
    return names;
}

std::vector<std::string> FindSubdirectories(const char* directory) {
    std::vector<std::string> names;
    std::string dir = NativePath(directory);
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (name == "." || name == ".." || ::stat((dir + "/" + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) names.push_back(name);
    }
    ::closedir(d);
    return names;
}

std::string GetModulePath() {
    std::vector<char> buf(4096);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
}

// --- Time --------------------------------------------------------------------------------
void SleepMs(uint32_t ms) {
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

uint32_t TickCountMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000ULL);
}

FileFaultHook SetFileFaultHook(FileFaultHook hook) { return g_fileFaultHook.exchange(hook); }

// --- The system underneath -------------------------------------------------------------
bool RunningUnderWine() { return false; }

}  // namespace platform
