#include "tools/paktool/publish_delta.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "engine/delta_list.h"
#include "engine/delta_patch.h"
#include "engine/md5.h"
#include "platform/platform.h"
#include "tools/paktool/console_text.h"
#include "tools/paktool/publish_util.h"
#include "tools/paktool/signing_util.h"

const OptionDef kDeltaFromOption = {nullptr, "--delta-from", true, true,
                                    "an earlier game folder players may have: publish patches from it (repeatable)"};

namespace {

constexpr uint64_t kPercent = 100;

int ReadContent(const std::string& path, const char* what, std::vector<uint8_t>& bytes) {
    return ReadWholeFile(path.c_str(), kDeltaMaxContentSize - 1, what, bytes);
}

int WriteSigned(const PublicationSigner& signer, const std::string& serverDir, const std::string& remote,
                const std::vector<uint8_t>& bytes) {
    const std::string path = JoinPath(serverDir, remote);
    platform::CreateParentDirectories(path.c_str());
    if (int rc = WriteWholeFile(path.c_str(), bytes.data(), bytes.size()); rc != kExitOk) return rc;
    return signer.Sign(path, remote, bytes);
}

// What the patches of one published file are measured against: the bytes a player fetches
// for it today (the server file, wrapped or not).
int DownloadSize(const std::string& serverDir, const ManifestRecord& record, uint64_t& size) {
    std::vector<uint8_t> bytes;
    const std::string path = JoinPath(serverDir, record.remotePath);
    if (int rc = ReadWholeFile(path.c_str(), kNoSizeLimit, "server file", bytes); rc != kExitOk) return rc;
    size = bytes.size();
    return kExitOk;
}

// Writes the patches of one published file worth keeping, each signed, and appends their
// entries to `entries`.
int PatchOneFile(const PublicationSigner& signer, const std::string& serverDir, const std::string& prefix,
                 const ManifestRecord& record, const std::string& newPath, const std::vector<std::string>& oldPaths,
                 std::vector<DeltaEntry>& entries) {
    std::vector<uint8_t> newBytes;
    if (int rc = ReadContent(newPath, "game file", newBytes); rc != kExitOk) return rc;
    const DownloadSizeFn download = [&](uint64_t& size) { return DownloadSize(serverDir, record, size); };
    std::vector<MadePatch> patches;
    std::vector<EarlierContent> earlier;
    if (int rc = MakeFilePatches(record.name, newBytes, download, oldPaths, prefix, patches, earlier); rc != kExitOk)
        return rc;
    for (MadePatch& patch : patches) {
        const std::vector<uint8_t> bytes(patch.bytes.begin(), patch.bytes.end());
        if (int rc = WriteSigned(signer, serverDir, patch.entry.patchPath, bytes); rc != kExitOk) return rc;
        entries.push_back(std::move(patch.entry));
    }
    return kExitOk;
}

void RemoveOldList(const std::string& serverDir, const std::string& prefix) {
    const std::string path = JoinPath(serverDir, prefix + kDeltaListName);
    if (!platform::FileExists(path.c_str())) return;
    if (!platform::RemoveFile(path.c_str())) Note("earlier delta list '%s' could not be removed", path.c_str());
    platform::RemoveFile((path + kSignatureSuffix).c_str());
}

// The patches of one new content against earlier ones: one per distinct earlier content,
// kept when below kDeltaKeepPercent of the whole file's download.
class FilePatcher {
public:
    FilePatcher(const std::string& name, const std::vector<uint8_t>& newBytes, const DownloadSizeFn& download,
                const std::string& prefix)
        : name_(name), newBytes_(newBytes), newMd5_(Md5Text(newBytes.data(), newBytes.size())), download_(download),
          prefix_(prefix) {}

    // What the earlier content `oldBytes` comes to, in `outcome`; a patch kept for it goes to
    // `patches`. kExitOk or the printed error.
    int Against(const std::vector<uint8_t>& oldBytes, std::vector<MadePatch>& patches, EarlierContent& outcome) {
        const std::string oldMd5 = Md5Text(oldBytes.data(), oldBytes.size());
        if (oldMd5 == newMd5_ && oldBytes.size() == newBytes_.size()) {
            outcome = EarlierContent::kSame;
            return kExitOk;
        }
        if (const auto seen = done_.find(oldMd5); seen != done_.end()) {
            outcome = seen->second;
            return kExitOk;
        }
        outcome = EarlierContent::kNoPatch;
        if (IsPatchable(newBytes_.size())) {
            if (int rc = Patch(oldBytes, oldMd5, patches, outcome); rc != kExitOk) return rc;
        }
        done_[oldMd5] = outcome;
        return kExitOk;
    }

private:
    int Patch(const std::vector<uint8_t>& oldBytes, const std::string& oldMd5, std::vector<MadePatch>& patches,
              EarlierContent& outcome) {
        if (!downloadKnown_) {
            if (int rc = download_(downloadSize_); rc != kExitOk) return rc;
            downloadKnown_ = true;
        }
        std::string patch;
        if (!MakeDeltaPatch(oldBytes.data(), oldBytes.size(), newBytes_.data(), newBytes_.size(), &patch))
            return Fail(kExitFailed, "cannot make a patch of '%s'", ConsoleText(name_).c_str());
        if (patch.size() * kPercent >= downloadSize_ * kDeltaKeepPercent) {
            std::printf("no patch for %s (%zu bytes against %" PRIu64 ")\n", ConsoleText(name_).c_str(), patch.size(),
                        downloadSize_);
            return kExitOk;
        }
        std::printf("patch for %s: %zu bytes against %" PRIu64 "\n", ConsoleText(name_).c_str(), patch.size(),
                    downloadSize_);
        MadePatch made;
        made.entry.name = name_;
        made.entry.oldMd5 = oldMd5;
        made.entry.oldSize = oldBytes.size();
        made.entry.newMd5 = newMd5_;
        made.entry.newSize = newBytes_.size();
        made.entry.patchPath = prefix_ + kDeltaPatchDir + oldMd5 + "-" + newMd5_;
        made.entry.patchSize = patch.size();
        made.entry.patchMd5 = Md5Text(patch.data(), patch.size());
        made.bytes = std::move(patch);
        patches.push_back(std::move(made));
        outcome = EarlierContent::kPatched;
        return kExitOk;
    }

    const std::string& name_;
    const std::vector<uint8_t>& newBytes_;
    const std::string newMd5_;
    const DownloadSizeFn& download_;
    const std::string& prefix_;
    uint64_t downloadSize_ = 0;
    bool downloadKnown_ = false;
    std::map<std::string, EarlierContent> done_;  // by old MD5
};

}  // namespace

bool IsPatchable(uint64_t size) { return size >= kDeltaMinFileSize; }

int MakeFilePatches(const std::string& name, const std::vector<uint8_t>& newBytes, const DownloadSizeFn& download,
                    const std::vector<std::string>& oldPaths, const std::string& prefix,
                    std::vector<MadePatch>& patches, std::vector<EarlierContent>& earlier) {
    FilePatcher patcher(name, newBytes, download, prefix);
    for (const std::string& oldPath : oldPaths) {
        std::vector<uint8_t> oldBytes;
        EarlierContent outcome = EarlierContent::kNoPatch;
        // A file too large for a patch is fetched whole, as before.
        if (ReadWholeFile(oldPath.c_str(), kDeltaMaxContentSize - 1, "earlier game file", oldBytes) == kExitOk) {
            if (int rc = patcher.Against(oldBytes, patches, outcome); rc != kExitOk) return rc;
        }
        earlier.push_back(outcome);
    }
    return kExitOk;
}

int ScanDeltaSources(const ParsedArgs& args, DeltaSources& sources) {
    NameEncoding encoding = NameEncoding::kGbk;
    if (int rc = ParseNameEncoding(args, encoding); rc != kExitOk) return rc;
    for (const char* dir : args.Values(kDeltaFromOption.longName)) {
        if (int rc = CheckFolder(dir, "earlier game folder"); rc != kExitOk) return rc;
        std::vector<GameFile> files;
        if (int rc = ScanGameDir(dir, encoding, files); rc != kExitOk) return rc;
        std::map<std::string, std::string> tree;
        for (const GameFile& f : files) tree[f.name] = f.path;
        sources.push_back(std::move(tree));
    }
    return kExitOk;
}

int PublishDeltas(const ParsedArgs& args, const DeltaSources& sources, const PublicationSigner& signer,
                  const std::string& serverDir, const std::string& prefix, const std::vector<ManifestRecord>& records) {
    if (!args.Has(kDeltaFromOption.longName)) {
        RemoveOldList(serverDir, prefix);
        return kExitOk;
    }
    NameEncoding encoding = NameEncoding::kGbk;
    if (int rc = ParseNameEncoding(args, encoding); rc != kExitOk) return rc;
    std::vector<GameFile> files;
    if (int rc = ScanGameDir(args.Positional()[0], encoding, files); rc != kExitOk) return rc;
    std::map<std::string, std::string> newPaths;
    for (const GameFile& f : files) newPaths[f.name] = f.path;
    std::vector<DeltaEntry> entries;
    for (const ManifestRecord& record : records) {
        const auto newPath = newPaths.find(record.name);
        // Small files are fetched whole: the updater does not look for their patches.
        if (IsRemovalRecord(record) || newPath == newPaths.end() ||
            !IsPatchable(std::strtoull(record.size.c_str(), nullptr, 10)))
            continue;
        std::vector<std::string> oldPaths;
        for (const auto& tree : sources) {
            const auto old = tree.find(record.name);
            if (old != tree.end()) oldPaths.push_back(old->second);
        }
        if (int rc = PatchOneFile(signer, serverDir, prefix, record, newPath->second, oldPaths, entries); rc != kExitOk)
            return rc;
    }
    std::string text;
    if (!FormatDeltaList(entries, &text)) return Fail(kExitFailed, "cannot write %s", kDeltaListName);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    if (int rc = WriteSigned(signer, serverDir, prefix + kDeltaListName, bytes); rc != kExitOk) return rc;
    std::printf("%zu patches listed in %s\n", entries.size(), kDeltaListName);
    return kExitOk;
}
