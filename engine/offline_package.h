// Offline update packages (*.olp): an UpdatePK container whose members are the game files
// to install plus the control members "platfrom", "version.inf", "update.exe",
// "updatecfg.dll" and the package manifest "update.inf".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class FailureSink;
class ManifestStore;
class PakUpdateTask;
class ProgressSink;

constexpr const char* kOlpPlatformMember = "platfrom";
constexpr const char* kOlpVersionMember = "version.inf";
constexpr const char* kOlpToolMember = "update.exe";
constexpr const char* kOlpPluginMember = "updatecfg.dll";
constexpr const char* kOlpNewToolProgram = "newuper.exe";
// Largest member a package may hold, and the most all members together may decode to.
constexpr uint32_t kOlpMaxMember = 0x4FFFFFF;
constexpr uint64_t kOlpMaxTotal = 0x40000000;
// The largest package file read: all members at their largest plus room for the index and
// the block tables (a stored block is its content and two bytes of table).
constexpr uint64_t kOlpMaxPackageBytes = kOlpMaxTotal + kOlpMaxTotal / 16;
// The 16 bytes kept after every member's content; they also end it as a C string.
constexpr size_t kOlpGuardSize = 16;
extern const uint8_t kOlpGuard[kOlpGuardSize];

// The decoded members of one package, by member id.
class OfflinePackage {
public:
    struct Member {
        uint32_t size = 0;
        std::vector<uint8_t> bytes;  // size + guard
        const char* text() const { return reinterpret_cast<const char*>(bytes.data()); }
    };

    // Looks a member up by name (folded, then its id); null when absent.
    const Member* Find(const std::string& name) const;
    void Remove(const std::string& name);
    // Enters a member (a later one with the same id replaces the earlier); returns it.
    Member& Put(uint32_t id, uint32_t size);
    size_t Count() const { return members_.size(); }

private:
    std::map<uint32_t, Member> members_;
};

// Reads the package file at `path` whole (at most kOlpMaxPackageBytes); false when it cannot
// be read or is larger.
bool ReadOfflinePackageFile(const char* path, std::vector<uint8_t>& bytes);

// Decodes the whole package held in `bytes` into `package`. 0, or UPD_E_DATA for bytes
// that are no UpdatePK container of method -1 or hold a damaged member. The path form
// reads the file first (UPD_E_DATA when it cannot).
int32_t LoadOfflinePackage(const uint8_t* bytes, size_t size, OfflinePackage& package, ProgressSink* sink);
int32_t LoadOfflinePackage(const char* path, OfflinePackage& package, ProgressSink* sink);

// Applies the package to the installation whose patch pack is `localPackPath`. The file is
// read once; its signature (in a build with a publisher key) and its members are taken
// from those same bytes.
// UPD_PACKAGE_APPLIED, UPD_RESTART_REQUESTED (a new tool or plug-in was written), or a
// failure code.
int32_t ApplyOfflinePackage(const char* packagePath, const char* localPackPath, ProgressSink* sink,
                            ManifestStore& store, FailureSink& failures, PakUpdateTask& task);

// The decimal number at the start of `text` (leading white space, optional sign), clamped
// to the 32-bit range; 0 when there is none.
int32_t LeadingNumber(const char* text);
