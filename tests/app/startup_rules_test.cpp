#include "app/startup_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct RoleCase {
    const char* name;
    const char* fileName;
    ToolRole role;
};

TEST(StartupRoleTest, FileNameChoosesRoleIgnoringCase) {
    const RoleCase cases[] = {
        {"updater", "update.dat", ToolRole::kUpdater},
        {"updater upper case", "UPDATE.DAT", ToolRole::kUpdater},
        {"launcher", "update.exe", ToolRole::kLauncher},
        {"launcher mixed case", "Update.Exe", ToolRole::kLauncher},
        {"delivered build", "NEWUPER.exe", ToolRole::kNewBuildLauncher},
        {"renamed copy", "update(1).exe", ToolRole::kRenamed},
        {"longer name", "update.exe.bak", ToolRole::kRenamed},
        {"no extension", "update", ToolRole::kRenamed},
        {"empty", "", ToolRole::kRenamed},
    };
    for (const RoleCase& c : cases) {
        EXPECT_EQ(RoleFromFileName(c.fileName), c.role) << c.name;
    }
}

struct SplitCase {
    const char* name;
    const wchar_t* path;
    bool ok;
    const wchar_t* directory;
    const wchar_t* fileName;
};

TEST(StartupPathTest, ModulePathSplitsAtLastSeparator) {
    const SplitCase cases[] = {
        {"backslashes", L"C:\\games\\kvo\\update.exe", true, L"C:\\games\\kvo", L"update.exe"},
        {"forward slash last", L"C:\\games/kvo/update.dat", true, L"C:\\games/kvo", L"update.dat"},
        {"posix path", L"/opt/kvo/update.exe", true, L"/opt/kvo", L"update.exe"},
        {"separator only first", L"\\update.exe", false, L"", L""},
        {"no separator", L"update.exe", false, L"", L""},
        {"empty", L"", false, L"", L""},
    };
    for (const SplitCase& c : cases) {
        std::wstring dir, file;
        ASSERT_EQ(SplitModulePath(c.path, dir, file), c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(dir, c.directory) << c.name;
        EXPECT_EQ(file, c.fileName) << c.name;
    }
}

struct CopyPathCase {
    const char* name;
    const wchar_t* launcher;
    bool newBuild;
    const wchar_t* copy;
};

TEST(StartupPathTest, UpdaterCopySitsBesideLauncher) {
    const CopyPathCase cases[] = {
        {"tool", L"C:\\kvo\\update.exe", false, L"C:\\kvo\\update.dat"},
        {"upper case keeps its stem", L"C:\\KVO\\UPDATE.EXE", false, L"C:\\KVO\\UPDATE.dat"},
        {"delivered build", L"C:\\kvo\\newuper.exe", true, L"C:\\kvo\\update.dat"},
        {"delivered build upper case", L"C:\\kvo\\NEWUPER.EXE", true, L"C:\\kvo\\update.dat"},
        {"too short", L"ex", false, L""},
        {"too short for new build", L"C:\\a.exe", true, L""},
    };
    for (const CopyPathCase& c : cases) {
        EXPECT_EQ(UpdaterCopyPath(c.launcher, c.newBuild), c.copy) << c.name;
    }
}

struct ArgumentsCase {
    const char* name;
    const wchar_t* commandLine;
    const wchar_t* arguments;
};

TEST(StartupCommandLineTest, ArgumentsFollowProgramName) {
    const ArgumentsCase cases[] = {
        {"quoted program", L"\"C:\\my games\\update.exe\" -user a b", L"-user a b"},
        {"plain program", L"update.exe  \"two words\"", L"\"two words\""},
        {"tab after program", L"update.exe\targ", L"arg"},
        {"no arguments", L"update.exe", L""},
        {"quoted, no arguments", L"\"C:\\kvo\\update.dat\" ", L""},
        {"unterminated quote", L"\"C:\\kvo\\update.exe -x", L""},
        {"empty", L"", L""},
    };
    for (const ArgumentsCase& c : cases) {
        EXPECT_EQ(CommandLineArguments(c.commandLine), c.arguments) << c.name;
    }
}

struct InstructionCase {
    const char* name;
    std::string text;
    std::string dir;
    bool wait;
    uint32_t handle;
};

TEST(StartupInstructionTest, WordAndParentHandle) {
    const InstructionCase cases[] = {
        {"empty", "", "", false, 0},
        {"blanks only", " \t\r\n", "", false, 0},
        {"default directory", "download", "", false, 0},
        {"default directory, any case", "Download", "", false, 0},
        {"no directory", "null", "", false, 0},
        {"default directory ignores handle", "download 1a4", "", false, 0},
        {"null ignores handle", "null 1a4", "", false, 0},
        {"directory only", "xyz", "xyz", false, 0},
        {"directory and handle", "xyz 1a4", "xyz", true, 0x1a4},
        {"handle with 0x prefix", "xyz 0x1A4", "xyz", true, 0x1a4},
        {"line breaks between fields", "xyz\r\n\t2c\r\n", "xyz", true, 0x2c},
        {"handle 0", "xyz 0", "xyz", false, 0},
        {"handle -1 as digits", "xyz ffffffff", "xyz", false, 0},
        {"handle -1 signed", "xyz -1", "xyz", false, 0},
        {"handle not hex", "xyz zz", "xyz", false, 0},
        {"text ends at NUL", std::string("ab\0 1a4", 7), "ab", false, 0},
    };
    for (const InstructionCase& c : cases) {
        StartupInstruction got = ParseStartupInstruction(c.text.data(), c.text.size());
        EXPECT_EQ(got.downloadDir, c.dir) << c.name;
        EXPECT_EQ(got.waitForParent, c.wait) << c.name;
        if (c.wait) {
            EXPECT_EQ(got.parentHandle, c.handle) << c.name;
        }
    }
}

TEST(StartupInstructionTest, UnterminatedBufferStopsAtItsSize) {
    const char text[] = {'a', 'b', 'c', 'd'};  // no NUL
    EXPECT_EQ(ParseStartupInstruction(text, 2).downloadDir, "ab");
    EXPECT_EQ(ParseStartupInstruction(nullptr, 4).downloadDir, "");
}

// One launcher run: each step fails `failures` times before it succeeds (-1: never).
struct BudgetCase {
    const char* name;
    std::vector<int> failures;
    std::vector<bool> succeeded;
    int sleeps;
    std::vector<int> attempts;
};

TEST(RetryBudgetTest, SharedAcrossSteps) {
    const BudgetCase cases[] = {
        {"all succeed at once", {0, 0, 0}, {true, true, true}, 0, {1, 1, 1}},
        {"short failures retried", {3, 2}, {true, true}, 5, {4, 3}},
        {"first step spends the budget", {-1, -1, 0}, {false, false, true}, kRetryBudget, {11, 1, 1}},
        {"budget runs out mid-step", {7, 6, 0}, {true, false, true}, kRetryBudget, {8, 4, 1}},
        {"exactly the budget", {10, -1}, {true, false}, kRetryBudget, {11, 1}},
    };
    for (const BudgetCase& c : cases) {
        int sleeps = 0;
        RetryBudget budget([&](uint32_t ms) {
            EXPECT_EQ(ms, kRetrySleepMs);
            ++sleeps;
        });
        for (size_t step = 0; step < c.failures.size(); ++step) {
            const int failures = c.failures[step];
            int calls = 0;
            bool ok = budget.Run([&] { return ++calls > failures && failures >= 0; });
            EXPECT_EQ(ok, c.succeeded[step]) << c.name << " step " << step;
            EXPECT_EQ(calls, c.attempts[step]) << c.name << " step " << step;
        }
        EXPECT_EQ(sleeps, c.sleeps) << c.name;
    }
}

}  // namespace
