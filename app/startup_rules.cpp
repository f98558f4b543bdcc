#include "app/startup_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kNewBuildNameChars = 11;  // "newuper.exe"
constexpr size_t kExtensionChars = 3;      // "exe"
constexpr const wchar_t* kCopyNameW = L"update.dat";
constexpr const wchar_t* kCopyExtensionW = L"dat";
constexpr const char* kDefaultDirWord = "download";
constexpr const char* kNoDirWord = "null";
constexpr uint32_t kNoHandle = 0;
constexpr uint32_t kInvalidHandle = 0xFFFFFFFFu;  // -1
constexpr int kHexBase = 16;

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The next blank-separated field of `text` from `pos`.
std::string NextField(const std::string& text, size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    size_t start = pos;
    while (pos < text.size() && !IsBlank(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

// A hexadecimal handle value with an optional 0x prefix and an optional minus sign (so
// "-1" reads as the invalid handle). False when the field holds no hex digits.
bool ParseHandle(const std::string& field, uint32_t& value) {
    const char* p = field.c_str();
    bool negative = *p == '-';
    if (negative) ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    unsigned long long v = std::strtoull(p, nullptr, kHexBase);
    value = static_cast<uint32_t>(negative ? 0 - v : v);
    return true;
}

}  // namespace

ToolRole RoleFromFileName(const std::string& fileName) {
    if (EqualsIgnoringCase(fileName, kUpdaterCopyName)) return ToolRole::kUpdater;
    if (EqualsIgnoringCase(fileName, kToolExeName)) return ToolRole::kLauncher;
    if (EqualsIgnoringCase(fileName, kNewBuildExeName)) return ToolRole::kNewBuildLauncher;
    return ToolRole::kRenamed;
}

bool SplitModulePath(const std::wstring& path, std::wstring& directory, std::wstring& fileName) {
    for (size_t i = path.size(); i-- > 1;) {
        if (path[i] == L'\\' || path[i] == L'/') {
            directory = path.substr(0, i);
            fileName = path.substr(i + 1);
            return true;
        }
    }
    return false;
}

std::wstring UpdaterCopyPath(const std::wstring& launcherPath, bool newBuild) {
    size_t cut = newBuild ? kNewBuildNameChars : kExtensionChars;
    if (launcherPath.size() < cut) return std::wstring();
    return launcherPath.substr(0, launcherPath.size() - cut) + (newBuild ? kCopyNameW : kCopyExtensionW);
}

std::wstring CommandLineArguments(const std::wstring& fullCommandLine) {
    size_t pos = 0;
    const size_t n = fullCommandLine.size();
    if (n > 0 && fullCommandLine[0] == L'"') {
        pos = fullCommandLine.find(L'"', 1);
        pos = pos == std::wstring::npos ? n : pos + 1;
    } else {
        while (pos < n && fullCommandLine[pos] != L' ' && fullCommandLine[pos] != L'\t') ++pos;
    }
    while (pos < n && (fullCommandLine[pos] == L' ' || fullCommandLine[pos] == L'\t')) ++pos;
    return fullCommandLine.substr(pos);
}

StartupInstruction ParseStartupInstruction(const char* text, size_t size) {
    StartupInstruction result;
    if (text == nullptr) return result;
    std::string content(text, std::find(text, text + size, '\0'));
    size_t pos = 0;
    std::string word = NextField(content, pos);
    if (word.empty() || EqualsIgnoringCase(word, kNoDirWord) || EqualsIgnoringCase(word, kDefaultDirWord)) {
        return result;
    }
    result.downloadDir = word;
    uint32_t handle = 0;
    if (ParseHandle(NextField(content, pos), handle) && handle != kNoHandle && handle != kInvalidHandle) {
        result.waitForParent = true;
        result.parentHandle = handle;
    }
    return result;
}

bool RetryBudget::Run(const std::function<bool()>& attempt) {
    while (!attempt()) {
        if (failures_++ >= kRetryBudget) return false;
        sleep_(kRetrySleepMs);
    }
    return true;
}
