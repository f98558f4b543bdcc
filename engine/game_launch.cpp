#include "engine/game_launch.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "pak/disk_file.h"
#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "text/message_box.h"

namespace {

constexpr const char* kPatchPackName = "patch.dat";
constexpr int kAnyPackVersion = 0;
constexpr size_t kCopyNameSize = 16;

std::string CopyName(int slot) {
    char name[kCopyNameSize];
    std::snprintf(name, sizeof(name), kGameCopyFormat, slot);
    return name;
}

// Reads the whole game executable; false when it is missing or cannot be read whole.
bool ReadGameExecutable(const std::string& installDir, std::vector<uint8_t>& member) {
    PakList packs;
    packs.Open((installDir + kPatchPackName).c_str(), kAnyPackVersion);  // loose files may still serve
    PakFile file;
    if (!file.Open(kGameExecutableMember)) return false;
    uint32_t size = file.GetSize();
    try {
        member.resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // A damaged pack gives a short read: such a copy must never be started.
    bool complete = file.Read(member.data(), size) == size;
    return complete;
}

void DeleteDownloadTempFiles() {
    std::string dir = platform::TempDirectory();
    if (dir.empty()) return;
    for (const std::string& name : platform::FindFiles(dir.c_str(), kDownloadTempPattern)) {
        platform::RemoveFile((dir + "\\" + name).c_str());  // files in use stay
    }
}

// True when `name` holds exactly `member`.
bool IsCurrentCopy(platform::FileHandle file, const std::vector<uint8_t>& member) {
    if (platform::FileSize(file) != static_cast<int64_t>(member.size())) return false;
    std::vector<uint8_t> existing(member.size());
    uint32_t size = static_cast<uint32_t>(member.size());
    if (size > 0 && platform::ReadFromFile(file, existing.data(), size) != size) return false;
    return existing == member;
}

// Writes the copy and starts it. A copy that cannot be written whole is removed again and
// not started.
void WriteAndLaunch(iUpdateCfg* cfg, const std::string& name, const std::vector<uint8_t>& member) {
    DiskFile out;
    if (!out.OpenWrite(name.c_str())) return;
    uint32_t size = static_cast<uint32_t>(member.size());
    bool complete = size == 0 || out.Write(member.data(), size) == size;
    out.Close();
    if (!complete) {
        platform::RemoveFile(name.c_str());
        return;
    }
    if (cfg != nullptr) cfg->Launch(name.c_str());
}

void LaunchFirstFreeCopy(iUpdateCfg* cfg, const std::vector<uint8_t>& member) {
    for (int slot = 0; slot < kGameCopySlots; ++slot) {
        std::string name = CopyName(slot);
        bool missing = false;
        platform::OwnedFile file(platform::OpenFileReadExclusive(name.c_str(), &missing));
        if (file.valid()) {
            const bool current = IsCurrentCopy(file.get(), member);
            file.Close();
            if (current) {
                if (cfg != nullptr) cfg->Launch(name.c_str());
                return;
            }
        } else if (missing) {
            WriteAndLaunch(cfg, name, member);
            return;
        }
        // Locked or outdated: free the name if possible, else try the next one.
        if (platform::RemoveFile(name.c_str())) {
            WriteAndLaunch(cfg, name, member);
            return;
        }
    }
}

}  // namespace

bool StartGameClient() { return StartGameClient(GetPlatformConfig(), GetInstallDir()); }

bool StartGameClient(iUpdateCfg* cfg, const std::string& installDir) {
    std::vector<uint8_t> member;
    if (!ReadGameExecutable(installDir, member)) {
        MessageBoxNarrow(kGameDataErrorText, nullptr, platform::kMbOk);
        return false;
    }
    DeleteDownloadTempFiles();
    // Copies not in use are removed; running ones stay and keep their names.
    for (int slot = 0; slot < kGameCopySlots; ++slot) platform::RemoveFile(CopyName(slot).c_str());
    LaunchFirstFreeCopy(cfg, member);
    return true;
}
