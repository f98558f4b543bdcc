#include "net/local_file.h"

#include <limits>
#include <string>

#include "common/gbk.h"

namespace {

// Prefix of the temporary files made beside installed files.
constexpr const char* kTempPrefix = "kvu";
// What follows the prefix: the system's unique part ("1A2B" on Windows, six characters on
// POSIX), then Windows' suffix.
constexpr size_t kTempUniqueMaxChars = 8;
constexpr const char* kTempSuffix = ".tmp";

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsFolded(const std::string& text, size_t at, const char* word) {
    const size_t length = std::char_traits<char>::length(word);
    if (text.size() < at + length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (FoldAscii(text[at + i]) != word[i]) return false;
    }
    return true;
}

bool IsAsciiLetterOrDigit(char c) { return (c >= '0' && c <= '9') || (FoldAscii(c) >= 'a' && FoldAscii(c) <= 'z'); }

}  // namespace

platform::FileHandle CreateLocalFile(const char* path) {
    if (path == nullptr || *path == '\0') return platform::kInvalidFile;
    // A directory that cannot be made is not an error here: the file creation decides.
    platform::CreateParentDirectories(path);
    return platform::OpenFileForWrite(path);
}

platform::FileHandle OpenLocalFileAt(const char* path, uint64_t at) {
    platform::OwnedFile file(platform::OpenFileExclusive(path));
    if (!file.valid() || platform::SeekFile(file.get(), static_cast<int64_t>(at), platform::SeekOrigin::Begin) < 0) {
        return platform::kInvalidFile;
    }
    const platform::FileHandle handle = file.get();
    file.Release();
    return handle;
}

uint64_t LocalFileLength(const char* path) {
    const platform::OwnedFile file(platform::OpenFileForRead(path));
    const int64_t size = file.valid() ? platform::FileSize(file.get()) : -1;
    return size > 0 ? static_cast<uint64_t>(size) : 0;
}

bool ReadWholeLocalFile(const char* path, uint64_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    platform::OwnedFile file(platform::OpenFileForRead(path));
    if (!file.valid()) return false;
    const int64_t size = platform::FileSize(file.get());
    if (size < 0 || static_cast<uint64_t>(size) > maxBytes ||
        static_cast<uint64_t>(size) > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    out.resize(static_cast<size_t>(size));
    if (size == 0) return true;
    return platform::ReadFromFile(file.get(), out.data(), static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
}

bool WriteWholeLocalFile(const char* path, const void* data, size_t size) {
    bool ok;
    {
        platform::OwnedFile file(CreateLocalFile(path));
        if (!file.valid()) return false;
        ok = size > std::numeric_limits<uint32_t>::max()
                 ? false
                 : platform::WriteToFile(file.get(), data, static_cast<uint32_t>(size)) == size;
    }
    if (!ok) platform::RemoveFile(path);
    return ok;
}

std::string CreateTempFileBeside(const char* path) {
    if (path == nullptr || *path == '\0') return std::string();
    // A folder that cannot be made is not an error here: making the file decides.
    platform::CreateParentDirectories(path);
    const std::string target = path;
    size_t folderEnd = gbk::FileNameStart(target.data(), target.size());
    if (folderEnd != 0) --folderEnd;  // without the separator
    return platform::CreateUniqueFile(target.substr(0, folderEnd).c_str(), kTempPrefix);
}

bool IsTempFileName(const std::string& fileName) {
    if (!StartsFolded(fileName, 0, kTempPrefix)) return false;
    size_t end = fileName.size();
    const size_t suffix = std::char_traits<char>::length(kTempSuffix);
    if (end >= suffix && StartsFolded(fileName, end - suffix, kTempSuffix)) end -= suffix;
    const size_t begin = std::char_traits<char>::length(kTempPrefix);
    if (end <= begin || end - begin > kTempUniqueMaxChars) return false;
    for (size_t i = begin; i < end; ++i) {
        if (!IsAsciiLetterOrDigit(fileName[i])) return false;
    }
    return true;
}

namespace {

std::string FoldedAscii(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

size_t RemoveLeftoversIn(const std::string& folder, const std::string& pattern, const std::set<std::string>& keep,
                         int depthLeft) {
    size_t removed = 0;
    for (const std::string& name : platform::FindFiles(folder.c_str(), pattern.c_str())) {
        if (keep.count(FoldedAscii(name)) != 0) continue;
        const std::string path = folder + "/" + name;
        platform::SetFileAttributesNormal(path.c_str());
        if (platform::RemoveFile(path.c_str())) ++removed;
    }
    if (depthLeft == 0) return removed;
    for (const std::string& sub : platform::FindSubdirectories(folder.c_str())) {
        removed += RemoveLeftoversIn(folder + "/" + sub, pattern, keep, depthLeft - 1);
    }
    return removed;
}

}  // namespace

size_t RemoveTempFileLeftovers(const std::string& root, const std::set<std::string>& keep) {
    return RemoveLeftoversIn(root.empty() ? "." : root, platform::UniqueFilePattern(kTempPrefix), keep,
                             kLeftoverSearchDepth);
}

TempFile::~TempFile() {
    if (path_.empty()) return;
    platform::SetFileAttributesNormal(path_.c_str());
    platform::RemoveFile(path_.c_str());
}

bool ReplaceFileContent(const char* path, const void* data, size_t size) {
    TempFile temp(CreateTempFileBeside(path));
    if (temp.empty() || !WriteWholeLocalFile(temp.c_str(), data, size)) return false;
    platform::SetFileAttributesNormal(path);
    if (!platform::ReplaceFileAtomic(temp.c_str(), path)) return false;
    temp.Keep();
    return true;
}
