#include "common/show_status.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/app/scratch_dir.h"

namespace {

struct Delivered {
    std::string copy;  // the whole block, NUL included
    size_t length;
};
std::vector<Delivered> g_delivered;

bool TakeCopy(char* copy, size_t length) {
    g_delivered.push_back({std::string(copy, length + 1), length});
    FreeStatusCopy(copy);
    return true;
}

bool RefuseCopy(char*, size_t) { return false; }

class ShowStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        g_delivered.clear();
        OpenDebugLog((dir_.path() + "/" + kDebugLogFileName).c_str());
        previous_ = SetStatusReceiver(&TakeCopy);
    }
    void TearDown() override {
        SetStatusReceiver(previous_);
        CloseDebugLog();
    }
    // Closes the log first: Windows lets no one read a file open for writing without
    // write sharing.
    std::string Log() const {
        CloseDebugLog();
        return dir_.Read(kDebugLogFileName);
    }

    ScratchDir dir_{"status"};
    StatusReceiver previous_ = nullptr;
};

struct LengthCase {
    const char* name;
    size_t length;
    bool shown;
};

TEST_F(ShowStatusTest, LongTextsDroppedWhole) {
    const LengthCase cases[] = {
        {"empty", 0, true},
        {"one byte", 1, true},
        {"at the limit", kStatusMaxLength, true},
        {"one past the limit", kStatusMaxLength + 1, false},
    };
    std::string expectLog;
    for (const LengthCase& c : cases) {
        g_delivered.clear();
        const std::string text(c.length, 'a');
        ShowStatus(text.c_str());
        if (!c.shown) {
            EXPECT_TRUE(g_delivered.empty()) << c.name;
            continue;
        }
        expectLog += text + "\r\n";
        ASSERT_EQ(g_delivered.size(), 1u) << c.name;
        EXPECT_EQ(g_delivered[0].copy, text + std::string("\r\n\0", 3)) << c.name;
        EXPECT_EQ(g_delivered[0].length, c.length + 2) << c.name;
    }
    EXPECT_EQ(Log(), expectLog);
}

TEST_F(ShowStatusTest, NullIgnoredAndGbkKept) {
    ShowStatus(nullptr);
    ShowStatus("正在连接服务器");
    EXPECT_EQ(Log(), std::string("正在连接服务器") + "\r\n");
    ASSERT_EQ(g_delivered.size(), 1u);
}

TEST_F(ShowStatusTest, UndeliveredCopyStillLogged) {
    SetStatusReceiver(&RefuseCopy);  // no window: ShowStatus frees the copy itself
    ShowStatus("no window yet");
    SetStatusReceiver(nullptr);
    ShowStatus("no receiver");
    EXPECT_EQ(Log(), "no window yet\r\nno receiver\r\n");
}

TEST_F(ShowStatusTest, ReopeningStartsLogAfresh) {
    ShowStatus("first run");
    OpenDebugLog((dir_.path() + "/" + kDebugLogFileName).c_str());
    ShowStatus("second run");
    EXPECT_EQ(Log(), "second run\r\n");
}

TEST_F(ShowStatusTest, LinesFromTwoThreadsNeverInterleave) {
    SetStatusReceiver(nullptr);
    constexpr int kLines = 300;
    const std::string lineA(kStatusMaxLength, 'A');
    const std::string lineB(kStatusMaxLength, 'B');
    auto writer = [](const std::string& line) {
        for (int i = 0; i < kLines; ++i) ShowStatus(line.c_str());
    };
    std::thread a(writer, std::cref(lineA));
    std::thread b(writer, std::cref(lineB));
    a.join();
    b.join();
    const std::string log = Log();
    size_t pos = 0;
    int countA = 0, countB = 0;
    while (pos < log.size()) {
        size_t end = log.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = log.substr(pos, end - pos);
        if (line == lineA) ++countA;
        else if (line == lineB) ++countB;
        else FAIL() << "mixed line at byte " << pos;
        pos = end + 2;
    }
    EXPECT_EQ(countA, kLines);
    EXPECT_EQ(countB, kLines);
}

}  // namespace
