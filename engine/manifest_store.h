// Where manifest text comes from and goes to. The driver lends one store per run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The source of a manifest load: a memory block (a downloaded or packaged "update.inf"),
// or the path of a pack whose member "update.inf" holds the text. The kind is explicit,
// so a block of any size is never mistaken for a path.
struct ManifestSource {
    const void* bytes = nullptr;
    size_t size = 0;
    const char* packPath = nullptr;

    static ManifestSource Memory(const void* data, size_t length) {
        ManifestSource s;
        s.bytes = data;
        s.size = length;
        return s;
    }
    static ManifestSource Pack(const char* path) {
        ManifestSource s;
        s.packPath = path;
        return s;
    }
    bool IsPack() const { return packPath != nullptr; }
};

class ManifestStore {
public:
    virtual ~ManifestStore() = default;
    // Appends the source's text to `stream`. Always 0: a missing pack or member leaves the
    // stream as it was. With `deleteAfter`, a pack whose member was read is deleted.
    virtual int32_t Load(const ManifestSource& source, std::string& stream, bool deleteAfter) = 0;
    // Writes `stream` to the file "update.inf" in the current directory. 0; kStoreBadName
    // when `name` is not exactly "update.inf"; kStoreCannotOpen when the file cannot be
    // opened.
    virtual int32_t Save(const char* name, const std::string& stream) = 0;
};

// The store of update runs: packs through the pack reader, the file in the current
// directory.
class PackManifestStore : public ManifestStore {
public:
    int32_t Load(const ManifestSource& source, std::string& stream, bool deleteAfter) override;
    int32_t Save(const char* name, const std::string& stream) override;
};
