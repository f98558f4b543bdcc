#include "tests/pak/pak_test_util.h"

#include <atomic>
#include <cstring>
#include <random>

#include "common/show_status.h"
#include "pak/pak_codec.h"
#include "pak/pak_log.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "text/message_box.h"

const int32_t kAllPakMethods[5] = {kPakMethodLzma, kPakMethodZlib, kPakMethodStored, kPakMethodLha, kPakMethodLzo};

bool PakMethodAvailable(int32_t method) {
    PakCodec* codec = CreatePakCodec(method);
    if (codec == nullptr) return false;
    DestroyPakCodec(codec, method);
    return true;
}

namespace {

void RemoveTree(const std::string& dir) {
    for (const std::string& name : platform::FindFiles(dir.c_str(), "*")) {
        platform::SetFileAttributesNormal((dir + "/" + name).c_str());
        platform::RemoveFile((dir + "/" + name).c_str());
    }
    for (const std::string& sub : platform::FindSubdirectories(dir.c_str())) RemoveTree(dir + "/" + sub);
    platform::RemoveEmptyDirectory(dir.c_str());
}

}  // namespace

PakScratchDir::PakScratchDir() : previous_(platform::CurrentDirectory()) {
    // ctest runs test cases in parallel processes: the name must differ between them too.
    static std::atomic<int> counter{0};
    static const unsigned processTag = std::random_device{}();
    path_ = platform::TempDirectory() + "/kvo-pak-" + std::to_string(processTag) + "-" +
            std::to_string(platform::TickCountMs()) + "-" + std::to_string(counter++);
    RemoveTree(path_);
    ok_ = platform::MakeDirectory(path_.c_str()) && platform::ChangeDirectory(path_.c_str());
    SetRootPath(".");
    SetWorkPath("\\");
    SetPakOpenMode(0);
}

PakScratchDir::~PakScratchDir() {
    platform::ChangeDirectory(previous_.c_str());
    RemoveTree(path_);
    SetRootPath(".");
    SetWorkPath("\\");
    SetPakOpenMode(0);
}

bool WriteBytes(const std::string& name, const PakBytes& bytes) {
    platform::FileHandle h = platform::OpenFileForWrite(name.c_str());
    if (h == platform::kInvalidFile) return false;
    const uint32_t n = static_cast<uint32_t>(bytes.size());
    const bool ok = n == 0 || platform::WriteToFile(h, bytes.data(), n) == n;
    platform::CloseFile(h);
    return ok;
}

bool WriteText(const std::string& name, const std::string& text) {
    return WriteBytes(name, PakBytes(text.begin(), text.end()));
}

PakBytes ReadBytes(const std::string& name, bool* exists) {
    PakBytes out;
    platform::FileHandle h = platform::OpenFileForRead(name.c_str());
    if (exists != nullptr) *exists = h != platform::kInvalidFile;
    if (h == platform::kInvalidFile) return out;
    out.resize(static_cast<size_t>(platform::FileSize(h)));
    if (!out.empty()) out.resize(platform::ReadFromFile(h, out.data(), static_cast<uint32_t>(out.size())));
    platform::CloseFile(h);
    return out;
}

bool FileThere(const std::string& name) { return platform::FileExists(name.c_str()); }

bool WriteSizedFile(const std::string& name, uint64_t size) {
    platform::FileHandle h = platform::OpenFileForWrite(name.c_str());
    if (h == platform::kInvalidFile) return false;
    const uint8_t last = 0x5A;
    const bool ok = size == 0 || (platform::SeekFile(h, static_cast<int64_t>(size - 1), platform::SeekOrigin::Begin) >= 0 &&
                                  platform::WriteToFile(h, &last, 1) == 1);
    platform::CloseFile(h);
    return ok;
}

PakBytes TextBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"sword", "shield", "[item]", "name=", "price=", "\r\n", "level", "1024"};
    PakBytes out;
    out.reserve(size);
    uint32_t state = seed * 2654435761u + 7;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* word = kWords[(state >> 16) % 8];
        for (const char* p = word; *p != '\0' && out.size() < size; ++p) out.push_back(static_cast<uint8_t>(*p));
        if (out.size() < size) out.push_back(static_cast<uint8_t>('0' + (state >> 24) % 10));
    }
    return out;
}

PakBytes RandomBytes(size_t size, uint32_t seed) {
    PakBytes out(size);
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint8_t& b : out) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

namespace {

std::vector<std::string> g_statusLines;
std::vector<std::string> g_boxes;
std::vector<std::string> g_log;

bool RecordStatus(char* copy, size_t length) {
    g_statusLines.emplace_back(copy, length >= 2 ? length - 2 : length);  // without CR LF
    return false;                                                         // ShowStatus frees it
}

int RecordBox(const char* text, const char*, unsigned) {
    g_boxes.emplace_back(text != nullptr ? text : "");
    return platform::kIdOk;
}

void RecordLog(const char* text) { g_log.emplace_back(text); }

}  // namespace

StatusLines::StatusLines() {
    g_statusLines.clear();
    SetStatusReceiver(RecordStatus);
}
StatusLines::~StatusLines() { SetStatusReceiver(nullptr); }
std::vector<std::string>& StatusLines::Lines() { return g_statusLines; }
bool StatusLines::Has(const char* text) const {
    for (const std::string& line : g_statusLines) {
        if (line == text) return true;
    }
    return false;
}

BoxesAndLog::BoxesAndLog() {
    g_boxes.clear();
    g_log.clear();
    SetMessageBoxHook(RecordBox);
    SetPakLogReceiver(RecordLog);
}
BoxesAndLog::~BoxesAndLog() {
    SetMessageBoxHook(nullptr);
    SetPakLogReceiver(nullptr);
}
std::vector<std::string>& BoxesAndLog::Boxes() { return g_boxes; }
std::vector<std::string>& BoxesAndLog::Log() { return g_log; }
namespace {

bool RefuseReadOnlyTarget(platform::FileOp op, const char* path) {
    return op != platform::FileOp::Replace || path == nullptr || !platform::IsFileReadOnly(path);
}

}  // namespace

ReadOnlyTargetsRefuseReplace::ReadOnlyTargetsRefuseReplace()
    : previous_(platform::SetFileFaultHook(RefuseReadOnlyTarget)) {}
ReadOnlyTargetsRefuseReplace::~ReadOnlyTargetsRefuseReplace() { platform::SetFileFaultHook(previous_); }

bool BoxesAndLog::LogHas(const std::string& text) const {
    for (const std::string& line : g_log) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

uint32_t Get32(const PakBytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}

void Put32(PakBytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put16(PakBytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

namespace {

constexpr size_t kBlock = 65536;

void Append(PakBytes& out, const uint8_t* data, size_t n) { out.insert(out.end(), data, data + n); }

// Appends one entry's data area.
void AppendEntry(PakBytes& out, PakCodec& codec, const PakBytes& content, bool padStoredLast) {
    const size_t blocks = (content.size() + kBlock - 1) / kBlock;
    const size_t tableAt = out.size();
    out.resize(out.size() + 2 * blocks, 0);
    PakBytes packed(66579);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t n = std::min(kBlock, content.size() - b * kBlock);
        PakBytes plain(content.begin() + b * kBlock, content.begin() + b * kBlock + n);
        PakCodecJob job{plain.data(), static_cast<uint32_t>(n), packed.data(), 66579};
        codec.Encode(job);
        if (job.packedSize != 0 && job.packedSize < n) {
            Put16(out, tableAt + 2 * b, static_cast<uint16_t>(job.packedSize));
            Append(out, packed.data(), job.packedSize);
        } else {
            Append(out, plain.data(), n);
            if (padStoredLast && n < kBlock) out.resize(out.size() + (kBlock - n), 0xEE);
        }
    }
}

}  // namespace

HandPack BuildHandPack(int32_t method, const std::vector<HandEntry>& entries, const HandOptions& options) {
    HandPack pack;
    PakBytes& out = pack.bytes;
    out.resize(16 + 12 * entries.size(), 0);
    std::memcpy(out.data(), options.magic, 8);
    Put32(out, 8, static_cast<uint32_t>(entries.size()));
    Put32(out, 12, static_cast<uint32_t>(method));
    PakCodec* codec = CreatePakCodec(method);
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = 16 + 12 * i;
        Put32(out, at, CalcFoldedFileId(entries[i].name.c_str()));
        Put32(out, at + 4, static_cast<uint32_t>(out.size()));
        Put32(out, at + 8, static_cast<uint32_t>(entries[i].content.size()));
        pack.offsets.push_back(static_cast<uint32_t>(out.size()));
        if (codec != nullptr) AppendEntry(out, *codec, entries[i].content, options.padStoredLastBlock);
    }
    if (codec != nullptr) DestroyPakCodec(codec, method);
    return pack;
}
