#include "tools/paktool/olp_delta.h"

#include <algorithm>
#include <cstdio>

#include "engine/update_pk_writer.h"
#include "net/pak_access.h"
#include "tools/paktool/console_text.h"

namespace {

uint32_t MemberId(const std::string& name) {
    std::string folded = name;
    FoldPackName(folded);
    return PackFileId(folded);
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

int OlpDeltas::Init(const ParsedArgs& args, const std::vector<GameFile>& gameFiles) {
    DeltaSources sources;
    if (int rc = ScanDeltaSources(args, sources); rc != kExitOk) return rc;
    NameEncoding encoding = NameEncoding::kGbk;
    if (int rc = ParseNameEncoding(args, encoding); rc != kExitOk) return rc;
    const std::vector<const char*> dirs = args.Values(kDeltaFromOption.longName);
    for (size_t i = 0; i < sources.size(); ++i) {
        Tree tree;
        tree.files = std::move(sources[i]);
        if (int rc = ReadUnpackList(dirs[i], encoding, tree.loose); rc != kExitOk) return rc;
        trees_.push_back(std::move(tree));
    }
    for (const GameFile& f : gameFiles) gameIds_.push_back(MemberId(f.name));
    std::sort(gameIds_.begin(), gameIds_.end());
    return kExitOk;
}

bool OlpDeltas::EarlierPaths(const GameFile& file, bool loose, std::vector<std::string>& paths) const {
    for (const Tree& tree : trees_) {
        const auto old = tree.files.find(file.name);
        if (old == tree.files.end() || Listed(tree.loose, file.name) != loose) return false;
        paths.push_back(old->second);
    }
    return true;
}

int OlpDeltas::AddFile(const GameFile& file, bool loose, std::vector<uint8_t> bytes, UpdatePkWriter& writer) {
    std::vector<std::string> oldPaths;
    std::vector<MadePatch> patches;
    std::vector<EarlierContent> earlier;
    if (EarlierPaths(file, loose, oldPaths)) {
        // What a player would otherwise take from the package: the whole member.
        const DownloadSizeFn download = [&bytes](uint64_t& size) {
            size = UpdatePkWriter::StoredSize(bytes);
            return kExitOk;
        };
        if (int rc = MakeFilePatches(file.name, bytes, download, oldPaths, std::string(), patches, earlier);
            rc != kExitOk)
            return rc;
    }
    const auto is = [](EarlierContent want) { return [want](EarlierContent c) { return c == want; }; };
    if (!earlier.empty() && std::all_of(earlier.begin(), earlier.end(), is(EarlierContent::kSame))) {
        ++leftOut_;  // every installation at an earlier publication has it
        return kExitOk;
    }
    if (!earlier.empty() && std::none_of(earlier.begin(), earlier.end(), is(EarlierContent::kNoPatch)))
        return AddPatches(patches, writer);
    // Some earlier installation can make it from no patch: the whole file serves them all.
    ++whole_;
    writer.Add(file.name, std::move(bytes));
    return kExitOk;
}

int OlpDeltas::AddPatches(std::vector<MadePatch>& patches, UpdatePkWriter& writer) {
    for (MadePatch& patch : patches) {
        // A game file under the same member id would be replaced by the patch.
        if (std::binary_search(gameIds_.begin(), gameIds_.end(), MemberId(patch.entry.patchPath))) {
            return Fail(kExitUsage, "the patch '%s' has the member id of a game file",
                        ConsoleText(patch.entry.patchPath).c_str());
        }
        writer.Add(patch.entry.patchPath, std::vector<uint8_t>(patch.bytes.begin(), patch.bytes.end()));
        entries_.push_back(std::move(patch.entry));
    }
    return kExitOk;
}

int OlpDeltas::AddList(UpdatePkWriter& writer) {
    std::string text;
    if (!FormatDeltaList(entries_, &text)) return Fail(kExitFailed, "cannot write %s", kDeltaListName);
    writer.Add(kDeltaListName, std::vector<uint8_t>(text.begin(), text.end()));
    return kExitOk;
}

void OlpDeltas::PrintSummary() const {
    std::printf("%zu files whole, %zu patches listed in %s, %zu unchanged files left out\n", whole_,
                entries_.size(), kDeltaListName, leftOut_);
}
