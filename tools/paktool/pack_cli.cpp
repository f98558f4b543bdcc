#include "tools/paktool/pack_cli.h"

#include <string>

#include "common/show_status.h"
#include "pak/pak_archive.h"
#include "pak/pak_list.h"
#include "pak/pak_log.h"
#include "pak/pak_paths.h"
#include "pak/pak_updater.h"
#include "platform/platform.h"
#include "text/message_box.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/rebuild_meter.h"

namespace {

constexpr const char* kCurrentDirectory = ".";
constexpr const char* kEmptyWorkPath = "\\";

std::vector<std::string> g_logLines;
std::vector<std::string> g_boxes;
std::vector<std::string> g_statusLines;

void RecordLog(const char* text) { g_logLines.emplace_back(text); }

int RecordBox(const char* text, const char* /*caption*/, unsigned /*flags*/) {
    g_boxes.emplace_back(text != nullptr ? text : "");
    return platform::kIdOk;
}

bool RecordStatus(char* copy, size_t length) {
    constexpr size_t kLineEnd = 2;  // the CR LF after the text
    g_statusLines.emplace_back(copy, length >= kLineEnd ? length - kLineEnd : length);
    return false;  // ShowStatus keeps and frees its copy
}

// Why `path` does not open as a pack: missing/unreadable, or not a pack.
int PackOpenError(const char* path) {
    std::string disk;
    if (!MakePakDiskPath(path, disk)) return Fail(kExitUsage, "path too long: '%s'", path);
    const platform::OwnedFile h(platform::OpenFileForRead(disk.c_str()));
    if (!h.valid()) return Fail(kExitFileError, "cannot open file '%s'", path);
    return Fail(kExitFailed, "'%s' is not a pack or its header or index is damaged", path);
}

}  // namespace

void UseCurrentDirectoryPaths() {
    SetRootPath(kCurrentDirectory);
    SetWorkPath(kEmptyWorkPath);
    SetPakOpenMode(kPakOpenDiskFirst);
}

std::string PackMemberName(const char* name) {
    std::string out = name != nullptr ? name : "";
    if (!out.empty() && out[0] == '\\') out.erase(0, 1);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

LibraryMessages::LibraryMessages() {
    g_logLines.clear();
    g_boxes.clear();
    g_statusLines.clear();
    SetPakLogReceiver(RecordLog);
    SetMessageBoxHook(RecordBox);
    SetStatusReceiver(RecordStatus);
}

LibraryMessages::~LibraryMessages() {
    SetPakLogReceiver(nullptr);
    SetMessageBoxHook(nullptr);
    SetStatusReceiver(nullptr);
}

std::string LibraryMessages::Reason(const char* fallback) const {
    if (!g_boxes.empty()) return g_boxes.back();
    if (!g_statusLines.empty()) return g_statusLines.back();
    if (!g_logLines.empty()) {
        std::string line = g_logLines.back();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }
    return fallback;
}

const std::vector<std::string>& LibraryMessages::StatusLines() const { return g_statusLines; }

int OpenPackArchive(PakArchive& archive, const char* path) {
    return archive.Open(path) ? kExitOk : PackOpenError(path);
}

int OpenPackInList(PakList& list, const char* path) {
    return list.Open(path, 0) == 1 ? kExitOk : PackOpenError(path);
}

int QueueAndRebuild(const char* packPath, const std::function<int(PakUpdater&)>& queue) {
    UseCurrentDirectoryPaths();
    LibraryMessages messages;
    TerminalRebuildMeter meter;
    PakUpdater updater;
    updater.SetRebuildProgress(&meter);
    if (updater.OpenOrCreate(packPath, 0) != 1) return PackOpenError(packPath);
    if (int rc = queue(updater); rc != kExitOk) return rc;
    if (updater.Rebuild() != 1) {
        return Fail(kExitFailed, "rebuilding '%s' failed, the pack is unchanged: %s", packPath,
                    messages.Reason("unknown failure").c_str());
    }
    return kExitOk;
}
