#include "engine/partial_downloads.h"

#include <algorithm>
#include <cstdlib>

#include "common/gbk.h"
#include "net/local_file.h"
#include "platform/platform.h"

namespace {

// The journal's first line; a file that does not begin with it is no journal of ours.
constexpr const char* kJournalHeader = "KVO partial downloads 1";
constexpr char kFieldSeparator = '\t';
constexpr char kLineEnd = '\n';
constexpr size_t kFieldCount = 6;
// More entries than any run keeps at once; a longer journal is damaged.
constexpr size_t kMaxEntries = 4096;
constexpr uint64_t kMaxJournalBytes = 4u << 20;

// A text the journal can hold as one field.
bool IsFieldText(const std::string& text) {
    return !text.empty() && text.find_first_of("\t\r\n") == std::string::npos;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(kFieldSeparator, start);
        fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

bool ParseEntry(const std::string& line, PartialDownload* entry) {
    const std::vector<std::string> f = SplitFields(line);
    if (f.size() != kFieldCount) return false;
    for (const std::string& field : f) {
        if (field.empty()) return false;
    }
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(f[5].c_str(), &end, 10);
    if (end == nullptr || *end != '\0') return false;
    *entry = PartialDownload{f[0], f[1], f[2], f[3], f[4], bytes};
    return true;
}

// The file-name part of `path`, ASCII letters lowered: how the leftover sweep knows a file.
std::string FoldedFileName(const std::string& path) {
    std::string name = path.substr(gbk::FileNameStart(path.data(), path.size()));
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

void RemovePartialFile(const std::string& path) {
    platform::SetFileAttributesNormal(path.c_str());
    platform::RemoveFile(path.c_str());
}

bool BelongsTo(const PartialDownload& entry, const ManifestRecord& record) {
    return entry.name == record.name && entry.remotePath == record.remotePath && entry.size == record.size &&
           entry.digest == record.digest;
}

}  // namespace

PartialDownloads::PartialDownloads(std::string journalPath) : journalPath_(std::move(journalPath)) {}

void PartialDownloads::Load() {
    entries_.clear();
    std::vector<uint8_t> bytes;
    if (!ReadWholeLocalFile(journalPath_.c_str(), kMaxJournalBytes, bytes)) return;
    const std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    bool header = true;
    std::vector<PartialDownload> entries;
    while (start < text.size()) {
        const size_t end = text.find(kLineEnd, start);
        // Every line ends with its line end: a journal cut short is not read.
        if (end == std::string::npos) return;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (header) {
            if (line != kJournalHeader) return;
            header = false;
            continue;
        }
        PartialDownload entry;
        if (!ParseEntry(line, &entry) || entries.size() == kMaxEntries) return;
        entries.push_back(std::move(entry));
    }
    entries_ = std::move(entries);
}

bool PartialDownloads::Save() const {
    if (entries_.empty()) {
        platform::SetFileAttributesNormal(journalPath_.c_str());
        platform::RemoveFile(journalPath_.c_str());
        return !platform::FileExists(journalPath_.c_str());
    }
    std::string text = std::string(kJournalHeader) + kLineEnd;
    for (const PartialDownload& e : entries_) {
        for (const std::string* field : {&e.name, &e.partialPath, &e.remotePath, &e.size, &e.digest}) {
            text += *field;
            text += kFieldSeparator;
        }
        text += std::to_string(e.bytesOnDisk);
        text += kLineEnd;
    }
    // Written beside and moved over the old journal in one step: a kill at any moment
    // leaves the old journal or the new one.
    return ReplaceFileContent(journalPath_.c_str(), text.data(), text.size());
}

std::vector<PartialDownload>::iterator PartialDownloads::Entry(const std::string& name) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const PartialDownload& e) { return e.name == name; });
}

const PartialDownload* PartialDownloads::Find(const ManifestRecord& record) const {
    for (const PartialDownload& e : entries_) {
        if (BelongsTo(e, record) && platform::FileExists(e.partialPath.c_str())) return &e;
    }
    return nullptr;
}

bool PartialDownloads::Start(const ManifestRecord& record, const std::string& partialPath) {
    for (const std::string* field : {&record.name, &partialPath, &record.remotePath, &record.size, &record.digest}) {
        if (!IsFieldText(*field)) return false;
    }
    auto old = Entry(record.name);
    if (old != entries_.end()) {
        if (old->partialPath != partialPath) RemovePartialFile(old->partialPath);
        entries_.erase(old);
    }
    entries_.push_back(PartialDownload{record.name, partialPath, record.remotePath, record.size, record.digest, 0});
    if (Save()) return true;
    entries_.pop_back();
    return false;
}

void PartialDownloads::NoteBytes(const std::string& name, uint64_t bytes) {
    auto entry = Entry(name);
    if (entry == entries_.end() || entry->bytesOnDisk == bytes) return;
    entry->bytesOnDisk = bytes;
    Save();
}

void PartialDownloads::Forget(const std::string& name, bool removeFile) {
    auto entry = Entry(name);
    if (entry == entries_.end()) return;
    if (removeFile) RemovePartialFile(entry->partialPath);
    entries_.erase(entry);
    Save();
}

void PartialDownloads::KeepOnly(const std::vector<ManifestRecord>& wanted) {
    const size_t before = entries_.size();
    auto stale = std::remove_if(entries_.begin(), entries_.end(), [&](const PartialDownload& e) {
        const bool listed = std::any_of(wanted.begin(), wanted.end(),
                                        [&](const ManifestRecord& r) { return BelongsTo(e, r); });
        if (!listed) RemovePartialFile(e.partialPath);
        return !listed;
    });
    entries_.erase(stale, entries_.end());
    if (entries_.size() != before) Save();
}

uint64_t PartialDownloads::BytesOnDisk(const std::vector<ManifestRecord>& records) const {
    uint64_t total = 0;
    for (const ManifestRecord& r : records) {
        if (const PartialDownload* e = Find(r)) total += LocalFileLength(e->partialPath.c_str());
    }
    return total;
}

std::set<std::string> PartialDownloads::PartialFileNames() const {
    std::set<std::string> names;
    for (const PartialDownload& e : entries_) names.insert(FoldedFileName(e.partialPath));
    return names;
}
