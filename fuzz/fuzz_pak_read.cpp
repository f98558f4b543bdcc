// Fuzz target: the input bytes as a pack file, opened by PakList and read entry by entry
// (through the index, as paktool verify walks it, and by name, as the game's files are
// read). Any crash, overrun or endless loop is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kReadPiece = 40000;  // not a block multiple: exercises the held block
constexpr uint32_t kMaxEntriesRead = 64;
const char* const kNames[] = {"1.ver", "curver.dat", "a", "update.inf"};

const std::string& PackPath() {
    static const std::string path =
        platform::TempDirectory() + "/fuzz_pak_read-" + std::to_string(platform::TickCountMs()) + ".pak";
    return path;
}

bool WriteInput(const uint8_t* data, size_t size) {
    platform::FileHandle h = platform::OpenFileForWrite(PackPath().c_str());
    if (h == platform::kInvalidFile) return false;
    const bool ok = size == 0 || platform::WriteToFile(h, data, static_cast<uint32_t>(size)) == size;
    platform::CloseFile(h);
    return ok;
}

void ReadThrough(PakFile& file, std::vector<uint8_t>& buffer) {
    const uint32_t size = file.GetSize();
    uint32_t done = 0;
    while (done < size) {
        const uint32_t got = file.Read(buffer.data(), kReadPiece);
        if (got == 0) return;
        done += got;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!WriteInput(data, size)) return 0;
    SetRootPath(".");
    SetWorkPath("\\");
    std::vector<uint8_t> buffer(kReadPiece);
    PakList list;
    if (list.Open(PackPath().c_str(), 0) != 1) return 0;
    PakArchive* pack = list.Pack(0);
    const uint32_t count = pack->Count() < kMaxEntriesRead ? pack->Count() : kMaxEntriesRead;
    for (uint32_t i = 0; i < count; ++i) {
        const PakIndexEntry entry = pack->EntryAt(i);
        PakFile file;
        if (file.OpenEntry(0, entry.offset, entry.size) == 1) ReadThrough(file, buffer);
    }
    SetPakOpenMode(kPakOpenPacksOnly);
    for (const char* name : kNames) {
        PakFile file;
        if (file.Open(name) != 1) continue;
        file.Seek(70000, kPakSeekBegin);
        ReadThrough(file, buffer);
    }
    SetPakOpenMode(kPakOpenDiskFirst);
    return 0;
}
