// A scratch installation directory for tests that work in the current directory: made
// current for the test's lifetime, emptied of files before and after.
#pragma once

#include <atomic>
#include <random>
#include <string>

#include "platform/platform.h"

class ScratchDir {
public:
    explicit ScratchDir(const char* tag) : previous_(platform::CurrentDirectory()) {
        static std::atomic<int> counter{0};
        // The temporary directory as it was at first use: tests may point it elsewhere.
        static const std::string base = platform::TempDirectory();
        // ctest runs test cases in parallel processes: the name must differ between them too.
        static const unsigned processTag = std::random_device{}();
        path_ = base + "/kvo-" + tag + "-" + std::to_string(processTag) + "-" + std::to_string(counter++);
        platform::MakeDirectory(path_.c_str());
        Empty();
        ok_ = platform::ChangeDirectory(path_.c_str());
    }
    ~ScratchDir() {
        platform::ChangeDirectory(previous_.c_str());
        Empty();
        platform::RemoveEmptyDirectory(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

    // Writes `content` to `name` in the scratch directory.
    bool Write(const std::string& name, const std::string& content) const {
        platform::FileHandle h = platform::OpenFileForWrite((path_ + "/" + name).c_str());
        if (h == platform::kInvalidFile) return false;
        uint32_t n = static_cast<uint32_t>(content.size());
        bool ok = content.empty() || platform::WriteToFile(h, content.data(), n) == n;
        platform::CloseFile(h);
        return ok;
    }

    // The content of `name`, or "<missing>".
    std::string Read(const std::string& name) const {
        platform::FileHandle h = platform::OpenFileForRead((path_ + "/" + name).c_str());
        if (h == platform::kInvalidFile) return "<missing>";
        std::string out(static_cast<size_t>(platform::FileSize(h)), '\0');
        if (!out.empty()) platform::ReadFromFile(h, &out[0], static_cast<uint32_t>(out.size()));
        platform::CloseFile(h);
        return out;
    }

    bool Exists(const std::string& name) const { return platform::FileExists((path_ + "/" + name).c_str()); }

    // Removes the files and the (flat) subdirectories the test made.
    static void EmptyDirectory(const std::string& dir) {
        for (const std::string& name : platform::FindFiles(dir.c_str(), "*")) {
            platform::SetFileAttributesNormal((dir + "/" + name).c_str());
            platform::RemoveFile((dir + "/" + name).c_str());
        }
        for (const std::string& sub : platform::FindSubdirectories(dir.c_str())) {
            EmptyDirectory(dir + "/" + sub);
            platform::RemoveEmptyDirectory((dir + "/" + sub).c_str());
        }
    }

private:
    void Empty() { EmptyDirectory(path_); }

    std::string previous_;
    std::string path_;
    bool ok_ = false;
};
