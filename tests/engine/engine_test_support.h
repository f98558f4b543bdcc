// Shared fixtures of the engine tests: a scratch directory that is the current directory
// for one test, file helpers, and recorders for message boxes, status lines and window
// notifications.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/notifier.h"
#include "engine/plugin_values.h"
#include "platform/platform.h"

namespace enginetest {

std::vector<uint8_t> Bytes(const std::string& text);
std::string Text(const std::vector<uint8_t>& bytes);
void WriteFile(const std::string& path, const std::string& content);
// The file's content; "<missing>" when it cannot be read.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// `n` bytes that do not compress, the same for the same seed.
std::string Noise(size_t n, uint32_t seed);

// A fresh directory made current for the test's lifetime; the previous current directory
// is restored and the scratch tree removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string previous_;
    std::string path_;
};

struct RecordedBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

// Records message boxes and status lines while alive; questions get `answer`.
class UiRecorder {
public:
    explicit UiRecorder(int answer = platform::kIdNo);
    ~UiRecorder();
    UiRecorder(const UiRecorder&) = delete;
    UiRecorder& operator=(const UiRecorder&) = delete;

    std::vector<RecordedBox> boxes;
    std::vector<std::string> statuses;
    int answer;

    bool HasStatus(const std::string& text) const;
    bool HasStatusContaining(const std::string& part) const;
    bool HasBoxCaption(const std::string& caption) const;
};

struct Posted {
    uint32_t message;
    uint32_t wParam;
    uint32_t lParam;
    bool operator==(const Posted& o) const {
        return message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

class RecordingNotifier : public Notifier {
public:
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override { posts.push_back({message, wParam, lParam}); }
    void PostRestart(const char* nextProgram) override { restarts.push_back(nextProgram ? nextProgram : "<self>"); }
    std::vector<Posted> posts;
    std::vector<std::string> restarts;
};

// Lends fixed plug-in values for the test's lifetime.
class PluginScope {
public:
    PluginScope(const char* platformString, int32_t version) : values_(platformString, version) {
        SetPluginValues(&values_);
    }
    ~PluginScope() { SetPluginValues(nullptr); }

private:
    FixedPluginValues values_;
};

}  // namespace enginetest
