// The shortening of status texts that carry a name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/show_status.h"
#include "net/status_text.h"

namespace {

struct FitCase {
    const char* name;
    std::string text;
    size_t limit;
    std::string expected;
};

TEST(StatusText, CutsAtCharacterBoundaries) {
    const std::vector<FitCase> cases = {
        {"fits", "abc", 3, "abc"},
        {"ascii-cut", "abcdefgh", 6, "abc..."},
        {"gbk-kept-whole", "a\xB0\xA1\xB0\xA1xyz", 7, "a\xB0\xA1..."},
        {"gbk-not-split", "a\xB0\xA1\xB0\xA1xyz", 5, "a..."},
        {"too-small-for-ellipsis", "abcdef", 2, ""},
    };
    for (const FitCase& c : cases) EXPECT_EQ(FitText(c.text, c.limit), c.expected) << c.name;
}

TEST(StatusText, LongNamesStillGiveAShownLine) {
    const std::string name(1000, 'n');
    const std::string line = FormatWithName("%s MD5校验失败", name);
    EXPECT_LE(line.size(), kStatusMaxLength);
    EXPECT_EQ(line.substr(line.size() - std::string(" MD5校验失败").size()), " MD5校验失败");
    EXPECT_EQ(FormatWithName("下载[%s]失败", "a.dat"), "下载[a.dat]失败");
}

}  // namespace
