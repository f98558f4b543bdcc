#include "tools/paktool/publish_util.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/show_status.h"
#include "engine/md5.h"
#include "engine/plugin_values.h"
#include "common/update_codes.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "net/server_name.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"
#include "text/message_box.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/console_text.h"

namespace {

constexpr const char* kAllFiles = "*";
constexpr uint64_t kMaxUnpackList = 1 << 20;
constexpr int kMaxScanDepth = 64;
constexpr int64_t kMaxVersion = 0x7FFFFFFF;

bool g_answerYes = false;
bool g_rebuildAsked = false;

// A message box becomes a "message:" line on stdout, among the status lines, so a failed
// run keeps its one error line on stderr; a question is answered as told.
int ConsoleMessageBox(const char* text, const char* caption, unsigned flags) {
    const bool question = (flags & 0xF) == platform::kMbYesNo;
    if (question) g_rebuildAsked = true;  // the engine's only question: rebuild patch.dat?
    std::string line = std::string("message: [") + (caption != nullptr ? caption : "") + "] " +
                       (text != nullptr ? text : "") + (question ? (g_answerYes ? " -> yes" : " -> no") : "");
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::fprintf(stdout, "%s\n", ConsoleText(line).c_str());
    std::fflush(stdout);
    if (!question) return platform::kIdOk;
    return g_answerYes ? platform::kIdYes : platform::kIdNo;
}

bool ConsoleStatus(char* copy, size_t length) {
    const std::string line = ConsoleText(std::string(copy, length >= 2 ? length - 2 : length));  // without CR LF
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return false;  // ShowStatus frees the copy
}

int Scan(const std::string& dir, const std::string& prefix, NameEncoding encoding, int depth,
         std::vector<GameFile>& files) {
    if (depth > kMaxScanDepth) return Fail(kExitFileError, "%s: directories nested too deep", dir.c_str());
    for (const std::string& name : platform::FindFiles(dir.c_str(), kAllFiles)) {
        if (prefix.empty() && name == kUnpackListName) continue;
        GameFile f;
        f.path = dir + "/" + name;
        std::string gbkName;
        if (int rc = GameNameToGbk(name, f.path, encoding, gbkName); rc != kExitOk) return rc;
        f.name = prefix + gbkName;
        FoldPackName(f.name);
        files.push_back(std::move(f));
    }
    for (const std::string& sub : platform::FindSubdirectories(dir.c_str())) {
        const std::string path = dir + "/" + sub;
        std::string gbkSub;
        if (int rc = GameNameToGbk(sub, path, encoding, gbkSub); rc != kExitOk) return rc;
        if (int rc = Scan(path, prefix + gbkSub + "/", encoding, depth + 1, files); rc != kExitOk) return rc;
    }
    return kExitOk;
}

}  // namespace

const OptionDef kUtf8NamesOptionDef = {nullptr, kUtf8NamesOption, false, false,
                                       "the game folder's names (and .unpack) are UTF-8: publish them in GBK"};

int ParseNameEncoding(const ParsedArgs& args, NameEncoding& encoding) {
    encoding = NameEncoding::kGbk;
    if (!args.Has(kUtf8NamesOption)) return kExitOk;
    if (!Utf8NamesSupported()) return FailUsage("--utf8-names is not available in this build");
    encoding = NameEncoding::kUtf8;
    return kExitOk;
}

int ScanGameDir(const std::string& gameDir, NameEncoding encoding, std::vector<GameFile>& files) {
    files.clear();
    if (int rc = CheckFolder(gameDir, "game folder"); rc != kExitOk) return rc;
    if (int rc = Scan(gameDir, "", encoding, 0, files); rc != kExitOk) return rc;
    std::sort(files.begin(), files.end(), [](const GameFile& a, const GameFile& b) { return a.name < b.name; });
    for (size_t i = 1; i < files.size(); ++i) {
        if (files[i].name == files[i - 1].name) {
            return Fail(kExitUsage, "'%s' and '%s' differ only in letter case", files[i - 1].path.c_str(),
                        files[i].path.c_str());
        }
    }
    return kExitOk;
}

int ReadUnpackList(const std::string& gameDir, NameEncoding encoding, std::vector<std::string>& names) {
    names.clear();
    std::vector<uint8_t> text;
    const std::string listPath = gameDir + "/" + kUnpackListName;
    if (!ReadWholeLocalFile(listPath.c_str(), kMaxUnpackList, text)) return kExitOk;
    std::string line;
    // A line names files as the folder does; only converted names are compared, unchecked
    // otherwise (a name of the folder that is not GBK is refused on its own).
    auto flush = [&]() -> int {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (encoding == NameEncoding::kUtf8) {
            std::string gbkLine;
            if (int rc = GameNameToGbk(line, listPath + ": " + line, encoding, gbkLine); rc != kExitOk) return rc;
            line = gbkLine;
        }
        std::replace(line.begin(), line.end(), '\\', '/');
        if (!line.empty()) {
            FoldPackName(line);
            names.push_back(line);
        }
        line.clear();
        return kExitOk;
    };
    for (uint8_t c : text) {
        if (c == '\n') {
            if (int rc = flush(); rc != kExitOk) return rc;
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    return flush();
}

ManifestRecord MakeRecord(const GameFile& file, const std::vector<uint8_t>& bytes, bool unpack,
                          const std::string& remotePath) {
    ManifestRecord r;
    r.kind = unpack ? kKindUnpack : "pack";
    r.name = file.name;
    r.digest = std::string(kDigestPrefixMd5) + Md5Text(bytes.data(), bytes.size());
    r.size = std::to_string(bytes.size());
    r.remotePath = remotePath;
    // The engine folds every field it reads; the server paths must be the folded ones.
    FoldPackName(r.remotePath);
    return r;
}

std::string RemoteDirPrefix(const std::string& dir) {
    std::string prefix = dir;
    std::replace(prefix.begin(), prefix.end(), '\\', '/');
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    return prefix;
}

int CheckServerDirOption(const std::string& dir) {
    std::string relative = dir;
    while (!relative.empty() && (relative.back() == '/' || relative.back() == '\\')) relative.pop_back();
    // The server root itself ("" or "/" alone would be absolute): an empty relative folder.
    if (dir.empty()) return kExitOk;
    if (relative.empty() || !IsSafeRelativeName(relative)) {
        const std::string detail = "--dir '" + dir +
                                   "' must be a folder inside SERVERDIR: no absolute path, drive, '..' or device name";
        return FailUsage(detail.c_str());
    }
    return kExitOk;
}

std::string JoinPath(const std::string& dir, const std::string& path) {
    if (!path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'))) return path;
    return dir + "/" + path;
}

int CheckFolder(const std::string& path, const char* what) {
    if (platform::DirectoryExists(path.c_str())) return kExitOk;
    if (platform::FileExists(path.c_str()))
        return Fail(kExitFileError, "%s '%s' is a file, not a folder", what, path.c_str());
    return Fail(kExitFileError, "%s '%s' does not exist", what, path.c_str());
}

std::string AbsolutePath(const std::string& path) { return JoinPath(platform::CurrentDirectory(), path); }

struct EngineConsole::Impl {
    std::unique_ptr<FixedPluginValues> values;
    std::string platform;
    MessageBoxHook previousHook = nullptr;
    StatusReceiver previousReceiver = nullptr;
};

EngineConsole::EngineConsole(const EngineRunOptions& options, const std::string& installDir) : impl_(new Impl) {
    impl_->platform = options.platform;
    impl_->values.reset(new FixedPluginValues(impl_->platform.c_str(), options.pluginVersion));
    SetPluginValues(impl_->values.get());
    g_answerYes = options.answerYes;
    g_rebuildAsked = false;
    impl_->previousHook = SetMessageBoxHook(ConsoleMessageBox);
    impl_->previousReceiver = SetStatusReceiver(ConsoleStatus);
    previousDir_ = platform::CurrentDirectory();
    if (CheckFolder(installDir, "installation folder") != kExitOk) return;
    if (!platform::ChangeDirectory(installDir.c_str())) {
        Fail(kExitFileError, "cannot enter '%s'", installDir.c_str());
        return;
    }
    SetRootPath(".");
    SetWorkPath("\\");
    ok_ = true;
}

bool EngineConsole::rebuildAsked() const { return g_rebuildAsked; }

EngineConsole::~EngineConsole() {
    platform::ChangeDirectory(previousDir_.c_str());
    SetStatusReceiver(impl_->previousReceiver);
    SetMessageBoxHook(impl_->previousHook);
    SetPluginValues(nullptr);
    delete impl_;
}

void PrintResultLine(int32_t result) {
    std::printf("result: 0x%08X %s\n", static_cast<unsigned>(result), UpdateResultName(result));
    std::fflush(stdout);
}

int ParseEngineRunOptions(const ParsedArgs& args, EngineRunOptions& options) {
    if (const char* p = args.Value("--platform")) options.platform = p;
    if (const char* v = args.Value("--plugin-version")) {
        int64_t version = 0;
        if (int rc = ParseIntOption("--plugin-version", v, 0, kMaxVersion, version); rc != kExitOk) return rc;
        options.pluginVersion = static_cast<int32_t>(version);
    }
    options.answerYes = args.Has("--yes");
    return kExitOk;
}
