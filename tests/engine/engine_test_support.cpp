#include "tests/engine/engine_test_support.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <iterator>

#include "common/show_status.h"
#include "text/message_box.h"

namespace enginetest {

namespace fs = std::filesystem;

namespace {
UiRecorder* g_recorder = nullptr;
std::atomic<int> g_scratchCounter{0};

int RecordBox(const char* text, const char* caption, unsigned flags) {
    if (g_recorder == nullptr) return platform::kIdOk;
    g_recorder->boxes.push_back({text ? text : "", caption ? caption : "<none>", flags});
    return (flags & 0xF) == platform::kMbYesNo ? g_recorder->answer : platform::kIdOk;
}

bool RecordStatus(char* copy, size_t length) {
    if (g_recorder != nullptr) g_recorder->statuses.emplace_back(copy, length >= 2 ? length - 2 : length);
    return false;
}
}  // namespace

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

void WriteFile(const std::string& path, const std::string& content) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string Noise(size_t n, uint32_t seed) {
    std::string out(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<char>(seed >> 16);
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return fs::exists(path); }

ScratchDir::ScratchDir() : previous_(fs::current_path().string()) {
    // ctest runs test cases in parallel processes: the name must differ between them too.
    static const unsigned processTag = std::random_device{}();
    const fs::path dir = fs::temp_directory_path() /
                         ("engine-test-" + std::to_string(processTag) + "-" +
                          std::to_string(static_cast<long>(platform::TickCountMs())) + "-" +
                          std::to_string(g_scratchCounter.fetch_add(1)));
    fs::remove_all(dir);
    fs::create_directories(dir);
    path_ = dir.string();
    fs::current_path(dir);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
}

UiRecorder::UiRecorder(int answerGiven) : answer(answerGiven) {
    g_recorder = this;
    SetMessageBoxHook(RecordBox);
    SetStatusReceiver(RecordStatus);
}

UiRecorder::~UiRecorder() {
    SetStatusReceiver(nullptr);
    SetMessageBoxHook(nullptr);
    g_recorder = nullptr;
}

bool UiRecorder::HasStatus(const std::string& text) const {
    for (const std::string& s : statuses) {
        if (s == text) return true;
    }
    return false;
}

bool UiRecorder::HasStatusContaining(const std::string& part) const {
    for (const std::string& s : statuses) {
        if (s.find(part) != std::string::npos) return true;
    }
    return false;
}

bool UiRecorder::HasBoxCaption(const std::string& caption) const {
    for (const RecordedBox& b : boxes) {
        if (b.caption == caption) return true;
    }
    return false;
}

}  // namespace enginetest
