#include "tools/paktool/paktool_command.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A function-local table, so registrations from other files' static objects never run
// before it exists.
std::vector<PaktoolCommand>& Table() {
    static std::vector<PaktoolCommand> table;
    return table;
}

}  // namespace

PaktoolCommandRegistration::PaktoolCommandRegistration(const PaktoolCommand& command) {
    Table().push_back(command);
}

std::vector<PaktoolCommand> PaktoolCommands() {
    std::vector<PaktoolCommand> sorted = Table();
    std::sort(sorted.begin(), sorted.end(), [](const PaktoolCommand& a, const PaktoolCommand& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    return sorted;
}

const PaktoolCommand* FindPaktoolCommandByName(const char* name) {
    for (const PaktoolCommand& command : Table()) {
        if (std::strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

const PaktoolCommand* FindPaktoolCommand(int argc, char** argv, int& wordsUsed) {
    wordsUsed = 0;
    if (argc >= 2) {
        std::string twoWords = std::string(argv[0]) + " " + argv[1];
        if (const PaktoolCommand* command = FindPaktoolCommandByName(twoWords.c_str())) {
            wordsUsed = 2;
            return command;
        }
    }
    if (argc >= 1) {
        if (const PaktoolCommand* command = FindPaktoolCommandByName(argv[0])) {
            wordsUsed = 1;
            return command;
        }
    }
    return nullptr;
}
