// Helpers shared by paktool's commands: exit codes and the error line, whole-file reading
// and writing, integer parsing and option parsing.
//
// Error convention: a failing command prints exactly one line on stderr,
//   "paktool <command>: <what is wrong>"
// and returns a non-zero exit code. Every helper below that can fail prints that line
// itself and returns the exit code, so a command just passes it on:
//   if (int rc = ReadWholeFile(path, kLimit, data); rc != kExitOk) return rc;
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // the operation itself failed (damaged data, codec failure)
constexpr int kExitUsage = 2;      // bad command line: unknown command or option, bad value
constexpr int kExitFileError = 3;  // a file could not be read or written

// No size limit for ReadWholeFile.
constexpr uint64_t kNoSizeLimit = UINT64_MAX;

// The command whose name prefixes error lines (set by the frame before it runs a command).
void SetCurrentCommandName(const char* name);
const char* CurrentCommandName();

// Prints the one error line (printf format; line breaks in it become spaces) and returns
// `exitCode`.
int Fail(int exitCode, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// A remark on a successful run: "paktool <command>: note: <text>" on stderr; the exit code
// stays the command's own.
void Note(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A usage error of the current command: "<detail> (usage: paktool <name> <usage>)";
// returns kExitUsage.
int FailUsage(const char* detail);

// Reads all of `path` into `out`. A file larger than `maxBytes` is refused (kExitUsage,
// naming `what`, e.g. "input"), a missing or unreadable one gives kExitFileError.
int ReadWholeFile(const char* path, uint64_t maxBytes, const char* what, std::vector<uint8_t>& out);

// Writes `size` bytes to `path` through a temporary file beside it that then replaces
// `path`, so a failed write never leaves a half-written or lost file behind.
int WriteWholeFile(const char* path, const void* data, size_t size);

// Parses a whole decimal integer (optional sign) or 0x-prefixed hexadecimal one within
// [minValue, maxValue]. False for empty text, stray characters or a value out of range.
bool ParseInt64(const char* text, int64_t minValue, int64_t maxValue, int64_t& out);

// ParseInt64 for the value of option `option`; on failure prints
// "<option> expects an integer from MIN to MAX, not 'TEXT'" and returns kExitUsage.
int ParseIntOption(const char* option, const char* text, int64_t minValue, int64_t maxValue,
                   int64_t& out);

// One option a command accepts: a short form ("-m"), a long form ("--method") or both
// (nullptr for the missing one), whether a value follows it, and what it does (one line
// for the command's --help).
struct OptionDef {
    const char* shortName;
    const char* longName;
    bool takesValue;
    bool repeatable = false;  // may be given more than once (see ParsedArgs::Values)
    const char* description = "";
};

// The result of ParseArgs.
class ParsedArgs {
public:
    // The value given for the option named `name` (either form), or nullptr.
    const char* Value(const char* name) const;
    // True when the option named `name` (either form) was given.
    bool Has(const char* name) const;
    // Every value given for a repeatable option, in the order given.
    std::vector<const char*> Values(const char* name) const;
    const std::vector<const char*>& Positional() const { return positional_; }

private:
    friend int ParseArgs(int, char**, const std::vector<OptionDef>&, ParsedArgs&);
    struct Given {
        size_t def;  // index into defs_
        const char* value;
    };
    const Given* Find(const char* name) const;

    std::vector<OptionDef> defs_;
    std::vector<Given> given_;
    std::vector<const char*> positional_;
};

// What ParseArgs returns after printing a command's help; the frame turns it into kExitOk.
// Never an exit code of its own.
constexpr int kExitHelpShown = -1;

// Set by the frame for "paktool COMMAND --help": the next ParseArgs prints the command's
// usage line, its summary and every option of the table it is given (the options the
// command really accepts), and returns kExitHelpShown without parsing anything.
void RequestCommandHelp(const char* name, const char* usage, const char* summary);

// Splits argv into the options of `optionDefs` and positional arguments. Accepts "-m VALUE",
// "--name VALUE" and "--name=VALUE"; "--" ends the options; a lone "-" is positional.
// An option's value is taken verbatim, so "-m -2" works. Unknown options, a missing value
// and an option given twice are usage errors (printed; returns kExitUsage).
int ParseArgs(int argc, char** argv, const std::vector<OptionDef>& optionDefs, ParsedArgs& out);

// kExitOk when exactly `count` positional arguments were given, otherwise a usage error.
int ExpectPositional(const ParsedArgs& args, size_t count);
