// paktool: the operators' command-line tool for packs, blocks and digests.
// The frame finds the command named on the command line in the command table
// (paktool_command.h), lists the table for --help, and runs the command.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "common/update_codes.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/console_text.h"
#include "tools/paktool/paktool_command.h"

namespace {

constexpr const char* kHelpOptions[] = {"--help", "-h", "help"};
constexpr const char* kVersionOption = "--version";
constexpr const char* kHelpFooter =
    "Methods: -2 lzma, -1 zlib, 0 stored, 1 lha, 2 lzo (number or name).\n"
    "Integers may be written in decimal or as 0x... hexadecimal.\n"
    "Exit codes: 0 success, 1 operation failed, 2 bad command line, 3 file not readable or writable.\n"
    "On failure paktool prints one line on stderr that says what is wrong.\n";

bool IsHelpOption(const char* arg) {
    for (const char* option : kHelpOptions) {
        if (std::strcmp(arg, option) == 0) return true;
    }
    return false;
}

void PrintHelp() {
    std::printf("Usage: paktool COMMAND [ARGUMENTS]\n       paktool COMMAND --help\n\nCommands:\n");
    for (const PaktoolCommand& command : PaktoolCommands()) {
        std::printf("  %s %s\n      %s\n", command.name, command.usage, command.summary);
    }
    std::printf("  --help\n      Lists the commands.\n  --version\n      Prints the version.\n\n%s", kHelpFooter);
}

// The command prints its own help from the table of options it parses, so the help lists
// exactly what it accepts. It is run with no arguments but the help request.
int RunCommandHelp(const PaktoolCommand& command) {
    RequestCommandHelp(command.name, command.usage, command.summary);
    char helpWord[] = "--help";
    char* helpArgs[] = {helpWord, nullptr};
    const int rc = command.run(1, helpArgs);
    return rc == kExitHelpShown ? kExitOk : rc;
}

void PrintVersion() { std::printf("paktool %d (the tools of update.exe version %d)\n", kToolVersion, kToolVersion); }

// The subcommand words that follow `word` in two-word command names ("decode, encode"
// for "block"); empty when no command starts with `word`.
std::string SubcommandsOf(const char* word) {
    std::string prefix = std::string(word) + " ";
    std::string list;
    for (const PaktoolCommand& command : PaktoolCommands()) {
        if (std::strncmp(command.name, prefix.c_str(), prefix.size()) != 0) continue;
        if (!list.empty()) list += ", ";
        list += command.name + prefix.size();
    }
    return list;
}

int RunPaktool(int argc, char** argv) {
    if (argc == 0) return Fail(kExitUsage, "no command given (see paktool --help)");
    if (IsHelpOption(argv[0])) {
        PrintHelp();
        return kExitOk;
    }
    if (std::strcmp(argv[0], kVersionOption) == 0) {
        PrintVersion();
        return kExitOk;
    }
    int wordsUsed = 0;
    const PaktoolCommand* command = FindPaktoolCommand(argc, argv, wordsUsed);
    if (command == nullptr) {
        std::string subcommands = SubcommandsOf(argv[0]);
        if (!subcommands.empty())
            return Fail(kExitUsage, "'%s' needs one of: %s (see paktool --help)", argv[0], subcommands.c_str());
        return Fail(kExitUsage, "unknown command '%s' (see paktool --help)", argv[0]);
    }
    SetCurrentCommandName(command->name);
    int restCount = argc - wordsUsed;
    char** rest = argv + wordsUsed;
    for (int i = 0; i < restCount && std::strcmp(rest[i], "--") != 0; ++i) {
        if (std::strcmp(rest[i], "--help") == 0 || std::strcmp(rest[i], "-h") == 0) {
            return RunCommandHelp(*command);
        }
    }
    return command->run(restCount, rest);
}

}  // namespace

int main(int argc, char** argv) {
    // No exception leaves the tool: each becomes the usual one-line failure.
    InitConsoleText();
    try {
        return RunPaktool(argc - 1, argv + 1);
    } catch (const std::bad_alloc&) {
        return Fail(kExitFailed, "out of memory");
    } catch (const std::exception& e) {
        return Fail(kExitFailed, "internal error: %s", e.what());
    } catch (...) {
        return Fail(kExitFailed, "internal error");
    }
}
