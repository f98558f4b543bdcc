#include "pak/pak_list.h"

#include <atomic>
#include <cstdio>

#include "pak/pak_log.h"

namespace {

std::atomic<PakList*> g_currentList{nullptr};

constexpr size_t kVersionNameSize = 32;

}  // namespace

PakList::PakList() { g_currentList.store(this); }

PakList::~PakList() {
    CloseAll();
    PakList* self = this;
    g_currentList.compare_exchange_strong(self, nullptr);
}

PakList* PakList::Current() { return g_currentList.load(); }

int PakList::Open(const char* path, int version) {
    if (path == nullptr) return 0;
    if (count_ >= kPakListSlots) {
        PakLog("PakList Open : %s ... Fail (all %d slots in use)", path, kPakListSlots);
        return 0;
    }
    PakArchive& slot = slots_[count_];
    if (!slot.Open(path)) {
        PakLog("PakList Open : %s ... Fail", path);
        return 0;
    }
    if (version != 0) {
        char versionName[kVersionNameSize];
        std::snprintf(versionName, sizeof versionName, kPakVersionEntryFormat, version);
        uint32_t offset = 0;
        uint32_t size = 0;
        if (!slot.Find(versionName, offset, size)) {
            slot.Close();
            return 0;
        }
    }
    ++count_;
    PakLog("PakList Open : %s ... Ok", path);
    return 1;
}

int PakList::OpenSalvaged(const char* path) {
    if (path == nullptr || count_ >= kPakListSlots) return 0;
    if (!slots_[count_].OpenSalvaged(path)) {
        PakLog("PakList Open : %s ... Fail", path);
        return 0;
    }
    ++count_;
    PakLog("PakList Open : %s ... Salvaged", path);
    return 1;
}

void PakList::CloseAll() {
    for (PakArchive& slot : slots_) slot.Close();
    count_ = 0;
    current_ = 0;
}

int PakList::Find(const char* name, uint32_t* offset, uint32_t* size) {
    if (count_ == 0 || name == nullptr || name[0] == '\0') return -1;
    for (int i = 0; i < count_; ++i) {
        uint32_t o = 0;
        uint32_t s = 0;
        if (slots_[i].Find(name, o, s)) {
            current_ = i;
            if (offset != nullptr) *offset = o;
            if (size != nullptr) *size = s;
            return i;
        }
    }
    return -1;
}

PakArchive* PakList::Pack(int index) {
    return index >= 0 && index < count_ ? &slots_[index] : nullptr;
}
