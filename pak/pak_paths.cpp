#include "pak/pak_paths.h"

#include <cstring>

#include "pak/pak_log.h"
#include "pak/pak_name.h"
#include "platform/platform.h"

namespace {

constexpr char kDirSeparator = '\\';
constexpr char kDriveColon = ':';
constexpr const char* kInitialRootPath = "C:";

std::string g_rootPath = kInitialRootPath;
std::string g_workPath;
int g_openMode = kPakOpenDiskFirst;

// A path that names its place by itself: drive-qualified ("C:..."), or on POSIX absolute
// ("/..."), where absolute paths stand where drive-qualified ones would. The same rule holds
// for a requested name and for the work path.
bool IsFullPath(const std::string& s) {
    if (s.size() >= 2 && s[1] == kDriveColon) return true;
#if defined(_WIN32)
    return false;
#else
    return !s.empty() && s[0] == '/';
#endif
}

}  // namespace

void SetRootPath(const char* path) {
    std::string root = path != nullptr ? std::string(path) : platform::CurrentDirectory();
    if (!root.empty() && root.back() == kDirSeparator) root.pop_back();
    if (root.size() > kPakRootPathMax) return;
    g_rootPath = root;
    PakLog("RootPath = %s", g_rootPath.c_str());
}

int SetWorkPath(const char* path) {
    std::string work = path != nullptr ? path : "";
    if (!work.empty() && work[0] == kDirSeparator) work.erase(0, 1);
    if (!work.empty() && work.back() != kDirSeparator) work.push_back(kDirSeparator);
    if (work.size() > kPakWorkPathMax) return -1;
    g_workPath = work;
    return static_cast<int>(g_workPath.size());
}

void SetPakOpenMode(int mode) { g_openMode = mode; }

const char* GetRootPath() { return g_rootPath.c_str(); }
const char* GetWorkPath() { return g_workPath.c_str(); }
int GetPakOpenMode() { return g_openMode; }

bool MakePakLookupName(const char* name, std::string& out) {
    if (name == nullptr) return false;
    if (name[0] == kDirSeparator) {
        out = name + 1;
    } else {
        out = g_workPath;
        out += name;
    }
    if (out.size() > kPakLookupNameMax) return false;
    FoldPakName(&out[0]);
    return true;
}

bool MakePakDiskPath(const char* name, std::string& out) {
    if (name == nullptr) return false;
    std::string n = name;
    if (IsFullPath(n)) {
        out = n;
    } else if (!n.empty() && n[0] == kDirSeparator) {
        out = g_rootPath + n;
    } else if (IsFullPath(g_workPath)) {
        out = g_workPath + n;
    } else {
        out = g_rootPath + kDirSeparator + g_workPath + n;
    }
    return out.size() <= kPakDiskPathMax;
}
