#include "engine/delta_list.h"

#include <cstring>

#include "engine/delta_patch.h"
#include "engine/text_fields.h"

namespace {

constexpr size_t kFieldCount = 8;
constexpr size_t kMd5Digits = 32;
constexpr size_t kMaxSizeDigits = 19;  // fits uint64_t
constexpr size_t kMaxPathLength = 1024;
constexpr const char* kLineEnd = "\r\n";
constexpr char kSeparator = '\t';

bool IsMd5(const std::string& s) {
    if (s.size() != kMd5Digits) return false;
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool ParseSize(const std::string& s, uint64_t limit, uint64_t* value) {
    if (s.empty() || s.size() > kMaxSizeDigits || (s.size() > 1 && s[0] == '0')) return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v >= limit) return false;
    *value = v;
    return true;
}

// A name or path field: not empty, no control characters (tab, CR and LF among them).
bool IsPlainText(const std::string& s) {
    if (s.empty() || s.size() > kMaxPathLength) return false;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// A patch path stays inside the publication: relative, '/' separated, no "." or ".."
// segment, no drive or backslash.
bool IsSafeRemotePath(const std::string& path) {
    if (!IsPlainText(path) || path[0] == '/' || path.find('\\') != std::string::npos ||
        path.find(':') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

bool IsValidEntry(const DeltaEntry& e) {
    // A patch never outgrows the compressor's bound of its result, plus a frame's headers.
    const uint64_t maxPatch = kDeltaMaxContentSize + kDeltaMaxContentSize / 128 + 4096;
    return IsPlainText(e.name) && IsMd5(e.oldMd5) && IsMd5(e.newMd5) && IsMd5(e.patchMd5) &&
           e.oldSize < kDeltaMaxContentSize && e.newSize < kDeltaMaxContentSize &&
           e.patchSize > 0 && e.patchSize < maxPatch && IsSafeRemotePath(e.patchPath) &&
           !(e.oldMd5 == e.newMd5 && e.oldSize == e.newSize);
}

bool ParseEntry(const std::string& line, DeltaEntry* e) {
    const std::vector<std::string> f = SplitFields(line, kSeparator);
    if (f.size() != kFieldCount) return false;
    e->name = f[0];
    e->oldMd5 = f[1];
    e->newMd5 = f[3];
    e->patchPath = f[5];
    e->patchMd5 = f[7];
    const uint64_t noLimit = ~uint64_t{0};
    return ParseSize(f[2], noLimit, &e->oldSize) && ParseSize(f[4], noLimit, &e->newSize) &&
           ParseSize(f[6], noLimit, &e->patchSize) && IsValidEntry(*e);
}

}  // namespace

bool FormatDeltaList(const std::vector<DeltaEntry>& entries, std::string* text) {
    text->clear();
    if (entries.size() > kDeltaListMaxEntries) return false;
    std::string out = std::string(kDeltaListHeader) + kLineEnd;
    for (const DeltaEntry& e : entries) {
        if (!IsValidEntry(e)) return false;
        const std::string fields[kFieldCount] = {
            e.name,      e.oldMd5, std::to_string(e.oldSize), e.newMd5, std::to_string(e.newSize),
            e.patchPath, std::to_string(e.patchSize), e.patchMd5};
        for (size_t i = 0; i < kFieldCount; ++i) {
            if (i > 0) out += kSeparator;
            out += fields[i];
        }
        out += kLineEnd;
    }
    if (out.size() > kDeltaListMaxBytes) return false;
    text->swap(out);
    return true;
}

bool ParseDeltaList(const std::string& text, std::vector<DeltaEntry>* entries) {
    entries->clear();
    if (text.size() > kDeltaListMaxBytes) return false;
    std::vector<DeltaEntry> parsed;
    const size_t endLength = std::strlen(kLineEnd);
    size_t pos = 0;
    bool headerSeen = false;
    while (pos < text.size()) {
        const size_t end = text.find(kLineEnd, pos);
        if (end == std::string::npos) return false;  // every line, the last too, ends in CR LF
        const std::string line = text.substr(pos, end - pos);
        pos = end + endLength;
        if (!headerSeen) {
            if (line != kDeltaListHeader) return false;
            headerSeen = true;
            continue;
        }
        if (parsed.size() == kDeltaListMaxEntries) return false;
        DeltaEntry e;
        if (!ParseEntry(line, &e)) return false;
        parsed.push_back(std::move(e));
    }
    if (!headerSeen) return false;
    entries->swap(parsed);
    return true;
}

const DeltaEntry* FindDeltaEntry(const std::vector<DeltaEntry>& entries, const std::string& name,
                                 const std::string& oldMd5, uint64_t oldSize, const std::string& newMd5) {
    for (const DeltaEntry& e : entries) {
        if (e.name == name && e.oldMd5 == oldMd5 && e.oldSize == oldSize && e.newMd5 == newMd5) return &e;
    }
    return nullptr;
}
