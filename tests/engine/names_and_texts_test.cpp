// Hostile names and the shortening of status texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/show_status.h"
#include "engine/reserved_names.h"
#include "net/safe_name.h"
#include "net/status_text.h"

namespace {

struct NameCase {
    const char* name;
    std::string text;
    bool safe;
};

TEST(SafeName, OnlyNamesBelowTheInstallationDirectoryPass) {
    const std::vector<NameCase> cases = {
        {"good-plain", "patch.txt", true},
        {"good-nested", "data/maps/a.map", true},
        {"good-backslashes", "data\\maps\\a.map", true},
        {"good-dots-inside", "a..b/c.d", true},
        {"good-dot-segment", "./a.txt", true},
        {"good-gbk-trail-5c", std::string("\x81\x5C") + "..x/a", true},
        {"bad-empty", "", false},
        {"bad-leading-slash", "/etc/passwd", false},
        {"bad-leading-backslash", "\\windows\\a.dll", false},
        {"bad-drive", "C:\\windows\\a.dll", false},
        {"bad-drive-relative", "c:a.dll", false},
        {"bad-stream-colon", "a.txt:stream", false},
        {"bad-parent", "../a.txt", false},
        {"bad-parent-inside", "data/../../a.txt", false},
        {"bad-parent-backslash", "data\\..\\..\\a.txt", false},
        {"bad-parent-at-end", "data/..", false},
        {"bad-parent-trailing-dot", "data/.../a", false},
        {"bad-parent-trailing-space", "data/.. /a", false},
        {"bad-parent-after-gbk", std::string("\xB0\xA1") + "/../a", false},
        // 0x80 and 0xFF lead no character in code page 936: the '\\' after them separates.
        {"bad-parent-after-0x80", std::string("a\x80\\..\\patch.dat"), false},
        {"bad-parent-after-0xff", std::string("a\xFF\\..\\patch.dat"), false},
        {"bad-parent-after-0x80-slash", std::string("a\x80/../patch.dat"), false},
        {"good-gbk-lead-0xfe-trail-5c", std::string("\xFE\x5C") + "..x/a", true},
        {"bad-device-lpt1", "lpt1", false},
        {"bad-device-nested-con", "data/CON", false},
        {"bad-device-with-extension", "data\\Nul.txt", false},
        {"bad-device-trailing-dot-space", "com9. ", false},
        {"bad-device-aux-two-extensions", "aux.tar.gz", false},
        {"bad-device-console", "CONOUT$", false},
        {"good-device-word-longer", "console.txt", true},
        {"good-device-number-zero", "com0", true},
        {"good-device-two-digits", "lpt10.txt", true},
        {"good-device-inside-name", "my-con.txt", true},
    };
    for (const NameCase& c : cases) EXPECT_EQ(IsSafeRelativeName(c.text), c.safe) << c.name;
}

struct ReservedCase {
    const char* name;
    std::string text;
    bool packKind;
    bool reserved;
};

TEST(ReservedInstallName, OnlyTheInstallationsOwnFilesAreRefused) {
    const std::vector<ReservedCase> cases = {
        {"bad-pack-manifest", "update.inf", true, true},
        {"bad-pack-manifest-capitals", "Update.INF", true, true},
        {"good-pack-patch", "patch.dat", true, false},
        {"good-pack-nested-manifest", "data/update.inf", true, false},
        {"bad-loose-manifest", "update.inf", false, true},
        {"bad-loose-pack", "patch.dat", false, true},
        {"bad-loose-rebuild-file", "patch.dattmp", false, true},
        {"bad-loose-capitals", "PATCH.DAT", false, true},
        {"bad-loose-dot-folder", "./patch.dat", false, true},
        {"bad-loose-backslash-dot-folder", ".\\Patch.Dat", false, true},
        {"bad-loose-trailing-dot-and-space", "patch.dat. ", false, true},
        {"good-loose-nested", "data/patch.dat", false, false},
        {"good-loose-longer", "patch.dat.bak", false, false},
        {"good-loose-game-file", "readme.txt", false, false},
        {"good-loose-gbk", "\xB0\xA1patch.dat", false, false},
        {"bad-loose-tool", "update.exe", false, true},
        {"bad-loose-tool-capitals", "Update.EXE", false, true},
        {"bad-loose-tool-copy", "update.dat", false, true},
        {"bad-loose-new-build", "./newuper.exe", false, true},
        {"bad-loose-plugin", "updatecfg.dll.", false, true},
        {"bad-loose-plugin-spare", "UpdateCfg.dat", false, true},
        {"bad-loose-unicode-layer", "unicows.dll", false, true},
        {"bad-loose-plugin-aside", "updatecfg.dll.kvoold", false, true},
        {"bad-loose-tool-aside", "update.exe.kvoold", false, true},
        {"bad-loose-temp-file", "KVU1A2B.tmp", false, true},
        {"good-loose-unicode-layer-carrier", "unicows.dll.kvo", false, false},
        {"good-loose-nested-tool-name", "tools/update.exe", false, false},
        {"good-loose-nested-temp-name", "data/kvu1.tmp", false, false},
        {"good-pack-tool-name", "update.exe", true, false},
    };
    for (const ReservedCase& c : cases) EXPECT_EQ(IsReservedInstallName(c.text, c.packKind), c.reserved) << c.name;
}

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
