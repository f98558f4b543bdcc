#include "engine/partial_downloads.h"

#include <algorithm>
#include <cstdlib>

#include "common/gbk.h"
#include "engine/md5.h"
#include "engine/text_fields.h"
#include "net/local_file.h"
#include "net/server_name.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"

// The journal is a log of changes, one line each, appended as they happen, so a change costs
// the same however many partials there are: "S" starts a partial (every field of its entry),
// "B" notes the bytes it holds, "F" forgets it. Each line ends with a check of its own text;
// a line cut short by a kill or a power cut fails it, and the log is read up to there, which
// leaves the state before that change. A log that has grown well beyond its live entries is
// written anew in one step (beside it, then moved over it). Paths are written relative to
// the installation folder, so a copied installation continues its own partials, never the
// original folder's.

namespace {

constexpr const char* kJournalHeader = "KVO partial downloads 2";
constexpr char kFieldSeparator = '\t';
constexpr char kLineEnd = '\n';
constexpr char kOpStart = 'S';
constexpr char kOpBytes = 'B';
constexpr char kOpForget = 'F';
constexpr size_t kStartFields = 7;  // op, name, partial, remote, size, digest, check
constexpr size_t kBytesFields = 4;  // op, name, bytes, check
constexpr size_t kForgetFields = 3; // op, name, check
constexpr size_t kCheckChars = 8;   // of the line's MD5 text
// More entries than any run keeps at once; a longer journal is damaged.
constexpr size_t kMaxEntries = 65536;
constexpr uint64_t kMaxJournalBytes = 64u << 20;
// The log is written anew once it holds this many lines more than twice its entries.
constexpr size_t kCompactSlackLines = 256;

bool IsFieldText(const std::string& text) {
    return !text.empty() && text.find_first_of("\t\r\n") == std::string::npos;
}

std::string CheckOf(const std::string& text) { return Md5Text(text.data(), text.size()).substr(0, kCheckChars); }

// A log line: the fields, then the check of everything before it.
std::string LogLine(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& f : fields) {
        text += f;
        text += kFieldSeparator;
    }
    return text + CheckOf(text) + kLineEnd;
}

// The fields of a whole, unaltered line without its check; empty when it fails it.
std::vector<std::string> CheckedFields(const std::string& line) {
    const size_t lastSeparator = line.rfind(kFieldSeparator);
    if (lastSeparator == std::string::npos) return {};
    if (line.substr(lastSeparator + 1) != CheckOf(line.substr(0, lastSeparator + 1))) return {};
    std::vector<std::string> fields = SplitFields(line.substr(0, lastSeparator), kFieldSeparator);
    for (const std::string& f : fields) {
        if (f.empty()) return {};
    }
    return fields;
}

bool ParseBytes(const std::string& text, uint64_t* bytes) {
    char* end = nullptr;
    *bytes = std::strtoull(text.c_str(), &end, 10);
    return end != nullptr && *end == '\0' && text.find_first_not_of("0123456789") == std::string::npos;
}

// The file-name part of `path`, ASCII letters lowered: how the leftover sweep knows a file.
std::string FoldedFileName(const std::string& path) {
    std::string name = path.substr(gbk::FileNameStart(path.data(), path.size()));
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// The folder part of `path` (up to its last separator), split into its parts.
std::vector<std::string> FolderParts(const std::string& path) {
    return gbk::SplitPath(path.substr(0, gbk::FileNameStart(path.data(), path.size())));
}

// `path` as the journal holds it: relative to the installation folder, and only when it is
// a temporary file the tool makes, in the installation folder itself (a pack member's) or in
// the folder of its target `name` (a loose file's). "" for anything else: an absolute path
// elsewhere (the folder an installation was copied from), a way out through "..", a drive,
// a device or stream, another folder, any installed or own file of the installation.
// Earlier journals hold the pack's partials as absolute paths into the installation.
std::string JournaledPathOf(const std::string& path, const std::string& name) {
    std::string relative = path;
    const std::string& installDir = GetInstallDir();
    if (!installDir.empty() && gbk::IsPathSeparator(installDir.back()) &&
        relative.compare(0, installDir.size(), installDir) == 0) {
        relative.erase(0, installDir.size());
    }
    while (relative.size() > 2 && relative[0] == '.' && gbk::IsPathSeparator(relative[1])) relative.erase(0, 2);
    if (!IsSafeRelativeName(relative)) return std::string();
    const size_t fileStart = gbk::FileNameStart(relative.data(), relative.size());
    if (!IsTempFileName(relative.substr(fileStart))) return std::string();
    if (fileStart != 0 && FolderParts(relative) != FolderParts(name)) return std::string();
    return relative;
}

void RemovePartialFile(const std::string& path) {
    platform::SetFileAttributesNormal(path.c_str());
    platform::RemoveFile(path.c_str());
}

bool BelongsTo(const PartialDownload& entry, const ManifestRecord& record) {
    return entry.name == record.name && entry.remotePath == record.remotePath && entry.size == record.size &&
           entry.digest == record.digest;
}

std::string StartLine(const PartialDownload& e) {
    return LogLine({std::string(1, kOpStart), e.name, e.journaledPath, e.remotePath, e.size, e.digest});
}

}  // namespace

PartialDownloads::PartialDownloads(std::string journalPath) : journalPath_(std::move(journalPath)) {}

bool PartialDownloads::Apply(const std::vector<std::string>& f) {
    if (f[0].size() != 1) return false;
    const char op = f[0][0];
    if (op == kOpStart && f.size() == kStartFields - 1) {
        Drop(f[1]);
        if (entries_.size() == kMaxEntries) return false;
        // A whole line naming a file that is not ours is read past and never touched.
        const std::string path = JournaledPathOf(f[2], f[1]);
        if (!path.empty()) entries_.push_back(PartialDownload{f[1], path, path, f[3], f[4], f[5], 0});
        return true;
    }
    if (op == kOpBytes && f.size() == kBytesFields - 1) {
        uint64_t bytes = 0;
        if (!ParseBytes(f[2], &bytes)) return false;
        auto entry = Entry(f[1]);
        if (entry != entries_.end()) entry->bytesOnDisk = bytes;
        return true;
    }
    if (op == kOpForget && f.size() == kForgetFields - 1) {
        Drop(f[1]);
        return true;
    }
    return false;
}

void PartialDownloads::Load() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    entries_.clear();
    logLines_ = 0;
    if (!platform::FileExists(journalPath_.c_str())) return;
    std::vector<uint8_t> bytes;
    const bool read = ReadWholeLocalFile(journalPath_.c_str(), kMaxJournalBytes, bytes);
    const std::string text(bytes.begin(), bytes.end());
    const size_t headerEnd = text.find(kLineEnd);
    if (!read || headerEnd == std::string::npos || text.compare(0, headerEnd, kJournalHeader) != 0) {
        // No journal of ours: it goes, so the changes to come are not appended to it.
        Rewrite();
        return;
    }
    size_t start = headerEnd + 1;
    // Read up to the first line that is cut short or fails its check: the changes before it
    // are the journal's state.
    while (start < text.size()) {
        const size_t end = text.find(kLineEnd, start);
        if (end == std::string::npos) break;
        const std::vector<std::string> fields = CheckedFields(text.substr(start, end - start));
        if (fields.empty() || !Apply(fields)) break;
        ++logLines_;
        start = end + 1;
    }
    // A torn tail is cut off by writing the log anew, so later lines follow whole ones.
    if (start < text.size() || logLines_ > 2 * entries_.size() + kCompactSlackLines) Rewrite();
}

bool PartialDownloads::Rewrite() {
    if (entries_.empty()) {
        platform::SetFileAttributesNormal(journalPath_.c_str());
        platform::RemoveFile(journalPath_.c_str());
        logLines_ = 0;
        return !platform::FileExists(journalPath_.c_str());
    }
    std::string text = std::string(kJournalHeader) + kLineEnd;
    for (const PartialDownload& e : entries_) {
        text += StartLine(e);
        text += LogLine({std::string(1, kOpBytes), e.name, std::to_string(e.bytesOnDisk)});
    }
    logLines_ = 2 * entries_.size();
    // Written beside and moved over the old journal in one step: a kill at any moment
    // leaves the old journal or the new one.
    return ReplaceFileContent(journalPath_.c_str(), text.data(), text.size());
}

bool PartialDownloads::Append(const std::string& line) {
    if (!platform::FileExists(journalPath_.c_str()) || logLines_ > 2 * entries_.size() + kCompactSlackLines) {
        return Rewrite();
    }
    platform::OwnedFile file(OpenLocalFileAt(journalPath_.c_str(), LocalFileLength(journalPath_.c_str())));
    if (!file.valid()) return false;
    ++logLines_;
    return platform::WriteToFile(file.get(), line.data(), static_cast<uint32_t>(line.size())) == line.size();
}

void PartialDownloads::Drop(const std::string& name) {
    auto entry = Entry(name);
    if (entry != entries_.end()) entries_.erase(entry);
}

std::list<PartialDownload>::iterator PartialDownloads::Entry(const std::string& name) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const PartialDownload& e) { return e.name == name; });
}

const PartialDownload* PartialDownloads::Find(const ManifestRecord& record) const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (const PartialDownload& e : entries_) {
        if (BelongsTo(e, record) && platform::FileExists(e.partialPath.c_str())) return &e;
    }
    return nullptr;
}

bool PartialDownloads::Start(const ManifestRecord& record, const std::string& partialPath) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (const std::string* field : {&record.name, &partialPath, &record.remotePath, &record.size, &record.digest}) {
        if (!IsFieldText(*field)) return false;
    }
    const std::string journaled = JournaledPathOf(partialPath, record.name);
    if (journaled.empty()) return false;
    auto old = Entry(record.name);
    if (old != entries_.end() && old->journaledPath != journaled) RemovePartialFile(old->partialPath);
    Drop(record.name);
    entries_.push_back(
        PartialDownload{record.name, partialPath, journaled, record.remotePath, record.size, record.digest, 0});
    if (Append(StartLine(entries_.back()))) return true;
    entries_.pop_back();
    return false;
}

bool PartialDownloads::StartIfNone(const ManifestRecord& record, const std::string& partialPath) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return Entry(record.name) == entries_.end() && Start(record, partialPath);
}

std::string PartialDownloads::FindOrStart(const ManifestRecord& record, const std::function<std::string()>& makePath) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (const PartialDownload* kept = Find(record)) return kept->partialPath;
    std::string path = makePath();
    // A partial that cannot be journaled still downloads; it is only not kept for later.
    if (!path.empty()) Start(record, path);
    return path;
}

void PartialDownloads::NoteBytes(const std::string& name, uint64_t bytes) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto entry = Entry(name);
    if (entry == entries_.end() || entry->bytesOnDisk == bytes) return;
    entry->bytesOnDisk = bytes;
    Append(LogLine({std::string(1, kOpBytes), name, std::to_string(bytes)}));
}

void PartialDownloads::Forget(const std::string& name, bool removeFile) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto entry = Entry(name);
    if (entry == entries_.end()) return;
    if (removeFile) RemovePartialFile(entry->partialPath);
    entries_.erase(entry);
    if (entries_.empty()) {
        Rewrite();
    } else {
        Append(LogLine({std::string(1, kOpForget), name}));
    }
}

void PartialDownloads::KeepOnly(const std::vector<ManifestRecord>& wanted) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const size_t before = entries_.size();
    entries_.remove_if([&](const PartialDownload& e) {
        const bool listed = std::any_of(wanted.begin(), wanted.end(),
                                        [&](const ManifestRecord& r) { return BelongsTo(e, r); });
        if (!listed) RemovePartialFile(e.partialPath);
        return !listed;
    });
    if (entries_.size() != before || (entries_.empty() && platform::FileExists(journalPath_.c_str()))) Rewrite();
}

uint64_t PartialDownloads::BytesOnDisk(const std::vector<ManifestRecord>& records) const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    uint64_t total = 0;
    for (const ManifestRecord& r : records) {
        if (const PartialDownload* e = Find(r)) total += LocalFileLength(e->partialPath.c_str());
    }
    return total;
}

std::set<std::string> PartialDownloads::PartialFileNames() const {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    std::set<std::string> names;
    for (const PartialDownload& e : entries_) names.insert(FoldedFileName(e.partialPath));
    return names;
}
