#include "tools/paktool/cli_util.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "tools/paktool/paktool_command.h"

namespace {

constexpr size_t kErrorLineMax = 1024;
constexpr uint32_t kFileChunkBytes = 1u << 20;  // bytes moved per read or write call
constexpr const char* kPartialSuffix = ".partial";
constexpr int kHexBase = 16;
constexpr int kDecimalBase = 10;

const char* g_commandName = nullptr;

// The help the next ParseArgs prints (set by RequestCommandHelp).
struct HelpRequest {
    bool requested = false;
    const char* name = "";
    const char* usage = "";
    const char* summary = "";
};
HelpRequest g_help;

constexpr const char* kValuePlaceholder = "VALUE";

// "paktool <command>: <tag><message>" as one line on stderr.
void PrintStderrLine(const char* tag, const char* format, va_list args) {
    char line[kErrorLineMax];
    std::vsnprintf(line, sizeof line, format, args);
    // One line, always: a path or text with a line break in it must not split it.
    for (char* p = line; *p != '\0'; ++p) {
        if (*p == '\n' || *p == '\r') *p = ' ';
    }
    if (g_commandName != nullptr)
        std::fprintf(stderr, "paktool %s: %s%s\n", g_commandName, tag, line);
    else
        std::fprintf(stderr, "paktool: %s%s\n", tag, line);
    std::fflush(stderr);
}

bool OptionMatches(const OptionDef& def, const char* name) {
    return (def.shortName != nullptr && std::strcmp(def.shortName, name) == 0) ||
           (def.longName != nullptr && std::strcmp(def.longName, name) == 0);
}

const char* DisplayName(const OptionDef& def) {
    return def.longName != nullptr ? def.longName : def.shortName;
}

bool WriteAll(platform::FileHandle h, const uint8_t* data, size_t size) {
    while (size > 0) {
        uint32_t piece = size < kFileChunkBytes ? static_cast<uint32_t>(size) : kFileChunkBytes;
        if (platform::WriteToFile(h, data, piece) != piece) return false;
        data += piece;
        size -= piece;
    }
    return true;
}

// The word the usage line shows after `option` ("--dir DIR" gives "DIR"); VALUE when the
// usage line does not show it.
std::string ValueWord(const char* usage, const char* option) {
    const std::string text = usage;
    const std::string key = std::string(option) + " ";
    const size_t at = text.find(key);
    if (at == std::string::npos) return kValuePlaceholder;
    const size_t start = at + key.size();
    const size_t end = text.find_first_of(" ]", start);
    const std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return word.empty() || word[0] == '-' || word[0] == '[' ? kValuePlaceholder : word;
}

int PrintCommandHelp(const std::vector<OptionDef>& optionDefs) {
    std::printf("Usage: paktool %s %s\n%s\n", g_help.name, g_help.usage, g_help.summary);
    std::printf("Options:%s\n", optionDefs.empty() ? " none" : "");
    for (const OptionDef& def : optionDefs) {
        std::string line = "  ";
        if (def.shortName != nullptr) line += def.shortName;
        if (def.shortName != nullptr && def.longName != nullptr) line += ", ";
        if (def.longName != nullptr) line += def.longName;
        if (def.takesValue) {
            std::string word = def.longName != nullptr ? ValueWord(g_help.usage, def.longName) : kValuePlaceholder;
            if (word == kValuePlaceholder && def.shortName != nullptr) word = ValueWord(g_help.usage, def.shortName);
            line += " " + word;
        }
        std::printf("%s\n      %s\n", line.c_str(), def.description);
    }
    return kExitHelpShown;
}

}  // namespace

void RequestCommandHelp(const char* name, const char* usage, const char* summary) {
    g_help.requested = true;
    g_help.name = name;
    g_help.usage = usage;
    g_help.summary = summary;
}

void SetCurrentCommandName(const char* name) { g_commandName = name; }
const char* CurrentCommandName() { return g_commandName; }

int Fail(int exitCode, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintStderrLine("", format, args);
    va_end(args);
    return exitCode;
}

void Note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintStderrLine("note: ", format, args);
    va_end(args);
}

int FailUsage(const char* detail) {
    const PaktoolCommand* command =
        g_commandName != nullptr ? FindPaktoolCommandByName(g_commandName) : nullptr;
    if (command == nullptr) return Fail(kExitUsage, "%s (see paktool --help)", detail);
    return Fail(kExitUsage, "%s (usage: paktool %s %s)", detail, command->name, command->usage);
}

int ReadWholeFile(const char* path, uint64_t maxBytes, const char* what, std::vector<uint8_t>& out) {
    out.clear();
    platform::OwnedFile file(platform::OpenFileForRead(path));
    if (!file.valid()) return Fail(kExitFileError, "cannot open %s '%s'", what, path);
    int64_t size = platform::FileSize(file.get());
    if (size < 0) return Fail(kExitFileError, "cannot get the size of %s '%s'", what, path);
    if (static_cast<uint64_t>(size) > maxBytes) {
        return Fail(kExitUsage, "%s '%s' is %" PRId64 " bytes, more than the %" PRIu64 " allowed",
                    what, path, size, maxBytes);
    }
    if (static_cast<uint64_t>(size) > SIZE_MAX)
        return Fail(kExitFailed, "%s '%s' is too large to load", what, path);
    try {
        out.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return Fail(kExitFailed, "not enough memory to load %s '%s'", what, path);
    }
    size_t done = 0;
    while (done < out.size()) {
        size_t left = out.size() - done;
        uint32_t piece = left < kFileChunkBytes ? static_cast<uint32_t>(left) : kFileChunkBytes;
        if (platform::ReadFromFile(file.get(), out.data() + done, piece) != piece) {
            out.clear();
            return Fail(kExitFileError, "cannot read %s '%s'", what, path);
        }
        done += piece;
    }
    return kExitOk;
}

namespace {

// Something that exists, opens, and is neither a regular file nor a directory: a device
// such as /dev/null or NUL. Renaming a temporary file over it would replace the device.
bool IsSpecialFile(const char* path) {
    if (platform::FileExists(path) || platform::DirectoryExists(path)) return false;
    platform::OwnedFile probe(platform::OpenFileForRead(path));
    return probe.valid();
}

int WriteSpecialFile(const char* path, const void* data, size_t size) {
    platform::OwnedFile file(platform::OpenFileForWrite(path));
    if (!file.valid() || !WriteAll(file.get(), static_cast<const uint8_t*>(data), size))
        return Fail(kExitFileError, "cannot write '%s'", path);
    return kExitOk;
}

}  // namespace

int WriteWholeFile(const char* path, const void* data, size_t size) {
    if (IsSpecialFile(path)) return WriteSpecialFile(path, data, size);
    std::string partial = std::string(path) + kPartialSuffix;
    platform::OwnedFile file(platform::OpenFileForWrite(partial.c_str()));
    if (!file.valid()) return Fail(kExitFileError, "cannot create '%s'", partial.c_str());
    bool written = WriteAll(file.get(), static_cast<const uint8_t*>(data), size) &&
                   platform::FlushFile(file.get());
    file.Close();
    if (!written) {
        platform::RemoveFile(partial.c_str());
        return Fail(kExitFileError, "cannot write '%s'", partial.c_str());
    }
    if (!platform::ReplaceFileAtomic(partial.c_str(), path)) {
        platform::RemoveFile(partial.c_str());
        return Fail(kExitFileError, "cannot replace '%s'", path);
    }
    return kExitOk;
}

bool ParseInt64(const char* text, int64_t minValue, int64_t maxValue, int64_t& out) {
    if (text == nullptr) return false;
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int base = kDecimalBase;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = kHexBase;
        p += 2;
    }
    // strtoull would accept its own sign and leading blanks: only digits may follow here.
    if (*p == '\0' || *p == '-' || *p == '+' || *p == ' ' || *p == '\t') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long magnitude = std::strtoull(p, &end, base);
    if (errno != 0 || end == p || *end != '\0') return false;
    if (magnitude > static_cast<unsigned long long>(INT64_MAX) + (negative ? 1u : 0u)) return false;
    int64_t value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    if (value < minValue || value > maxValue) return false;
    out = value;
    return true;
}

int ParseIntOption(const char* option, const char* text, int64_t minValue, int64_t maxValue,
                   int64_t& out) {
    if (ParseInt64(text, minValue, maxValue, out)) return kExitOk;
    return Fail(kExitUsage, "%s expects an integer from %" PRId64 " to %" PRId64 ", not '%s'", option,
                minValue, maxValue, text != nullptr ? text : "");
}

const ParsedArgs::Given* ParsedArgs::Find(const char* name) const {
    for (const Given& given : given_) {
        if (OptionMatches(defs_[given.def], name)) return &given;
    }
    return nullptr;
}

const char* ParsedArgs::Value(const char* name) const {
    const Given* given = Find(name);
    return given != nullptr ? given->value : nullptr;
}

bool ParsedArgs::Has(const char* name) const { return Find(name) != nullptr; }

std::vector<const char*> ParsedArgs::Values(const char* name) const {
    std::vector<const char*> values;
    for (const Given& given : given_) {
        if (OptionMatches(defs_[given.def], name)) values.push_back(given.value);
    }
    return values;
}

int ParseArgs(int argc, char** argv, const std::vector<OptionDef>& optionDefs, ParsedArgs& out) {
    if (g_help.requested) {
        g_help.requested = false;
        return PrintCommandHelp(optionDefs);
    }
    out.defs_ = optionDefs;
    out.given_.clear();
    out.positional_.clear();
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            out.positional_.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        // "--name=VALUE" carries its value in the same argument.
        std::string name = arg;
        const char* inlineValue = nullptr;
        size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            inlineValue = arg + eq + 1;
            name.erase(eq);
        }
        size_t defIndex = 0;
        while (defIndex < out.defs_.size() && !OptionMatches(out.defs_[defIndex], name.c_str()))
            ++defIndex;
        if (defIndex == out.defs_.size()) return FailUsage(("unknown option '" + name + "'").c_str());
        const OptionDef* def = &out.defs_[defIndex];
        if (!def->repeatable && out.Has(name.c_str()))
            return FailUsage(("option " + std::string(DisplayName(*def)) + " given twice").c_str());
        const char* value = nullptr;
        if (def->takesValue) {
            if (inlineValue != nullptr) {
                value = inlineValue;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return FailUsage(("option " + name + " needs a value").c_str());
            }
        } else if (inlineValue != nullptr) {
            return FailUsage(("option " + name + " takes no value").c_str());
        }
        out.given_.push_back({defIndex, value});
    }
    return kExitOk;
}

int ExpectPositional(const ParsedArgs& args, size_t count) {
    if (args.Positional().size() == count) return kExitOk;
    char detail[kErrorLineMax];
    std::snprintf(detail, sizeof detail, "expected %zu argument%s, got %zu", count,
                  count == 1 ? "" : "s", args.Positional().size());
    return FailUsage(detail);
}
