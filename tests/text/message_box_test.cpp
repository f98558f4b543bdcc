// The GBK message box and debugger output: the test hook, and on POSIX that the texts reach
// stderr as the same GBK bytes after their trip through the wide platform calls.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/platform/scoped_environment.h"
#include "text/message_box.h"

namespace {

struct RecordedBox {
    std::string text;
    std::string caption;
    unsigned flags = 0;
    int calls = 0;
};
RecordedBox g_box;

int RecordBox(const char* text, const char* caption, unsigned flags) {
    g_box.text = text != nullptr ? text : "<null>";
    g_box.caption = caption != nullptr ? caption : "<null>";
    g_box.flags = flags;
    ++g_box.calls;
    return platform::kIdYes;
}

int OtherRecorder(const char*, const char*, unsigned) { return platform::kIdNo; }

TEST(MessageBoxHook, RecordsTheBoxAndGivesTheHooksAnswer) {
    g_box = RecordedBox{};
    MessageBoxHook before = SetMessageBoxHook(RecordBox);
    int answer = MessageBoxNarrow("更新失败", nullptr, platform::kMbYesNo | platform::kMbIconQuestion);
    EXPECT_EQ(answer, platform::kIdYes);
    EXPECT_EQ(g_box.calls, 1);
    EXPECT_EQ(g_box.text, "更新失败");
    EXPECT_EQ(g_box.caption, "<null>");
    EXPECT_EQ(g_box.flags, platform::kMbYesNo | platform::kMbIconQuestion);

    // Installing another hook hands back the one before it.
    EXPECT_EQ(SetMessageBoxHook(OtherRecorder), &RecordBox);
    EXPECT_EQ(MessageBoxNarrow("x", "caption", platform::kMbOk), platform::kIdNo);
    EXPECT_EQ(g_box.calls, 1);
    EXPECT_EQ(SetMessageBoxHook(before), &OtherRecorder);
}

#ifndef _WIN32
// Without a hook the box goes through the conversion to wide text and back. Text and caption
// differ, so a caption converted over the text's buffer shows; both system languages, since
// the own texts take another path where the system is not Chinese (PRC).
TEST(MessageBoxNarrow, ReachesStderrAsTheSameGbkBytes) {
    const struct {
        const char* name;
        const char* language;  // LC_ALL
        const char* text;
        const char* caption;
        unsigned flags;
        const char* printed;
        int answer;
    } cases[] = {
        {"prc-text-and-caption", "zh_CN.UTF-8", "文件损坏", "错误", platform::kMbOk, "[错误] 文件损坏\n",
         platform::kIdOk},
        {"other-language-text-and-caption", "en_US.UTF-8", "文件损坏", "错误", platform::kMbOk,
         "[错误] 文件损坏\n", platform::kIdOk},
        {"system-caption", "zh_CN.UTF-8", "更新失败", nullptr, platform::kMbOk, "[] 更新失败\n", platform::kIdOk},
        {"yes-no", "en_US.UTF-8", "重建吗？", nullptr, platform::kMbYesNo | platform::kMbIconQuestion,
         "[] 重建吗？\n", platform::kIdNo},
    };
    MessageBoxHook before = SetMessageBoxHook(nullptr);
    for (const auto& c : cases) {
        ScopedEnvironment language("LC_ALL", c.language);
        testing::internal::CaptureStderr();
        const int answer = MessageBoxNarrow(c.text, c.caption, c.flags);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed) << c.name;
        EXPECT_EQ(answer, c.answer) << c.name;
    }
    SetMessageBoxHook(before);
}

TEST(DebugOutput, ReachesStderrAsTheSameGbkBytes) {
    const struct {
        const char* name;
        const char* text;
        const char* printed;
    } cases[] = {
        {"chinese", "解压失败\r\n", "解压失败\r\n"},
        {"null-text", nullptr, ""},
    };
    ScopedEnvironment debugOutput("KVO_DEBUG_OUTPUT", "1");
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        DebugOutput(c.text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed) << c.name;
    }
}
#endif

}  // namespace
