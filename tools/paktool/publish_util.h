// Shared by the publishing commands (publish, olp) and the engine-running commands (sync,
// apply-olp): scanning a game folder into manifest records, and running the engine on an
// installation with status lines and message boxes on the console.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/manifest_record.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/game_names.h"

// The optional list, inside the game folder, of files that install as loose files.
constexpr const char* kUnpackListName = ".unpack";
// The default publication tree: the folder below SERVERDIR, and the update list in it.
constexpr const char* kDefaultDir = "download/";
constexpr const char* kRemoteListName = "update.pak";

// One file of a game folder.
struct GameFile {
    std::string name;  // folded, '/' between directories
    std::string path;  // where to read it
};

// Every file below `gameDir` except the unpack list, in ascending name order, named in GBK
// (names written in `encoding`; see game_names.h). Returns kExitOk or prints the error.
int ScanGameDir(const std::string& gameDir, NameEncoding encoding, std::vector<GameFile>& files);

// Folded GBK names listed in `gameDir`/.unpack (one per line, written in `encoding`; empty
// lines ignored); empty when there is no list. kExitOk or the printed error.
int ReadUnpackList(const std::string& gameDir, NameEncoding encoding, std::vector<std::string>& names);

// The --utf8-names option, and the encoding it asks for (a usage error where this build
// cannot convert).
extern const OptionDef kUtf8NamesOptionDef;
int ParseNameEncoding(const ParsedArgs& args, NameEncoding& encoding);

// The manifest record of `file` with its content `bytes`.
ManifestRecord MakeRecord(const GameFile& file, const std::vector<uint8_t>& bytes, bool unpack,
                          const std::string& remotePath);

// `dir` as a remote directory prefix: '\' becomes '/', and a non-empty one ends in '/'.
std::string RemoteDirPrefix(const std::string& dir);
// Refuses a --dir that would lead out of SERVERDIR (absolute, a drive, "..", a device name):
// a usage error, or kExitOk.
int CheckServerDirOption(const std::string& dir);

// `path` joined to `dir` with '/' unless it is already absolute.
std::string JoinPath(const std::string& dir, const std::string& path);
std::string AbsolutePath(const std::string& path);

// kExitOk when `path` is a folder; otherwise prints "WHAT 'PATH' does not exist" or
// "... is a file, not a folder" and returns kExitFileError.
int CheckFolder(const std::string& path, const char* what);

// Options shared by sync and apply-olp.
struct EngineRunOptions {
    std::string platform;
    int32_t pluginVersion = 0;
    bool answerYes = false;
};

// Reads --platform, --plugin-version and --yes; kExitOk or the printed usage error.
int ParseEngineRunOptions(const ParsedArgs& args, EngineRunOptions& options);

// Console for an engine run: status lines and message boxes to stdout (questions answered
// by `answerYes`), the given plug-in values, and the installation directory as the
// current directory with the pack library's paths set. Everything is put back at the end.
class EngineConsole {
public:
    EngineConsole(const EngineRunOptions& options, const std::string& installDir);
    ~EngineConsole();
    EngineConsole(const EngineConsole&) = delete;
    EngineConsole& operator=(const EngineConsole&) = delete;
    bool ok() const { return ok_; }
    // True when the engine asked whether to rebuild patch.dat.
    bool rebuildAsked() const;

private:
    bool ok_ = false;
    std::string previousDir_;
    struct Impl;
    Impl* impl_;
};

// Prints "result: 0x%08X NAME" on stdout.
void PrintResultLine(int32_t result);
