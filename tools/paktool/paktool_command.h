// paktool's command table. Each command lives in its own source file and registers itself
// with a static PaktoolCommandRegistration; the frame (paktool_main.cpp) finds it by name,
// lists it in --help and runs it.
#pragma once

#include <vector>

struct PaktoolCommand {
    // One word ("md5") or two ("block encode"); the words are separate arguments on the
    // command line.
    const char* name;
    // The arguments after the name, for --help and usage errors: "-m METHOD IN OUT".
    const char* usage;
    // One line for --help.
    const char* summary;
    // Runs the command on the arguments after its name (argv[0] is the first of them).
    // Returns the process exit code (see cli_util.h).
    int (*run)(int argc, char** argv);
};

// Adds `command` to the table. Use one static object per command file:
//   static const PaktoolCommandRegistration kRegistration{{"md5", "FILE", "...", RunMd5}};
class PaktoolCommandRegistration {
public:
    explicit PaktoolCommandRegistration(const PaktoolCommand& command);
};

// Every registered command, sorted by name.
std::vector<PaktoolCommand> PaktoolCommands();

// The command named by the first words of argv (two-word names first), or nullptr.
// `wordsUsed` receives the number of arguments the name took.
const PaktoolCommand* FindPaktoolCommand(int argc, char** argv, int& wordsUsed);

// The registered command whose name is exactly `name`, or nullptr.
const PaktoolCommand* FindPaktoolCommandByName(const char* name);
