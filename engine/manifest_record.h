// One record of an update manifest ("update.inf") and the collections the engine keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "net/server_name.h"

constexpr const char* kKindUnpack = "unpack";
constexpr const char* kDigestPrefixMd5 = "md5 ";
constexpr const char* kDigestPrefixTmp = "tmp ";
constexpr size_t kDigestPrefixLength = 4;
constexpr size_t kDigestTextLength = 36;  // prefix + 32 hexadecimal digits

struct ManifestRecord {
    std::string kind;        // "unpack": a loose file; anything else: kept in the patch pack
    std::string name;        // relative name; key of the record
    std::string digest;      // "md5 " + 32 lowercase digits (or "tmp " + digits locally)
    std::string size;        // decimal byte count
    std::string remotePath;  // path on the server, may carry a "$platform/" segment

    bool IsUnpack() const { return kind == kKindUnpack; }
    bool operator==(const ManifestRecord& o) const {
        return kind == o.kind && name == o.name && digest == o.digest && size == o.size &&
               remotePath == o.remotePath;
    }
};

// Local records keyed by name (byte order).
using LocalRecordSet = std::map<std::string, ManifestRecord>;
// Remote records in ascending byte order of name.
using RemoteRecordList = std::vector<ManifestRecord>;

// True for a 36-character digest text beginning with "md5 ".
bool IsMd5DigestText(const std::string& digest);
// True when `digest` from its fifth character on is the MD5 digest text of the `size`
// bytes at `bytes` (the 4-character prefix is not looked at).
bool DigestMatchesContent(const std::string& digest, const void* bytes, size_t size);
// True when `record` publishes the removal of its file: a pack-kind record whose content is
// the pack's removal marker, which takes the entry out of the pack (and a former loose file
// off the disk).
bool IsRemovalRecord(const ManifestRecord& record);
// The same for content whose MD5 is already known as 32 hexadecimal digits (`Md5Text`).
bool DigestMatchesMd5Text(const std::string& digest, const std::string& md5Text);
