#include "net/pak_access.h"

#include <vector>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"

namespace {

// Sets the process-wide open mode for one lookup and puts `after` back afterwards. The
// mode left behind matters: the game launch reads with whatever mode the last run left.
class OpenModeScope {
public:
    OpenModeScope(int mode, int after) : after_(after) { SetPakOpenMode(mode); }
    ~OpenModeScope() { SetPakOpenMode(after_); }
    OpenModeScope(const OpenModeScope&) = delete;
    OpenModeScope& operator=(const OpenModeScope&) = delete;

private:
    int after_;
};

// Reads an opened file whole; false on a short read or a size of `maxBytes` or more.
bool ReadOpened(PakFile& file, uint32_t maxBytes, std::vector<uint8_t>& out) {
    const uint32_t size = file.GetSize();
    if (size >= maxBytes) return false;
    out.resize(size);
    return size == 0 || file.Read(out.data(), size) == size;
}

}  // namespace

void FoldPackName(std::string& name) {
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    FoldPakName(buffer.data());
    name.assign(buffer.data(), name.size());
}

uint32_t PackFileId(const std::string& foldedName) { return CalcFileId(foldedName.c_str()); }

MemberRead ReadPackMember(const char* packPath, const std::string& name, std::vector<uint8_t>& out) {
    out.clear();
    PakList list;
    if (packPath == nullptr || !list.Open(packPath, 0)) return MemberRead::kNoPack;
    PakFile file;
    bool opened;
    {
        // Whole-member reads (the manifest store, the unwrapping of downloads) leave the
        // default "disk first" behind.
        OpenModeScope mode(kPakOpenPacksOnly, kPakOpenDiskFirst);
        opened = file.Open(name.c_str()) != 0;
    }
    if (!opened) return MemberRead::kNoMember;
    const bool ok = ReadOpened(file, UINT32_MAX, out);
    file.Close();
    return ok ? MemberRead::kOk : MemberRead::kReadFailed;
}

struct InstalledFiles::Impl {
    PakList list;
    bool packOpen = false;
    int modeBefore = kPakOpenDiskFirst;
    bool modeChanged = false;
};

InstalledFiles::InstalledFiles() : impl_(new Impl) {}

InstalledFiles::~InstalledFiles() {
    if (impl_->modeChanged) SetPakOpenMode(impl_->modeBefore);
    delete impl_;
}

bool InstalledFiles::OpenPack(const char* packPath) {
    // The comparison works in "packs only" and restores it around each lookup.
    if (!impl_->modeChanged) impl_->modeBefore = GetPakOpenMode();
    impl_->modeChanged = true;
    SetPakOpenMode(kPakOpenPacksOnly);
    impl_->packOpen = packPath != nullptr && impl_->list.Open(packPath, 0) != 0;
    return impl_->packOpen;
}

bool InstalledFiles::SalvagePack(const char* packPath) {
    if (!impl_->modeChanged) impl_->modeBefore = GetPakOpenMode();
    impl_->modeChanged = true;
    SetPakOpenMode(kPakOpenPacksOnly);
    impl_->list.CloseAll();
    impl_->packOpen = packPath != nullptr && impl_->list.OpenSalvaged(packPath) != 0;
    return impl_->packOpen;
}

bool InstalledFiles::PackHoldsWhole(const std::string& name) {
    PakArchive* pack = impl_->packOpen ? impl_->list.Pack(0) : nullptr;
    uint32_t offset = 0;
    uint32_t size = 0;
    uint64_t stored = 0;
    // Streams of the list share the pack file's position.
    platform::MutexLock lock(impl_->list.Lock());
    return pack != nullptr && pack->Find(name.c_str(), offset, size) &&
           pack->StoredLength(PakIndexEntry{0, offset, size}, stored);
}

bool InstalledFiles::PackLiesWhole() {
    PakArchive* pack = impl_->packOpen ? impl_->list.Pack(0) : nullptr;
    if (pack == nullptr) return true;
    platform::MutexLock lock(impl_->list.Lock());
    for (const auto& item : pack->Map()) {
        uint64_t stored = 0;
        if (!pack->StoredLength(pack->EntryAt(item.second), stored)) return false;
    }
    return true;
}

InstalledFile InstalledFiles::Read(const std::string& name, bool diskOnly, uint32_t maxBytes) {
    InstalledFile result;
    PakFile file;
    {
        OpenModeScope mode(diskOnly ? kPakOpenDiskOnly : kPakOpenPacksFirst, kPakOpenPacksOnly);
        if (!file.Open(name.c_str())) return result;
    }
    result.fromPack = file.PackIndex() >= 0;
    result.found = ReadOpened(file, maxBytes, result.bytes);
    file.Close();
    if (!result.found) result.bytes.clear();
    return result;
}
