#include "bench/bench_pak_common.h"

#include "pak/pak_paths.h"

namespace {

void RemoveTree(const std::string& dir) {
    for (const std::string& name : platform::FindFiles(dir.c_str(), "*")) platform::RemoveFile((dir + "/" + name).c_str());
    for (const std::string& sub : platform::FindSubdirectories(dir.c_str())) RemoveTree(dir + "/" + sub);
    platform::RemoveEmptyDirectory(dir.c_str());
}

}  // namespace

BenchScratchDir::BenchScratchDir(const char* tag) : previous_(platform::CurrentDirectory()) {
    path_ = platform::TempDirectory() + "/kvo-bench-" + tag + "-" + std::to_string(platform::TickCountMs());
    platform::MakeDirectory(path_.c_str());
    platform::ChangeDirectory(path_.c_str());
    SetRootPath(".");
    SetWorkPath("\\");
}

BenchScratchDir::~BenchScratchDir() {
    platform::ChangeDirectory(previous_.c_str());
    RemoveTree(path_);
}

std::vector<uint8_t> BenchGameData(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        const bool noisy = (i / 512) % 2 == 1;
        out[i] = noisy ? static_cast<uint8_t>(state >> 24) : static_cast<uint8_t>("item=sword,level 10\r\n"[i % 21]);
    }
    return out;
}

bool BenchWriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    platform::FileHandle h = platform::OpenFileForWrite(name.c_str());
    if (h == platform::kInvalidFile) return false;
    const bool ok = platform::WriteToFile(h, bytes.data(), static_cast<uint32_t>(bytes.size())) == bytes.size();
    platform::CloseFile(h);
    return ok;
}

int64_t BenchFileSize(const std::string& name) {
    platform::FileHandle h = platform::OpenFileForRead(name.c_str());
    if (h == platform::kInvalidFile) return -1;
    const int64_t size = platform::FileSize(h);
    platform::CloseFile(h);
    return size;
}
