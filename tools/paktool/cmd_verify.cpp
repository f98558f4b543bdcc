// paktool verify PACK: decodes every block of every index entry.
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "pak/pak_codec.h"
#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

// Reads the whole entry; false when a block is damaged or lies outside the file.
bool EntryDecodes(int packIndex, const PakIndexEntry& entry, std::vector<uint8_t>& buffer) {
    if (entry.size == 0) return true;
    PakFile file;
    if (file.OpenEntry(packIndex, entry.offset, entry.size) != 1) return false;
    uint32_t done = 0;
    while (done < entry.size) {
        const uint32_t got = file.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (got == 0) return false;
        done += got;
    }
    return true;
}

int RunVerify(int argc, char** argv) {
    ParsedArgs args;
    if (int rc = ParseArgs(argc, argv, {}, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 1); rc != kExitOk) return rc;
    const char* packPath = args.Positional()[0];
    UseCurrentDirectoryPaths();
    LibraryMessages messages;
    PakList list;
    if (int rc = OpenPackInList(list, packPath); rc != kExitOk) return rc;
    PakArchive* pack = list.Pack(0);
    std::vector<uint8_t> buffer(kPakBlockSize);
    for (uint32_t i = 0; i < pack->Count(); ++i) {
        const PakIndexEntry entry = pack->EntryAt(i);
        if (!EntryDecodes(0, entry, buffer)) {
            return Fail(kExitFailed, "entry %" PRIu32 " (id %08" PRIx32 ", offset %" PRIu32 ", size %" PRIu32 ") is damaged",
                        i, entry.id, entry.offset, entry.size);
        }
    }
    std::printf("%" PRIu32 " entries ok\n", pack->Count());
    return kExitOk;
}

const PaktoolCommandRegistration kRegistration{
    {"verify", "PACK", "Decodes every block of every entry of PACK; names the first damaged entry.", RunVerify}};

}  // namespace
