// Set-up shared by the pack benchmarks: a scratch directory under the system's temporary
// directory (current while the benchmark runs, removed afterwards) and member contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class BenchScratchDir {
public:
    explicit BenchScratchDir(const char* tag);
    ~BenchScratchDir();
    BenchScratchDir(const BenchScratchDir&) = delete;
    BenchScratchDir& operator=(const BenchScratchDir&) = delete;

private:
    std::string previous_;
    std::string path_;
};

// Game-like data: text lines with runs of pseudo-random bytes (compresses to about half).
std::vector<uint8_t> BenchGameData(size_t size, uint32_t seed);
bool BenchWriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
int64_t BenchFileSize(const std::string& name);
