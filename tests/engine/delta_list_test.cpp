// The delta list: what is written reads back the same, and a list from the network that is
// anything but whole and valid gives no entries at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/delta_list.h"

namespace {

const char kOldMd5[] = "0123456789abcdef0123456789abcdef";
const char kNewMd5[] = "fedcba9876543210fedcba9876543210";
const char kPatchMd5[] = "00112233445566778899aabbccddeeff";

DeltaEntry GoodEntry(const std::string& name) {
    DeltaEntry e;
    e.name = name;
    e.oldMd5 = kOldMd5;
    e.oldSize = 1000;
    e.newMd5 = kNewMd5;
    e.newSize = 1010;
    e.patchPath = "download/delta/" + std::string(kOldMd5) + "-" + kNewMd5;
    e.patchSize = 40;
    e.patchMd5 = kPatchMd5;
    return e;
}

std::string GoodLine() {
    return std::string("data/a.txt\t") + kOldMd5 + "\t1000\t" + kNewMd5 + "\t1010\tdownload/delta/p\t40\t" +
           kPatchMd5 + "\r\n";
}

std::string Header() { return std::string(kDeltaListHeader) + "\r\n"; }

TEST(DeltaList, ReadsBackWhatWasWritten) {
    // A GBK name with spaces, and an empty list.
    const std::vector<std::vector<DeltaEntry>> lists = {
        {GoodEntry("data/a.txt"), GoodEntry("\xd6\xd0\xce\xc4 name.bin")}, {}};
    for (const auto& entries : lists) {
        std::string text;
        ASSERT_TRUE(FormatDeltaList(entries, &text));
        std::vector<DeltaEntry> back;
        ASSERT_TRUE(ParseDeltaList(text, &back));
        EXPECT_EQ(back, entries);
    }
}

TEST(DeltaList, WriterRefusesAnEntryItCouldNotReadBack) {
    DeltaEntry tab = GoodEntry("a\tb");
    DeltaEntry upper = GoodEntry("a");
    upper.oldMd5 = "0123456789ABCDEF0123456789ABCDEF";
    for (const DeltaEntry& e : {tab, upper}) {
        std::string text = "stale";
        EXPECT_FALSE(FormatDeltaList({GoodEntry("ok"), e}, &text)) << e.name;
        EXPECT_TRUE(text.empty());
    }
}

struct HostileCase {
    const char* name;
    std::string text;
};

std::string Replaced(std::string line, const std::string& from, const std::string& to) {
    line.replace(line.find(from), from.size(), to);
    return line;
}

const HostileCase kHostile[] = {
    {"empty_text", ""},
    {"wrong_header", "KVO delta list 2\r\n" + GoodLine()},
    {"header_without_line_end", kDeltaListHeader},
    {"last_line_without_line_end", Header() + GoodLine().substr(0, GoodLine().size() - 2)},
    {"bare_lf_line_ends", std::string(kDeltaListHeader) + "\n" + Replaced(GoodLine(), "\r\n", "\n")},
    {"seven_fields", Header() + Replaced(GoodLine(), "\t40", "")},
    {"nine_fields", Header() + Replaced(GoodLine(), "\r\n", "\textra\r\n")},
    {"empty_line", Header() + GoodLine() + "\r\n"},
    {"uppercase_digest", Header() + Replaced(GoodLine(), kOldMd5, "0123456789ABCDEF0123456789ABCDEF")},
    {"short_digest", Header() + Replaced(GoodLine(), kPatchMd5, "0011")},
    {"negative_size", Header() + Replaced(GoodLine(), "\t1000\t", "\t-1000\t")},
    {"size_with_leading_zero", Header() + Replaced(GoodLine(), "\t1000\t", "\t01000\t")},
    {"size_overflowing_64_bits", Header() + Replaced(GoodLine(), "\t1010\t", "\t99999999999999999999\t")},
    {"result_beyond_the_member_limit", Header() + Replaced(GoodLine(), "\t1010\t", "\t67108864\t")},
    {"zero_patch_size", Header() + Replaced(GoodLine(), "\t40\t", "\t0\t")},
    {"patch_path_going_up", Header() + Replaced(GoodLine(), "download/delta/p", "download/../../etc/p")},
    {"absolute_patch_path", Header() + Replaced(GoodLine(), "download/delta/p", "/etc/p")},
    {"patch_path_with_drive", Header() + Replaced(GoodLine(), "download/delta/p", "C:/p")},
    {"patch_path_with_backslash", Header() + Replaced(GoodLine(), "download/delta/p", "download\\p")},
    {"empty_name", Header() + Replaced(GoodLine(), "data/a.txt", "")},
    {"old_and_new_the_same", Header() + Replaced(Replaced(GoodLine(), kNewMd5, kOldMd5), "\t1010\t", "\t1000\t")},
    {"control_character_in_name", Header() + Replaced(GoodLine(), "data/a.txt", "data/\x01.txt")},
    // One bad line spoils the whole list: nothing of a forged list is used.
    {"good_line_then_bad_line", Header() + GoodLine() + Replaced(GoodLine(), kOldMd5, "x")},
    {"beyond_the_byte_limit", Header() + GoodLine() + std::string(kDeltaListMaxBytes, 'x') + "\r\n"},
};

class DeltaListHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(DeltaListHostile, GivesNoEntries) {
    std::vector<DeltaEntry> entries = {GoodEntry("stale")};
    EXPECT_FALSE(ParseDeltaList(GetParam().text, &entries));
    EXPECT_TRUE(entries.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaListHostile, testing::ValuesIn(kHostile),
                         [](const testing::TestParamInfo<HostileCase>& i) { return std::string(i.param.name); });

TEST(DeltaList, TooManyEntriesAreRefusedWhole) {
    std::string text = Header();
    for (size_t i = 0; i <= kDeltaListMaxEntries; ++i) text += GoodLine();
    std::vector<DeltaEntry> entries;
    EXPECT_FALSE(ParseDeltaList(text, &entries));
    text = Header();
    for (size_t i = 0; i < 3; ++i) text += GoodLine();
    EXPECT_TRUE(ParseDeltaList(text, &entries));
    EXPECT_EQ(entries.size(), 3u);
}

TEST(DeltaList, FindsOnlyThePatchForTheInstalledContent) {
    DeltaEntry other = GoodEntry("data/a.txt");
    other.oldMd5 = kPatchMd5;
    other.patchPath = "download/delta/other";
    const std::vector<DeltaEntry> entries = {other, GoodEntry("data/a.txt")};
    const DeltaEntry* found = FindDeltaEntry(entries, "data/a.txt", kOldMd5, 1000, kNewMd5);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->patchPath, GoodEntry("x").patchPath);
    EXPECT_EQ(FindDeltaEntry(entries, "data/b.txt", kOldMd5, 1000, kNewMd5), nullptr);
    EXPECT_EQ(FindDeltaEntry(entries, "data/a.txt", kOldMd5, 999, kNewMd5), nullptr);
    EXPECT_EQ(FindDeltaEntry(entries, "data/a.txt", kOldMd5, 1000, kOldMd5), nullptr);
}

}  // namespace
