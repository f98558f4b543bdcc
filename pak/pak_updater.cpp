#include "pak/pak_updater.h"

#include <cstring>

#include "pak/pak_make.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "pak/pak_rebuild.h"
#include "platform/platform.h"

namespace {

// The marker list: base directory "." and the marker file itself as the only member.
constexpr char kNewPackMarkerText[] = ".\r\n1.ver\r\n";
constexpr uint32_t kNewPackMarkerSize = sizeof kNewPackMarkerText - 1;
constexpr const char* kCurrentDirectory = ".";
constexpr const char* kEmptyWorkPath = "\\";

void UseInstallationPaths() {
    SetRootPath(kCurrentDirectory);
    SetWorkPath(kEmptyWorkPath);
}

}  // namespace

PakUpdater::PakUpdater() = default;

PakUpdater::~PakUpdater() { Reset(); }

int PakUpdater::OpenOrCreate(const char* path, int create) {
    if (path == nullptr) return 0;
    salvaged_ = false;
    if (!pack_.Open(path)) {
        if (create == 0) return 0;
        std::string diskPath;
        UseInstallationPaths();
        const bool there = MakePakDiskPath(path, diskPath) && platform::FileExists(diskPath.c_str());
        if (there && create == kPakCreateOrSalvage) {
            if (!pack_.OpenSalvaged(path)) return 0;
            salvaged_ = true;
        } else if (!CreatePack(path)) {
            return 0;
        }
    }
    packPath_ = path;
    return 1;
}

// Makes a pack holding only the marker "1.ver" at `path` and opens it. A file that exists
// under `path` but does not open as a pack is left alone: it is not overwritten.
bool PakUpdater::CreatePack(const char* path) {
    UseInstallationPaths();
    std::string diskPath;
    if (!MakePakDiskPath(path, diskPath) || platform::FileExists(diskPath.c_str())) return false;
    DiskFile marker;
    const bool written = marker.OpenWrite(kPakNewPackMarkerName) &&
                         marker.Write(kNewPackMarkerText, kNewPackMarkerSize) == kNewPackMarkerSize;
    marker.Close();
    bool made = false;
    if (written) {
        PakMake make;
        made = make.Make(kPakNewPackMarkerName, path, kPakMethodZlib) == 1;
    }
    UseInstallationPaths();
    std::string markerPath;
    if (MakePakDiskPath(kPakNewPackMarkerName, markerPath)) platform::RemoveFile(markerPath.c_str());
    return made && pack_.Open(path);
}

int PakUpdater::AddFile(const char* name, const char* path) {
    if (name == nullptr || path == nullptr || !pack_.IsOpen()) return 0;
    auto record = std::make_unique<PakReplacement>();
    if (!record->OpenFile(path)) return 0;
    record->sourcePath = path;
    return Queue(name, std::move(record)) ? 1 : 0;
}

int PakUpdater::AddDiskFile(const char* name, const char* path, bool handOver) {
    if (name == nullptr || path == nullptr || !pack_.IsOpen() || pack_.FileSize() == 0) return 0;
    auto record = std::make_unique<PakReplacement>();
    if (!record->OpenDiskFile(path)) return 0;
    // Without a source path nothing the rebuild does deletes the file.
    if (handOver) record->sourcePath = path;
    return Queue(name, std::move(record)) ? 1 : 0;
}

int PakUpdater::AddBuffer(const char* name, const void* data, uint32_t size) {
    if (name == nullptr || !pack_.IsOpen()) return 0;
    if ((data != nullptr && size == 0) || (data == nullptr && size != 0)) return 0;
    auto record = std::make_unique<PakReplacement>();
    if (!record->CopyBuffer(data, size)) return 0;
    return Queue(name, std::move(record)) ? 1 : 0;
}

int PakUpdater::Delete(const char* name) {
    if (name == nullptr || !pack_.IsOpen()) return 0;
    auto record = std::make_unique<PakReplacement>();
    if (!record->CopyBuffer(nullptr, 0)) return 0;
    record->deletion = true;
    return Queue(name, std::move(record)) ? 1 : 0;
}

// Queues `record` under the id of the folded `name`; an id already queued keeps its first
// record (the new one is closed, its file left in place).
bool PakUpdater::Queue(const char* name, std::unique_ptr<PakReplacement> record) {
    if (std::strlen(name) > kPakLookupNameMax) {
        record->Close();
        return false;
    }
    const uint32_t id = CalcFoldedFileId(name);
    if (queue_.count(id) != 0) {
        record->Close();
        return false;
    }
    record->id = id;
    queue_[id] = std::move(record);
    return true;
}

bool PakUpdater::Holds(const char* name) const {
    uint32_t position = 0;
    return name != nullptr && pack_.IsOpen() && pack_.FindId(CalcFoldedFileId(name), position);
}

// A salvaged pack that kept no entry becomes what a created pack is: the marker, then
// whatever was queued.
bool PakUpdater::QueueMarkerIfBare() {
    if (!salvaged_ || !pack_.Map().empty() || queue_.count(CalcFoldedFileId(kPakNewPackMarkerName)) != 0) return true;
    return AddBuffer(kPakNewPackMarkerName, kNewPackMarkerText, kNewPackMarkerSize) == 1;
}

int PakUpdater::Rebuild() {
    // Every open pack has a file of at least a header, except a salvaged one, which is
    // written anew whatever it held.
    if (!pack_.IsOpen()) return 1;
    if (queue_.empty() && !salvaged_) {
        pack_.Close();
        return 1;
    }
    if (!QueueMarkerIfBare()) {
        DropAll();
        pack_.Close();
        return 0;
    }
    PakRebuild run(pack_, queue_, packPath_, progress_, clock_);
    const bool done = run.Run();
    DropAll();
    pack_.Close();
    salvaged_ = false;
    return done ? 1 : 0;
}

void PakUpdater::DropAll() {
    for (auto& item : queue_) item.second->Discard();
    queue_.clear();
}

void PakUpdater::Reset() {
    DropAll();
    salvaged_ = false;
    packPath_.clear();
    pack_.Close();
}
