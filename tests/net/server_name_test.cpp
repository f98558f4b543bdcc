// The rules for a name that comes from a server, in one table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/server_name.h"

namespace {

// Every rule for a name from a server in one table: where it may lead (traversal, absolute,
// drive, UNC, streams, devices, trailing dots, GBK trail bytes, 0x80 and 0xFF) and which of
// the installation's own files it may not take, as a pack member or a loose file.
struct ServerNameCase {
    const char* name;
    std::string text;
    NameKind kind;
    NameVerdict verdict;
};

TEST(ServerName, EveryRuleInOneTable) {
    constexpr NameKind kLoose = NameKind::kLooseFile;
    constexpr NameKind kPack = NameKind::kPackMember;
    const std::vector<ServerNameCase> cases = {
        {"good-plain", "patch.txt", kLoose, NameVerdict::kAccepted},
        {"good-nested", "data/maps/a.map", kLoose, NameVerdict::kAccepted},
        {"good-backslashes", "data\\maps\\a.map", kLoose, NameVerdict::kAccepted},
        {"good-dots-inside", "a..b/c.d", kLoose, NameVerdict::kAccepted},
        {"good-dot-segment", "./a.txt", kLoose, NameVerdict::kAccepted},
        {"good-gbk-trail-5c", std::string("\x81\x5C") + "..x/a", kLoose, NameVerdict::kAccepted},
        {"bad-empty", "", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-leading-slash", "/etc/passwd", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-leading-backslash", "\\windows\\a.dll", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-drive", "C:\\windows\\a.dll", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-drive-relative", "c:a.dll", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-stream-colon", "a.txt:stream", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent", "../a.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-inside", "data/../../a.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-backslash", "data\\..\\..\\a.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-at-end", "data/..", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-trailing-dot", "data/.../a", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-trailing-space", "data/.. /a", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-after-gbk", std::string("\xB0\xA1") + "/../a", kLoose, NameVerdict::kOutsideInstallation},
        // 0x80 and 0xFF lead no character in code page 936: the '\\' after them separates.
        {"bad-parent-after-0x80", std::string("a\x80\\..\\patch.dat"), kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-after-0xff", std::string("a\xFF\\..\\patch.dat"), kLoose, NameVerdict::kOutsideInstallation},
        {"bad-parent-after-0x80-slash", std::string("a\x80/../patch.dat"), kLoose, NameVerdict::kOutsideInstallation},
        {"good-gbk-lead-0xfe-trail-5c", std::string("\xFE\x5C") + "..x/a", kLoose, NameVerdict::kAccepted},
        {"bad-device-lpt1", "lpt1", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-device-nested-con", "data/CON", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-device-with-extension", "data\\Nul.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-device-trailing-dot-space", "com9. ", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-device-aux-two-extensions", "aux.tar.gz", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-device-console", "CONOUT$", kLoose, NameVerdict::kOutsideInstallation},
        {"good-device-word-longer", "console.txt", kLoose, NameVerdict::kAccepted},
        {"good-device-number-zero", "com0", kLoose, NameVerdict::kAccepted},
        {"good-device-two-digits", "lpt10.txt", kLoose, NameVerdict::kAccepted},
        {"good-device-inside-name", "my-con.txt", kLoose, NameVerdict::kAccepted},
        {"bad-pack-manifest", "update.inf", kPack, NameVerdict::kInstallationsOwn},
        {"bad-pack-manifest-capitals", "Update.INF", kPack, NameVerdict::kInstallationsOwn},
        {"good-pack-patch", "patch.dat", kPack, NameVerdict::kAccepted},
        {"good-pack-nested-manifest", "data/update.inf", kPack, NameVerdict::kAccepted},
        {"bad-loose-manifest", "update.inf", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-pack", "patch.dat", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-rebuild-file", "patch.dattmp", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-capitals", "PATCH.DAT", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-dot-folder", "./patch.dat", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-backslash-dot-folder", ".\\Patch.Dat", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-trailing-dot-and-space", "patch.dat. ", kLoose, NameVerdict::kInstallationsOwn},
        {"good-loose-nested", "data/patch.dat", kLoose, NameVerdict::kAccepted},
        {"good-loose-longer", "patch.dat.bak", kLoose, NameVerdict::kAccepted},
        {"good-loose-game-file", "readme.txt", kLoose, NameVerdict::kAccepted},
        {"good-loose-gbk", "\xB0\xA1patch.dat", kLoose, NameVerdict::kAccepted},
        {"bad-loose-tool", "update.exe", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-tool-capitals", "Update.EXE", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-tool-copy", "update.dat", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-new-build", "./newuper.exe", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-plugin", "updatecfg.dll.", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-plugin-spare", "UpdateCfg.dat", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-unicode-layer", "unicows.dll", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-plugin-aside", "updatecfg.dll.kvoold", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-tool-aside", "update.exe.kvoold", kLoose, NameVerdict::kInstallationsOwn},
        {"bad-loose-temp-file", "KVU1A2B.tmp", kLoose, NameVerdict::kInstallationsOwn},
        {"good-loose-unicode-layer-carrier", "unicows.dll.kvo", kLoose, NameVerdict::kAccepted},
        {"good-loose-nested-tool-name", "tools/update.exe", kLoose, NameVerdict::kAccepted},
        {"good-loose-nested-temp-name", "data/kvu1.tmp", kLoose, NameVerdict::kAccepted},
        {"good-pack-tool-name", "update.exe", kPack, NameVerdict::kAccepted},
        {"bad-unc-backslashes", "\\\\server\\share\\a.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-unc-slashes", "//server/share/a.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-device-path-prefix", "\\\\?\\C:\\a.txt", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-stream-default", "a.txt::$DATA", kLoose, NameVerdict::kOutsideInstallation},
        {"bad-pack-member-parent", "../patch.dat", kPack, NameVerdict::kOutsideInstallation},
        {"bad-pack-member-device", "data/aux", kPack, NameVerdict::kOutsideInstallation},
        {"bad-pack-publication-number", "Publication.Num", kPack, NameVerdict::kInstallationsOwn},
        {"good-pack-member-gbk", "\xB0\xA1/\xD6\xD0.txt", kPack, NameVerdict::kAccepted},
    };
    for (const ServerNameCase& c : cases) EXPECT_EQ(CheckServerName(c.text, c.kind), c.verdict) << c.name;
}

}  // namespace
