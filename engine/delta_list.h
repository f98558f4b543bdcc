// The delta list: the patches a publication offers, published beside the update list under
// a name older updaters never request. One entry per patch: which file, which old content it
// applies to (MD5 and size), the content it gives (MD5 and size), and where the patch lies
// (remote path, size, MD5). Read from the network, so the parser trusts nothing.
//
// The text: the first line is kDeltaListHeader, then one line per entry of eight fields
// separated by a tab, each line ending in CR LF:
//   name  old-md5  old-size  new-md5  new-size  patch-path  patch-size  patch-md5
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr const char* kDeltaListName = "update.dlt";
constexpr const char* kDeltaListHeader = "KVO delta list 1";
// A list larger than this or with more entries is refused whole.
constexpr size_t kDeltaListMaxBytes = 8u << 20;
constexpr size_t kDeltaListMaxEntries = 65536;
// Files smaller than this get no patch: one pack block, fetched whole in about the time a
// request for its patch takes.
constexpr uint64_t kDeltaMinFileSize = 64 * 1024;
// Where paktool puts the patches, below the publication's folder.
constexpr const char* kDeltaPatchDir = "delta/";

struct DeltaEntry {
    std::string name;        // the file's relative name, as the update list has it
    std::string oldMd5;      // 32 lowercase hexadecimal digits
    uint64_t oldSize = 0;
    std::string newMd5;
    uint64_t newSize = 0;
    std::string patchPath;   // remote path of the patch
    uint64_t patchSize = 0;
    std::string patchMd5;

    bool operator==(const DeltaEntry& o) const {
        return name == o.name && oldMd5 == o.oldMd5 && oldSize == o.oldSize && newMd5 == o.newMd5 &&
               newSize == o.newSize && patchPath == o.patchPath && patchSize == o.patchSize &&
               patchMd5 == o.patchMd5;
    }
};

// The list text of `entries`; false when an entry cannot be written as a valid line (a name
// or path holding a tab, CR or LF, a bad digest, a size beyond the limits).
bool FormatDeltaList(const std::vector<DeltaEntry>& entries, std::string* text);

// Parses `text`; false (and `entries` empty) for anything but a whole, valid list: a wrong
// header, a line of another field count, a bad digest or size, an unsafe patch path, too
// many entries or bytes.
bool ParseDeltaList(const std::string& text, std::vector<DeltaEntry>* entries);

// The entry that turns content of MD5 `oldMd5` and `oldSize` bytes of file `name` into
// content of MD5 `newMd5`; nullptr when the list has none.
const DeltaEntry* FindDeltaEntry(const std::vector<DeltaEntry>& entries, const std::string& name,
                                 const std::string& oldMd5, uint64_t oldSize, const std::string& newMd5);
