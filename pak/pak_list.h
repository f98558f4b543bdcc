// The list of open packs that PakFile reads game files from.
//
// Typical use: SetRootPath("."), SetWorkPath("\\"), construct a PakList (it becomes the
// process-wide current list), Open("patch.dat", 0), read through PakFile, destroy the list.
#pragma once

#include <cstdint>

#include "pak/pak_archive.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"

constexpr int kPakListSlots = 32;
constexpr const char* kPakVersionEntryFormat = "%d.ver";

class PakList {
public:
    // The new list becomes the process-wide current list.
    PakList();
    // Closes every pack; clears the current-list pointer when it points here.
    ~PakList();
    PakList(const PakList&) = delete;
    PakList& operator=(const PakList&) = delete;

    // Opens the pack at `path` (a disk path) into the next free slot. With a non-zero
    // `version` the pack must hold the entry "<version>.ver". Returns 1 or 0; 0 also when
    // all kPakListSlots slots are taken.
    int Open(const char* path, int version);
    // Opens what can still be read of a damaged pack (PakArchive::OpenSalvaged) into the
    // next free slot. Returns 1 or 0.
    int OpenSalvaged(const char* path);
    // Closes every pack; count and current index become 0.
    void CloseAll();
    // The index of the first open pack (in opening order) that holds `name`, or -1; that
    // pack becomes the current one. `offset` and `size` receive the entry's place.
    int Find(const char* name, uint32_t* offset, uint32_t* size);

    int Count() const { return count_; }
    int CurrentIndex() const { return current_; }
    void SetCurrentIndex(int index) { current_ = index; }
    // The pack in slot `index`, or nullptr outside 0..Count()-1.
    PakArchive* Pack(int index);
    // Serialises the pack-side PakFile operations.
    platform::Mutex& Lock() { return lock_; }

    // The process-wide current list, or nullptr.
    static PakList* Current();

private:
    PakArchive slots_[kPakListSlots];
    int count_ = 0;
    int current_ = 0;
    platform::Mutex lock_;
};
