// Helpers of the pack library tests: a scratch working directory, whole-file access,
// recorders for status lines, message boxes and log lines, and an independent pack builder
// that lays packs out byte by byte (so the reader is also checked against packs that the
// library's own writer did not make).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/pak/codec_test_data.h"

using PakBytes = std::vector<uint8_t>;

// Every compression method a pack may name.
extern const int32_t kAllPakMethods[5];
// True when this build has a codec for `method`.
bool PakMethodAvailable(int32_t method);

// A fresh, empty directory made current for the test's lifetime; removed afterwards with
// everything in it. Also sets the root path "." and the work path "\" and the open mode 0.
class PakScratchDir {
public:
    PakScratchDir();
    ~PakScratchDir();
    PakScratchDir(const PakScratchDir&) = delete;
    PakScratchDir& operator=(const PakScratchDir&) = delete;
    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

private:
    std::string previous_;
    std::string path_;
    bool ok_ = false;
};

bool WriteBytes(const std::string& name, const PakBytes& bytes);
bool WriteText(const std::string& name, const std::string& text);
// The content of `name`; `exists` tells whether it could be read.
PakBytes ReadBytes(const std::string& name, bool* exists = nullptr);
bool FileThere(const std::string& name);
// Makes `name` `size` bytes long without writing them (a sparse file where supported).
bool WriteSizedFile(const std::string& name, uint64_t size);

// Deterministic contents.
PakBytes TextBytes(size_t size, uint32_t seed = 0);    // compressible
PakBytes RandomBytes(size_t size, uint32_t seed = 1);  // incompressible

// Records ShowStatus lines while alive.
class StatusLines {
public:
    StatusLines();
    ~StatusLines();
    static std::vector<std::string>& Lines();
    bool Has(const char* text) const;
};

// Records message boxes (instead of showing them) and PakLog lines while alive.
class BoxesAndLog {
public:
    BoxesAndLog();
    ~BoxesAndLog();
    static std::vector<std::string>& Boxes();
    static std::vector<std::string>& Log();
    bool LogHas(const std::string& text) const;
};

// While alive, replacing a read-only file fails, as it does on Windows (Wine and POSIX
// replace it anyway), so a test sees whether the writer cleared the attribute first.
class ReadOnlyTargetsRefuseReplace {
public:
    ReadOnlyTargetsRefuseReplace();
    ~ReadOnlyTargetsRefuseReplace();
    ReadOnlyTargetsRefuseReplace(const ReadOnlyTargetsRefuseReplace&) = delete;
    ReadOnlyTargetsRefuseReplace& operator=(const ReadOnlyTargetsRefuseReplace&) = delete;

private:
    platform::FileFaultHook previous_;
};

// One member of a hand-built pack.
struct HandEntry {
    std::string name;  // folded for its id
    PakBytes content;
};

struct HandOptions {
    const char* magic = "DATAPACK";
    bool padStoredLastBlock = true;  // pad a plain last block to 65536 bytes
};

struct HandPack {
    PakBytes bytes;
    std::vector<uint32_t> offsets;  // of each entry's data area, in the given order
};

// Lays the entries out in the given order (index and data), coding every block with
// `method`'s codec and storing the blocks that do not shrink plain.
HandPack BuildHandPack(int32_t method, const std::vector<HandEntry>& entries, const HandOptions& options = {});

// Little-endian field access in test data.
uint32_t Get32(const PakBytes& b, size_t at);
void Put32(PakBytes& b, size_t at, uint32_t v);
void Put16(PakBytes& b, size_t at, uint16_t v);
