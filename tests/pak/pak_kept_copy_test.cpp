// Kept entries of a rebuild are copied through a large window of the old pack, and runs of
// entries that lie next to each other go out in one write: whatever the old layout, every
// kept entry must come through whole, including entries that cross a window's edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "pak/pak_updater.h"
#include "tests/pak/pak_test_util.h"

namespace {

constexpr size_t kEntryCountAt = 8;  // after the 8-byte magic

PakBytes MemberOf(const char* pack, const char* name) {
    PakList list;
    if (list.Open(pack, 0) != 1) return {0xBA, 0xD0};
    SetPakOpenMode(kPakOpenPacksOnly);
    PakFile file;
    const int opened = file.Open(name);
    SetPakOpenMode(kPakOpenDiskFirst);
    if (opened != 1) return {0xBA, 0xD1};
    PakBytes out(file.GetSize());
    if (!out.empty() && file.Read(out.data(), static_cast<uint32_t>(out.size())) != out.size()) return {0xBA, 0xD2};
    return out;
}

// Large incompressible members (stored plain: 1.5 MiB each, several copy windows in all),
// small compressible ones between them, and an empty one (kept in the index, though a
// lookup treats an empty entry as absent).
std::vector<HandEntry> Members() {
    std::vector<HandEntry> members;
    for (int i = 0; i < 6; ++i) {
        members.push_back({"big" + std::to_string(i) + ".bin", RandomBytes(1536 * 1024 + 333 * i, 50 + i)});
        members.push_back({"small" + std::to_string(i) + ".txt", TextBytes(700 + 90000 * (i % 2), 60 + i)});
    }
    members.push_back({"empty.txt", {}});
    return members;
}

enum class Layout { IdOrder, ReverseIdOrder, Interleaved };

std::vector<HandEntry> LaidOut(Layout layout) {
    std::vector<HandEntry> members = Members();
    std::sort(members.begin(), members.end(),
              [](const HandEntry& a, const HandEntry& b) { return CalcFileId(a.name.c_str()) < CalcFileId(b.name.c_str()); });
    if (layout == Layout::ReverseIdOrder) std::reverse(members.begin(), members.end());
    if (layout == Layout::Interleaved) {
        // Every other member moved to the end: no two members next in id order lie together.
        std::vector<HandEntry> odd;
        std::vector<HandEntry> even;
        for (size_t i = 0; i < members.size(); ++i) (i % 2 ? odd : even).push_back(members[i]);
        members = even;
        members.insert(members.end(), odd.begin(), odd.end());
    }
    return members;
}

struct LayoutCase {
    const char* name;
    Layout layout;
    const char* replaced;  // a member replaced, so the kept ones around it are not one run
};

class PakKeptCopyTest : public ::testing::TestWithParam<LayoutCase> {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.ok()); }
    PakScratchDir scratch_;
    StatusLines status_;
    BoxesAndLog boxes_;
};

TEST_P(PakKeptCopyTest, EveryKeptEntryComesThroughWhole) {
    const LayoutCase& c = GetParam();
    ASSERT_TRUE(WriteBytes("patch.dat", BuildHandPack(kPakMethodZlib, LaidOut(c.layout)).bytes));
    const PakBytes replacement = TextBytes(5000, 70);
    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(updater.AddBuffer(c.replaced, replacement.data(), static_cast<uint32_t>(replacement.size())), 1);
    ASSERT_EQ(updater.Rebuild(), 1);
    EXPECT_EQ(Get32(ReadBytes("patch.dat"), kEntryCountAt), Members().size());
    for (const HandEntry& member : Members()) {
        const PakBytes expected = member.name == c.replaced ? replacement : member.content;
        if (expected.empty()) continue;
        EXPECT_TRUE(MemberOf("patch.dat", member.name.c_str()) == expected) << member.name;
    }
    // The rebuilt pack is rebuilt again: now every entry is kept, from the new layout.
    PakUpdater again;
    ASSERT_EQ(again.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(again.AddBuffer("extra.txt", "x", 1), 1);
    ASSERT_EQ(again.Rebuild(), 1);
    EXPECT_EQ(Get32(ReadBytes("patch.dat"), kEntryCountAt), Members().size() + 1);
    for (const HandEntry& member : Members()) {
        const PakBytes expected = member.name == c.replaced ? replacement : member.content;
        if (expected.empty()) continue;
        EXPECT_TRUE(MemberOf("patch.dat", member.name.c_str()) == expected) << "second rebuild: " << member.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PakKeptCopyTest,
                         ::testing::Values(LayoutCase{"id_order", Layout::IdOrder, "big3.bin"},
                                           LayoutCase{"reverse_id_order", Layout::ReverseIdOrder, "small2.txt"},
                                           LayoutCase{"interleaved", Layout::Interleaved, "big0.bin"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
