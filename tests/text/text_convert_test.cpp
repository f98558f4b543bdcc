// NarrowToWide / WideToNarrow: code page choice, round trips of Chinese texts, the buffer
// limit, per-thread results and null input.
//
// The results depend on the system default language. On the host it comes from LC_ALL,
// which these tests set per case; on Windows (and Wine) it is the machine's, and cases
// written for another language are skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "text/text_convert.h"

namespace {

constexpr unsigned kLangEnglishUs = 0x0409;

// Sets the host's system default language for one test; on Windows only reports whether
// the machine has that language.
class ScopedSystemLanguage {
public:
    explicit ScopedSystemLanguage(unsigned language) {
#ifndef _WIN32
        const char* old = std::getenv("LC_ALL");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv("LC_ALL", language == platform::kLangChineseSimplified ? "zh_CN.UTF-8" : "en_US.UTF-8", 1);
#endif
        active_ = platform::SystemDefaultLanguage() == language;
    }
    ~ScopedSystemLanguage() {
#ifndef _WIN32
        if (hadOld_)
            setenv("LC_ALL", old_.c_str(), 1);
        else
            unsetenv("LC_ALL");
#endif
    }
    ScopedSystemLanguage(const ScopedSystemLanguage&) = delete;
    ScopedSystemLanguage& operator=(const ScopedSystemLanguage&) = delete;
    // False on a Windows machine whose language is another one.
    bool active() const { return active_; }

private:
    bool active_ = false;
    bool hadOld_ = false;
    std::string old_;
};

#define REQUIRE_LANGUAGE(scope, language)                                                        \
    ScopedSystemLanguage scope(language);                                                         \
    if (!scope.active()) GTEST_SKIP() << "system default language is not " << std::hex << language

struct CodePageCase {
    const char* name;
    unsigned language;
    int flag;
    const char* narrow;  // bytes of the expected code page
    const wchar_t* wide;
};

class CodePageChoice : public testing::TestWithParam<CodePageCase> {};

// Both directions pick GBK or Big5 from the flag and the system language.
TEST_P(CodePageChoice, ConvertsBothWays) {
    const CodePageCase& c = GetParam();
    REQUIRE_LANGUAGE(language, c.language);
    EXPECT_STREQ(WideToNarrow(c.wide, c.flag), c.narrow);
    EXPECT_STREQ(NarrowToWide(c.narrow, c.flag), c.wide);
}

// "中文" is D6D0 CEC4 in GBK and A4A4 A4E5 in Big5; both are the same in Simplified and
// Traditional script, so the Traditional mapping of own texts leaves them as they are.
INSTANTIATE_TEST_SUITE_P(
    Text, CodePageChoice,
    testing::Values(CodePageCase{"own_text_chinese_system_gbk", platform::kLangChineseSimplified, kTextOwn,
                                 "\xD6\xD0\xCE\xC4", L"\x4E2D\x6587"},
                    CodePageCase{"system_text_chinese_system_gbk", platform::kLangChineseSimplified,
                                 kTextFromSystem, "\xD6\xD0\xCE\xC4", L"\x4E2D\x6587"},
                    CodePageCase{"own_text_other_system_gbk", kLangEnglishUs, kTextOwn, "\xD6\xD0\xCE\xC4",
                                 L"\x4E2D\x6587"},
                    CodePageCase{"system_text_other_system_big5", kLangEnglishUs, kTextFromSystem,
                                 "\xA4\xA4\xA4\xE5", L"\x4E2D\x6587"},
                    CodePageCase{"ascii_path_other_system", kLangEnglishUs, kTextFromSystem,
                                 "C:\\Game\\patch.dat", L"C:\\Game\\patch.dat"}),
    [](const testing::TestParamInfo<CodePageCase>& info) { return std::string(info.param.name); });

struct RoundTripCase {
    const char* name;
    const char* text;  // a source literal: GBK in the program
    const wchar_t* wide;
};

class GbkRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(GbkRoundTrip, OwnTextSurvivesBothDirections) {
    const RoundTripCase& c = GetParam();
    REQUIRE_LANGUAGE(language, platform::kLangChineseSimplified);
    std::wstring wide = NarrowToWide(c.text, kTextOwn);
    EXPECT_EQ(wide, c.wide);
    EXPECT_STREQ(WideToNarrow(wide.c_str(), kTextOwn), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GbkRoundTrip,
    testing::Values(RoundTripCase{"status_line", "更新完成", L"\x66F4\x65B0\x5B8C\x6210"},
                    RoundTripCase{"with_format", "正在下载文件 %s", L"\x6B63\x5728\x4E0B\x8F7D\x6587\x4EF6 %s"},
                    RoundTripCase{"mixed_ascii", "patch.dat 已损坏", L"patch.dat \x5DF2\x635F\x574F"},
                    RoundTripCase{"empty", "", L""}),
    [](const testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

TEST(TextConvert, NullInputGivesEmptyText) {
    for (int flag : {kTextOwn, kTextFromSystem}) {
        EXPECT_STREQ(NarrowToWide(nullptr, flag), L"") << "flag " << flag;
        EXPECT_STREQ(WideToNarrow(nullptr, flag), "") << "flag " << flag;
    }
}

TEST(TextConvert, InvalidBytesDoNotStopTheConversion) {
    REQUIRE_LANGUAGE(language, platform::kLangChineseSimplified);
    // A byte that starts no GBK character: the characters after it are still converted.
    std::wstring wide = NarrowToWide("ab\xFF" "cd", kTextOwn);
    ASSERT_GE(wide.size(), 4u);
    EXPECT_EQ(wide.substr(0, 2), L"ab");
    EXPECT_EQ(wide.substr(wide.size() - 2), L"cd");
}

struct LimitCase {
    const char* name;
    unsigned language;
    std::string narrow;
    size_t expectedChars;  // of the result
};

class NarrowBufferLimit : public testing::TestWithParam<LimitCase> {};

// A text longer than the buffer is cut, never written past it, and stays terminated.
TEST_P(NarrowBufferLimit, CutsAtTheBuffer) {
    const LimitCase& c = GetParam();
    REQUIRE_LANGUAGE(language, c.language);
    const wchar_t* wide = NarrowToWide(c.narrow.c_str(), kTextOwn);
    EXPECT_EQ(std::wcslen(wide), c.expectedChars);
}

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, NarrowBufferLimit,
    testing::Values(
        LimitCase{"ascii_just_fits", platform::kLangChineseSimplified, std::string(kTextBufferChars - 1, 'a'),
                  kTextBufferChars - 1},
        LimitCase{"ascii_one_over", platform::kLangChineseSimplified, std::string(kTextBufferChars, 'a'),
                  kTextBufferChars - 1},
        LimitCase{"ascii_twice_the_buffer", platform::kLangChineseSimplified,
                  std::string(2 * kTextBufferChars, 'a'), kTextBufferChars - 1},
        LimitCase{"chinese_twice_the_buffer", platform::kLangChineseSimplified,
                  Repeat("\xD6\xD0", 2 * kTextBufferChars), kTextBufferChars - 1},
        LimitCase{"invalid_byte_at_the_limit", platform::kLangChineseSimplified,
                  std::string(kTextBufferChars - 1, 'a') + "\x81\x81\x81" + std::string(100, 'b'),
                  kTextBufferChars - 1},
        LimitCase{"invalid_bytes_throughout", platform::kLangChineseSimplified,
                  Repeat("a\xFF", kTextBufferChars), kTextBufferChars - 1},
        // Own texts on a non-Chinese system go through the Traditional mapping of the first
        // 1024 characters; the rest of the text is kept.
        LimitCase{"mapped_text_keeps_its_tail", kLangEnglishUs, Repeat("\xD6\xD0", 3000), 3000},
        LimitCase{"mapped_text_cut_at_the_buffer", kLangEnglishUs, std::string(2 * kTextBufferChars, 'a'),
                  kTextBufferChars - 1}),
    [](const testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(TextConvert, WideToNarrowCutsOnCharacterBoundary) {
    REQUIRE_LANGUAGE(language, platform::kLangChineseSimplified);
    // Two bytes a character: the 10239 bytes of room hold 5119 whole characters.
    std::wstring chinese(kTextBufferChars, L'\x4E2D');
    const char* narrow = WideToNarrow(chinese.c_str(), kTextOwn);
    ASSERT_EQ(std::strlen(narrow), 2 * ((kTextBufferChars - 1) / 2));
    EXPECT_EQ(std::string(narrow, 2), "\xD6\xD0");
    EXPECT_EQ(std::string(narrow + std::strlen(narrow) - 2), "\xD6\xD0");

    std::wstring ascii(2 * kTextBufferChars, L'z');
    EXPECT_EQ(std::strlen(WideToNarrow(ascii.c_str(), kTextOwn)), kTextBufferChars - 1);
}

TEST(TextConvert, ResultStaysUntilTheNextCallOnTheSameThread) {
    const wchar_t* first = NarrowToWide("first", kTextOwn);
    EXPECT_STREQ(first, L"first");
    const wchar_t* second = NarrowToWide("second", kTextOwn);
    EXPECT_STREQ(second, L"second");
    // The same per-thread buffer: the earlier result is overwritten, as documented.
    EXPECT_EQ(first, second);
}

// Two threads convert different texts in lock step; after each step, each checks that its
// own result was not overwritten by the other thread's conversion.
template <typename Convert>
void ExpectThreadsKeepTheirResults(Convert convert) {
    constexpr int kSteps = 200;
    std::atomic<int> converted{0};
    std::atomic<int> mismatches{0};
    auto worker = [&](int id) {
        for (int step = 0; step < kSteps; ++step) {
            std::string mine = "thread " + std::to_string(id) + " step " + std::to_string(step);
            if (!convert(mine)) ++mismatches;
            // Wait until the other thread has converted its text of this step too.
            ++converted;
            while (converted.load() < 2 * (step + 1)) std::this_thread::yield();
            if (!convert.Check(mine)) ++mismatches;
        }
    };
    std::thread a(worker, 1);
    std::thread b(worker, 2);
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Converts on the calling thread and remembers that thread's result pointer.
struct NarrowToWideOnThread {
    int flag;
    bool operator()(const std::string& text) const {
        last() = NarrowToWide(text.c_str(), flag);
        return Check(text);
    }
    bool Check(const std::string& text) const {
        std::wstring expected(text.begin(), text.end());
        return expected == last();
    }
    static const wchar_t*& last() {
        thread_local const wchar_t* result = nullptr;
        return result;
    }
};

struct WideToNarrowOnThread {
    int flag;
    bool operator()(const std::string& text) const {
        std::wstring wide(text.begin(), text.end());
        last() = WideToNarrow(wide.c_str(), flag);
        return Check(text);
    }
    bool Check(const std::string& text) const { return text == last(); }
    static const char*& last() {
        thread_local const char* result = nullptr;
        return result;
    }
};

struct ThreadCase {
    const char* name;
    unsigned language;
    int flag;
};

class PerThreadBuffers : public testing::TestWithParam<ThreadCase> {};

TEST_P(PerThreadBuffers, NarrowToWideKeepsEachThreadsResult) {
    REQUIRE_LANGUAGE(language, GetParam().language);
    ExpectThreadsKeepTheirResults(NarrowToWideOnThread{GetParam().flag});
}

TEST_P(PerThreadBuffers, WideToNarrowKeepsEachThreadsResult) {
    REQUIRE_LANGUAGE(language, GetParam().language);
    ExpectThreadsKeepTheirResults(WideToNarrowOnThread{GetParam().flag});
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PerThreadBuffers,
    testing::Values(ThreadCase{"own_text_chinese_system", platform::kLangChineseSimplified, kTextOwn},
                    ThreadCase{"own_text_mapped_to_traditional", kLangEnglishUs, kTextOwn},
                    ThreadCase{"system_text_big5", kLangEnglishUs, kTextFromSystem}),
    [](const testing::TestParamInfo<ThreadCase>& info) { return std::string(info.param.name); });

}  // namespace
