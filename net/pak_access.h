// The engine's and the transfers' way into the pack library: name folding and ids, and
// whole-member reads from a pack on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Folds a name in place the way pack ids are taken (ASCII capitals lowered, except a byte
// that follows a byte of 0x80 or above).
void FoldPackName(std::string& name);
// The pack id of an already folded name.
uint32_t PackFileId(const std::string& foldedName);

enum class MemberRead { kOk, kNoPack, kNoMember, kReadFailed };
// Reads the member `name` of the pack at `packPath` whole (packs only; a pack list of its
// own, the process-wide open mode restored afterwards).
MemberRead ReadPackMember(const char* packPath, const std::string& name, std::vector<uint8_t>& out);

// The content of an installed game file, looked up the way the comparison needs it.
struct InstalledFile {
    bool found = false;
    bool fromPack = false;  // false: a loose file in the installation directory
    std::vector<uint8_t> bytes;
};

// Looks files up in one opened local pack (or in none) and on disk. The lookups work in the
// process-wide "packs only" mode; the mode found when the pack was opened is put back when
// the object goes, so later readers (the game launch's loose mainclient.exe) see the mode
// start-up chose.
class InstalledFiles {
public:
    InstalledFiles();
    ~InstalledFiles();
    InstalledFiles(const InstalledFiles&) = delete;
    InstalledFiles& operator=(const InstalledFiles&) = delete;

    // Opens the local pack; false when it cannot be opened (lookups then see disk only).
    bool OpenPack(const char* packPath);
    // Opens what can still be read of a pack OpenPack refused (a damaged header or index, a
    // pack cut short); false when there is no file to read.
    bool SalvagePack(const char* packPath);
    // Whether the open pack has an entry for `name` whose stored bytes lie whole inside it
    // (its block table is read, nothing is decoded). False without a pack.
    bool PackHoldsWhole(const std::string& name);
    // Whether every entry of the open pack lies whole inside it; true without a pack.
    bool PackLiesWhole();
    // Reads `name`: disk only when `diskOnly`, else the pack first, then disk. Files of
    // `maxBytes` or more count as not found.
    InstalledFile Read(const std::string& name, bool diskOnly, uint32_t maxBytes);

private:
    struct Impl;
    Impl* impl_;
};
