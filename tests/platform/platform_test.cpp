// The platform layer's file calls, its fault-injection hook, and (on POSIX only, where they
// print instead of showing a window) its wide message box and debugger output.
// Runs natively and under Wine: files live in a fresh directory under the system's temp
// directory.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/scoped_environment.h"

namespace {

using platform::FileHandle;
using platform::kInvalidFile;

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

// Closes the handle when it leaves scope.
class ScopedHandle {
public:
    explicit ScopedHandle(FileHandle h) : h_(h) {}
    ~ScopedHandle() { platform::CloseFile(h_); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    FileHandle get() const { return h_; }

private:
    FileHandle h_;
};

// A fresh directory for one test, removed with everything in it afterwards.
class PlatformFiles : public testing::Test {
protected:
    void SetUp() override {
        std::string temp = platform::TempDirectory();
        ASSERT_FALSE(temp.empty());
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        // Parameterised test names hold '/', which must not become a directory level.
        std::string name = info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        root_ = temp + kSep + "kvo-platform-" + name + "-" + std::to_string(platform::TickCountMs());
        ASSERT_TRUE(platform::MakeDirectory(root_.c_str())) << root_;
    }
    void TearDown() override { RemoveTree(root_); }

    std::string Path(const std::string& relative) const {
        std::string p = root_ + kSep + relative;
#ifdef _WIN32
        for (char& c : p) {
            if (c == '/') c = '\\';
        }
#endif
        return p;
    }

    static void WriteText(const std::string& path, const std::string& text) {
        ScopedHandle h(platform::OpenFileForWrite(path.c_str()));
        ASSERT_NE(h.get(), kInvalidFile) << path;
        ASSERT_EQ(platform::WriteToFile(h.get(), text.data(), static_cast<uint32_t>(text.size())), text.size());
    }

    static std::string ReadText(const std::string& path) {
        ScopedHandle h(platform::OpenFileForRead(path.c_str()));
        if (h.get() == kInvalidFile) return "<missing>";
        std::string text(static_cast<size_t>(platform::FileSize(h.get())), '\0');
        if (platform::ReadFromFile(h.get(), &text[0], static_cast<uint32_t>(text.size())) != text.size())
            return "<short read>";
        return text;
    }

private:
    static void RemoveTree(const std::string& dir) {
        for (const std::string& name : platform::FindSubdirectories(dir.c_str())) RemoveTree(dir + kSep + name);
        for (const std::string& name : platform::FindFiles(dir.c_str(), "*")) {
            std::string file = dir + kSep + name;
            platform::SetFileAttributesNormal(file.c_str());
            platform::RemoveFile(file.c_str());
        }
        platform::RemoveEmptyDirectory(dir.c_str());
    }

    std::string root_;
};

TEST_F(PlatformFiles, WriteSeekReadAndSize) {
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    WriteText(Path("data.bin"), data);

    ScopedHandle h(platform::OpenFileForRead(Path("data.bin").c_str()));
    ASSERT_NE(h.get(), kInvalidFile);
    EXPECT_EQ(platform::FileSize(h.get()), 1000);
    EXPECT_EQ(platform::SeekFile(h.get(), 100, platform::SeekOrigin::Begin), 100);
    char buf[50];
    ASSERT_EQ(platform::ReadFromFile(h.get(), buf, sizeof buf), sizeof buf);
    EXPECT_EQ(std::string(buf, sizeof buf), data.substr(100, 50));
    EXPECT_EQ(platform::SeekFile(h.get(), 10, platform::SeekOrigin::Current), 160);
    EXPECT_EQ(platform::SeekFile(h.get(), -10, platform::SeekOrigin::End), 990);
    // A read past the end transfers what is there.
    EXPECT_EQ(platform::ReadFromFile(h.get(), buf, 20), 10u);
    EXPECT_EQ(std::string(buf, 10), data.substr(990));
    EXPECT_EQ(platform::ReadFromFile(h.get(), buf, 20), 0u);
    EXPECT_EQ(platform::SeekFile(h.get(), -1, platform::SeekOrigin::Begin), -1);
}

TEST_F(PlatformFiles, WriteOpenTruncatesAnExistingFile) {
    WriteText(Path("f.txt"), "a long first content");
    WriteText(Path("f.txt"), "short");
    EXPECT_EQ(ReadText(Path("f.txt")), "short");
}

TEST_F(PlatformFiles, MissingFilesAndInvalidHandlesFailCleanly) {
    EXPECT_EQ(platform::OpenFileForRead(Path("missing.bin").c_str()), kInvalidFile);
    EXPECT_EQ(platform::OpenFileForRead(Path("").c_str()), kInvalidFile) << "a directory is no file";
    EXPECT_FALSE(platform::RemoveFile(Path("missing.bin").c_str()));
    EXPECT_FALSE(platform::FileExists(Path("missing.bin").c_str()));
    char buf[4] = {};
    EXPECT_EQ(platform::ReadFromFile(kInvalidFile, buf, sizeof buf), 0u);
    EXPECT_EQ(platform::WriteToFile(kInvalidFile, buf, sizeof buf), 0u);
    EXPECT_EQ(platform::SeekFile(kInvalidFile, 0, platform::SeekOrigin::Begin), -1);
    EXPECT_EQ(platform::FileSize(kInvalidFile), -1);
    EXPECT_FALSE(platform::FlushFile(kInvalidFile));
}

// The calls that move or copy onto an existing target, and whether they may replace it.
struct ExistingTargetCase {
    const char* name;
    bool (*move)(const char* from, const char* to);
    bool replaces;
    bool sourceRemains;
};

class ExistingTarget : public PlatformFiles, public testing::WithParamInterface<ExistingTargetCase> {};

TEST_P(ExistingTarget, ReplacesOnlyWhenItMay) {
    const ExistingTargetCase& c = GetParam();
    WriteText(Path("new.txt"), "new");
    WriteText(Path("old.txt"), "old");
    EXPECT_EQ(c.move(Path("new.txt").c_str(), Path("old.txt").c_str()), c.replaces);
    EXPECT_EQ(ReadText(Path("old.txt")), c.replaces ? "new" : "old");
    EXPECT_EQ(platform::FileExists(Path("new.txt").c_str()), c.sourceRemains || !c.replaces);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ExistingTarget,
    testing::Values(ExistingTargetCase{"replace_atomic", platform::ReplaceFileAtomic, true, false},
                    ExistingTargetCase{"rename_never_replaces", platform::RenameFile, false, true},
                    ExistingTargetCase{"copy_fail_if_exists",
                                       [](const char* f, const char* t) { return platform::CopyFileTo(f, t, true); },
                                       false, true},
                    ExistingTargetCase{"copy_overwrite",
                                       [](const char* f, const char* t) { return platform::CopyFileTo(f, t, false); },
                                       true, true}),
    [](const testing::TestParamInfo<ExistingTargetCase>& info) { return std::string(info.param.name); });

TEST_F(PlatformFiles, ReplaceAtomicOntoMissingTarget) {
    WriteText(Path("new.txt"), "new");
    EXPECT_TRUE(platform::ReplaceFileAtomic(Path("new.txt").c_str(), Path("fresh.txt").c_str()));
    EXPECT_EQ(ReadText(Path("fresh.txt")), "new");
    EXPECT_FALSE(platform::FileExists(Path("new.txt").c_str()));
}

TEST_F(PlatformFiles, ReadOnlyAttributeSetAndCleared) {
    const std::string file = Path("ro.txt");
    WriteText(file, "x");
    EXPECT_FALSE(platform::IsFileReadOnly(file.c_str()));
    ASSERT_TRUE(platform::SetFileReadOnly(file.c_str()));
    EXPECT_TRUE(platform::IsFileReadOnly(file.c_str()));
    ASSERT_TRUE(platform::SetFileAttributesNormal(file.c_str()));
    EXPECT_FALSE(platform::IsFileReadOnly(file.c_str()));

    // Opening for writing clears the attribute first, so a read-only file is rewritten.
    ASSERT_TRUE(platform::SetFileReadOnly(file.c_str()));
    WriteText(file, "rewritten");
    EXPECT_EQ(ReadText(file), "rewritten");
    EXPECT_FALSE(platform::IsFileReadOnly(file.c_str()));
    EXPECT_FALSE(platform::SetFileReadOnly(Path("missing.txt").c_str()));
}

struct ParentDirCase {
    const char* name;
    const char* file;        // relative to the test directory
    const char* deepestDir;  // that must exist afterwards
};

class ParentDirectories : public PlatformFiles, public testing::WithParamInterface<ParentDirCase> {};

TEST_P(ParentDirectories, CreatesEveryLevel) {
    const ParentDirCase& c = GetParam();
    ASSERT_TRUE(platform::CreateParentDirectories(Path(c.file).c_str()));
    EXPECT_TRUE(platform::DirectoryExists(Path(c.deepestDir).c_str()));
    EXPECT_FALSE(platform::FileExists(Path(c.file).c_str())) << "the file itself is not created";
    // Again, with every level present.
    EXPECT_TRUE(platform::CreateParentDirectories(Path(c.file).c_str()));
    WriteText(Path(c.file), "leaf");
    EXPECT_EQ(ReadText(Path(c.file)), "leaf");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ParentDirectories,
    testing::Values(ParentDirCase{"three_levels", "a/b/c/file.txt", "a/b/c"},
                    ParentDirCase{"no_level", "file.txt", ""},
                    ParentDirCase{"backslashes", "d\\e\\file.txt", "d/e"},
                    ParentDirCase{"mixed_separators", "f/g\\h/file.txt", "f/g/h"}),
    [](const testing::TestParamInfo<ParentDirCase>& info) { return std::string(info.param.name); });

// GBK names whose second byte is 0x5C, a backslash: 淺 9C 5C, 嘰 87 5C, 孿 8C 5C, 擻 94 5C. Split at that
// byte, the path would make a stray directory named by the lone first byte; on POSIX it would
// also turn into '/'. The directory listing shows either fault.
struct GbkNameCase {
    const char* name;
    const char* file;      // relative to the test directory, GBK
    const char* topLevel;  // the one directory that must appear in the test directory
    const char* deepestDir;
};

class GbkParentDirectories : public PlatformFiles, public testing::WithParamInterface<GbkNameCase> {
protected:
    // The listing of the test directory itself.
    std::vector<std::string> TopLevel() const { return platform::FindSubdirectories(Path("").c_str()); }
};

TEST_P(GbkParentDirectories, NamesKeepTheirTrailByte) {
    const GbkNameCase& c = GetParam();
    ASSERT_NE(std::strchr(c.file, '\x5C'), nullptr) << "the fixture must hold a 0x5C byte";
    ASSERT_TRUE(platform::CreateParentDirectories(Path(c.file).c_str()));
    EXPECT_EQ(TopLevel(), std::vector<std::string>{c.topLevel});
    EXPECT_TRUE(platform::DirectoryExists(Path(c.deepestDir).c_str()));

    WriteText(Path(c.file), "gbk");
    EXPECT_EQ(ReadText(Path(c.file)), "gbk");
    EXPECT_EQ(TopLevel(), std::vector<std::string>{c.topLevel}) << "writing the file adds no directory";
}

INSTANTIATE_TEST_SUITE_P(
    Names, GbkParentDirectories,
    testing::Values(GbkNameCase{"qian_then_letters", "淺dir/f.txt", "淺dir", "淺dir"},
                    GbkNameCase{"ji_then_separator", "嘰/f.txt", "嘰", "嘰"},
                    GbkNameCase{"ji_then_backslash", "嘰\\f.txt", "嘰", "嘰"},
                    GbkNameCase{"luan_nested_in_shu", "擻/孿x/f.txt", "擻", "擻/孿x"},
                    GbkNameCase{"ascii_above_shu", "a/擻/f.txt", "a", "a/擻"},
                    GbkNameCase{"letters_before_qian", "ab淺/f.txt", "ab淺", "ab淺"},
                    GbkNameCase{"letters_around_luan", "x孿y/f.txt", "x孿y", "x孿y"}),
    [](const testing::TestParamInfo<GbkNameCase>& info) { return std::string(info.param.name); });

TEST_F(PlatformFiles, GbkFileNameWithTrailByteIsOneFile) {
    // A file (not a directory) named with a 0x5C trail byte: created, found and read under
    // its own name, with no directory made for it.
    const std::string file = Path("淺.txt");
    WriteText(file, "one file");
    EXPECT_EQ(ReadText(file), "one file");
    EXPECT_EQ(platform::FindFiles(Path("").c_str(), "*.txt"), std::vector<std::string>{"淺.txt"});
    EXPECT_TRUE(platform::FindSubdirectories(Path("").c_str()).empty());
}

TEST_F(PlatformFiles, CreateParentDirectoriesFailsUnderAFile) {
    WriteText(Path("plain"), "not a directory");
    EXPECT_FALSE(platform::CreateParentDirectories(Path("plain/sub/file.txt").c_str()));
}

TEST_F(PlatformFiles, BothSeparatorsNameTheSameFile) {
    ASSERT_TRUE(platform::MakeDirectory(Path("dir").c_str()));
    const std::string root = Path("");
    WriteText(root + "dir\\file.txt", "via backslash");
    EXPECT_EQ(ReadText(root + "dir/file.txt"), "via backslash");
    EXPECT_TRUE(platform::FileExists((root + "dir/file.txt").c_str()));
    EXPECT_TRUE(platform::DirectoryExists((root + "dir\\").c_str()));
}

// --- fault hook ------------------------------------------------------------------------

// Fails the one operation a test names, records the path it was asked about.
platform::FileOp g_failingOp;
std::string g_faultPath;
int g_faultCalls = 0;

bool FailOneOp(platform::FileOp op, const char* path) {
    ++g_faultCalls;
    if (op != g_failingOp) return true;
    g_faultPath = path != nullptr ? path : "";
    return false;
}

class ScopedFaultHook {
public:
    explicit ScopedFaultHook(platform::FileOp failing) {
        g_failingOp = failing;
        g_faultPath.clear();
        g_faultCalls = 0;
        previous_ = platform::SetFileFaultHook(FailOneOp);
    }
    ~ScopedFaultHook() { platform::SetFileFaultHook(previous_); }
    ScopedFaultHook(const ScopedFaultHook&) = delete;
    ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;

private:
    platform::FileFaultHook previous_;
};

TEST_F(PlatformFiles, FaultHookFailsWrites) {
    const std::string file = Path("w.bin");
    ScopedHandle h(platform::OpenFileForWrite(file.c_str()));
    ASSERT_NE(h.get(), kInvalidFile);
    {
        ScopedFaultHook fault(platform::FileOp::Write);
        EXPECT_EQ(platform::WriteToFile(h.get(), "abc", 3), 0u);
        EXPECT_TRUE(platform::FlushFile(h.get())) << "only writes fail";
        EXPECT_GE(g_faultCalls, 2);
    }
    EXPECT_EQ(platform::WriteToFile(h.get(), "abc", 3), 3u) << "the hook is gone";
}

// Writes that fail for lack of room are counted, from whichever cause; other failures and
// good writes are not. The real full disk is the system's device that is always full.
TEST_F(PlatformFiles, WritesThatMeetAFullDiskAreCounted) {
    ScopedHandle good(platform::OpenFileForWrite(Path("g.bin").c_str()));
    ASSERT_NE(good.get(), kInvalidFile);
    uint32_t before = platform::NoSpaceFailures();
    EXPECT_EQ(platform::WriteToFile(good.get(), "abc", 3), 3u);
    EXPECT_EQ(platform::WriteToFile(kInvalidFile, "abc", 3), 0u);
    EXPECT_EQ(platform::NoSpaceFailures(), before) << "a good write and a bad handle are no full disk";
    {
        ScopedFaultHook fault(platform::FileOp::Write);
        EXPECT_EQ(platform::WriteToFile(good.get(), "abc", 3), 0u);
    }
    EXPECT_EQ(platform::NoSpaceFailures(), before + 1) << "a refused write stands for a full disk";
#ifndef _WIN32
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "no /dev/full here";
    ScopedHandle full(fd);
    before = platform::NoSpaceFailures();
    EXPECT_EQ(platform::WriteToFile(full.get(), "abc", 3), 0u);
    EXPECT_EQ(platform::NoSpaceFailures(), before + 1);
#endif
}

TEST_F(PlatformFiles, FaultHookFailsFlushes) {
    ScopedHandle h(platform::OpenFileForWrite(Path("f.bin").c_str()));
    ASSERT_NE(h.get(), kInvalidFile);
    ScopedFaultHook fault(platform::FileOp::Flush);
    EXPECT_EQ(platform::WriteToFile(h.get(), "abc", 3), 3u);
    EXPECT_FALSE(platform::FlushFile(h.get()));
}

TEST_F(PlatformFiles, FaultHookFailedReplaceLeavesBothFiles) {
    WriteText(Path("new.txt"), "new");
    WriteText(Path("old.txt"), "old");
    {
        ScopedFaultHook fault(platform::FileOp::Replace);
        EXPECT_FALSE(platform::ReplaceFileAtomic(Path("new.txt").c_str(), Path("old.txt").c_str()));
        EXPECT_EQ(g_faultPath, Path("old.txt")) << "the hook is told the target";
    }
    EXPECT_EQ(ReadText(Path("old.txt")), "old");
    EXPECT_EQ(ReadText(Path("new.txt")), "new");
}

#ifndef _WIN32
// --- message box and debugger output on POSIX ------------------------------------------

// The box is a GBK line on stderr: the bytes the program's narrow texts had.
TEST(MessageBoxWide, PrintsGbkLineAndAnswersForTheButtons) {
    const struct {
        const char* name;
        const wchar_t* text;
        const wchar_t* caption;
        unsigned flags;
        const char* printed;
        int answer;
    } cases[] = {
        {"chinese-text-system-caption", L"更新失败", nullptr, platform::kMbOk, "[] 更新失败\n", platform::kIdOk},
        {"chinese-caption", L"文件损坏", L"错误", platform::kMbOk | platform::kMbIconError, "[错误] 文件损坏\n",
         platform::kIdOk},
        {"yes-no-answers-no", L"重建吗？", nullptr, platform::kMbYesNo, "[] 重建吗？\n", platform::kIdNo},
        {"yes-no-with-icon-answers-no", L"重建吗？", L"提示", platform::kMbYesNo | platform::kMbIconQuestion,
         "[提示] 重建吗？\n", platform::kIdNo},
        {"null-text", nullptr, L"c", platform::kMbOk, "[c] \n", platform::kIdOk},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const int answer = platform::MessageBoxWide(c.text, c.caption, c.flags);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed) << c.name;
        EXPECT_EQ(answer, c.answer) << c.name;
    }
}

// A text longer than any fixed conversion buffer still reaches stderr whole.
TEST(MessageBoxWide, PrintsALongTextWhole) {
    constexpr size_t kLongChars = 30000;
    const std::wstring text(kLongChars, L'更');
    std::string expected = "[] ";
    for (size_t i = 0; i < kLongChars; ++i) expected += "更";
    expected += "\n";
    testing::internal::CaptureStderr();
    platform::MessageBoxWide(text.c_str(), nullptr, platform::kMbOk);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
}

TEST(DebugOutputWide, PrintsGbkOnlyWhenAskedFor) {
    const struct {
        const char* name;
        const char* variable;  // KVO_DEBUG_OUTPUT, nullptr for unset
        const wchar_t* text;
        const char* printed;
    } cases[] = {
        {"set", "1", L"解压失败\r\n", "解压失败\r\n"},
        {"set-but-empty", "", L"x", "x"},
        {"unset", nullptr, L"解压失败\r\n", ""},
        {"null-text", "1", nullptr, ""},
    };
    for (const auto& c : cases) {
        ScopedEnvironment debugOutput("KVO_DEBUG_OUTPUT", c.variable);
        testing::internal::CaptureStderr();
        platform::DebugOutputWide(c.text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed) << c.name;
    }
}
#endif

}  // namespace
