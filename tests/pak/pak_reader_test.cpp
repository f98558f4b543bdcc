// The pack reader: PakList and PakFile over packs laid out by the tests' own builder.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "tests/pak/pak_test_util.h"

namespace {

// Reads the whole of `name` through PakFile in pieces of `piece` bytes.
bool ReadAll(const char* name, size_t piece, PakBytes& out) {
    PakFile file;
    if (file.Open(name) != 1) return false;
    out.clear();
    PakBytes buffer(piece);
    for (;;) {
        uint32_t got = file.Read(buffer.data(), static_cast<uint32_t>(piece));
        if (got == 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    return out.size() == file.GetSize();
}

std::vector<HandEntry> SampleEntries() {
    return {
        {"one.txt", TextBytes(1)},
        {"Data/Text-65535.ini", TextBytes(65535, 2)},
        {"exact-block.bin", RandomBytes(65536, 3)},
        {"block-and-one.bin", RandomBytes(65537, 4)},
        {"text-200000.txt", TextBytes(200000, 5)},
        {"random-70000.bin", RandomBytes(70000, 6)},
        {"mixed.bin",
         [] {
             PakBytes b = TextBytes(65536 * 2, 7);
             PakBytes r = RandomBytes(65536 + 123, 8);
             b.insert(b.end(), r.begin(), r.end());
             return b;
         }()},
    };
}

class PakReaderMethodTest : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        if (!PakMethodAvailable(GetParam())) GTEST_SKIP() << "no codec for method " << MethodName(GetParam()) << " in this build";
        ASSERT_TRUE(scratch_.ok());
    }
    PakScratchDir scratch_;
};

struct LayoutCase {
    const char* name;
    HandOptions options;
};

const LayoutCase kLayouts[] = {
    {"made-padded", {"DATAPACK", true}},
    {"rebuilt-unpadded", {"UpdatePK", false}},
};

TEST_P(PakReaderMethodTest, EveryEntryReadsBackWholeAndInPieces) {
    const std::vector<HandEntry> entries = SampleEntries();
    for (const LayoutCase& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        ASSERT_TRUE(WriteBytes("good.pak", BuildHandPack(GetParam(), entries, layout.options).bytes));
        PakList list;
        ASSERT_EQ(list.Open("good.pak", 0), 1);
        SetPakOpenMode(kPakOpenPacksOnly);
        for (const HandEntry& entry : entries) {
            for (size_t piece : {size_t{1000}, size_t{65536}, size_t{300000}}) {
                SCOPED_TRACE(entry.name + " in pieces of " + std::to_string(piece));
                PakBytes got;
                ASSERT_TRUE(ReadAll(entry.name.c_str(), piece, got));
                EXPECT_TRUE(got == entry.content);
            }
        }
    }
}

TEST_P(PakReaderMethodTest, SeekThenReadAcrossBlockBoundaries) {
    const PakBytes content = TextBytes(65536 * 3 + 17, 9);
    ASSERT_TRUE(WriteBytes("good.pak", BuildHandPack(GetParam(), {{"big.txt", content}}).bytes));
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    PakFile file;
    ASSERT_EQ(file.Open("big.txt"), 1);
    struct Step {
        int32_t offset;
        int origin;
        uint32_t length;
    };
    const Step steps[] = {{65530, 0, 20}, {-10, 1, 65536}, {3, 1, 70000}, {-17, 2, 100}, {0, 0, 65536 * 3 + 17}};
    for (const Step& step : steps) {
        const uint32_t at = file.Seek(step.offset, step.origin);
        PakBytes got(step.length);
        const uint32_t n = file.Read(got.data(), step.length);
        const uint32_t expected = std::min<uint32_t>(step.length, static_cast<uint32_t>(content.size()) - at);
        ASSERT_EQ(n, expected) << "at " << at;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, content.begin() + at)) << "at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, PakReaderMethodTest, ::testing::ValuesIn(kAllPakMethods),
                         [](const ::testing::TestParamInfo<int32_t>& info) { return MethodName(info.param); });

class PakReaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.ok()); }
    bool MakePack(const std::string& file, const std::vector<HandEntry>& entries, const HandOptions& options = {}) {
        return WriteBytes(file, BuildHandPack(kPakMethodStored, entries, options).bytes);
    }
    PakScratchDir scratch_;
};

TEST_F(PakReaderTest, RequestedNameIsFoldedAndBackslashesBecomeSlashes) {
    ASSERT_TRUE(MakePack("good.pak", {{"data/map/town.txt", TextBytes(10)}}));
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    PakFile file;
    EXPECT_EQ(file.Open("Data\\Map\\TOWN.txt"), 1);
    EXPECT_EQ(file.GetSize(), 10u);
    EXPECT_EQ(file.Open("data\\map\\town.txt"), 1);
    EXPECT_EQ(file.Open("data\\map\\city.txt"), 0);
}

TEST_F(PakReaderTest, EmptyPackOpensAndFindsNothing) {
    ASSERT_TRUE(MakePack("empty.pak", {}));
    PakList list;
    ASSERT_EQ(list.Open("empty.pak", 0), 1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Find("anything", nullptr, nullptr), -1);
}

TEST_F(PakReaderTest, EntrySizeLimitAtOpen) {
    struct Case {
        const char* name;
        uint32_t size;
        int opened;
    };
    const Case cases[] = {{"largest-allowed", 0x3FFFFFF, 1}, {"one-too-large", 0x4000000, 0}};
    for (const Case& c : cases) {
        HandPack pack = BuildHandPack(kPakMethodStored, {{"a", TextBytes(5)}});
        Put32(pack.bytes, 16 + 8, c.size);
        ASSERT_TRUE(WriteBytes("sized.pak", pack.bytes));
        PakList list;
        EXPECT_EQ(list.Open("sized.pak", 0), c.opened) << c.name;
        EXPECT_EQ(list.Count(), c.opened) << c.name;
    }
}

TEST_F(PakReaderTest, SameNameInTwoPacksComesFromTheFirstOpened) {
    ASSERT_TRUE(MakePack("first.pak", {{"shared.txt", TextBytes(3, 1)}}));
    ASSERT_TRUE(MakePack("second.pak", {{"shared.txt", TextBytes(5, 2)}, {"only2.txt", TextBytes(7)}}));
    PakList list;
    ASSERT_EQ(list.Open("first.pak", 0), 1);
    ASSERT_EQ(list.Open("second.pak", 0), 1);
    uint32_t offset = 0;
    uint32_t size = 0;
    EXPECT_EQ(list.Find("shared.txt", &offset, &size), 0);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(list.Find("only2.txt", &offset, &size), 1);
    EXPECT_EQ(list.CurrentIndex(), 1);
    PakBytes got;
    ASSERT_TRUE(ReadAll("shared.txt", 100, got));
    EXPECT_TRUE(got == TextBytes(3, 1));
}

TEST_F(PakReaderTest, LaterIndexEntryWinsForADuplicateId) {
    ASSERT_TRUE(MakePack("dup.pak", {{"twice.txt", TextBytes(3, 1)}, {"Twice.TXT", TextBytes(9, 2)}}));
    PakList list;
    ASSERT_EQ(list.Open("dup.pak", 0), 1);
    PakBytes got;
    ASSERT_TRUE(ReadAll("twice.txt", 100, got));
    EXPECT_TRUE(got == TextBytes(9, 2));
}

TEST_F(PakReaderTest, EmptyEntryIsFoundButCannotBeOpened) {
    ASSERT_TRUE(MakePack("good.pak", {{"empty.txt", {}}}));
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    uint32_t size = 1;
    EXPECT_EQ(list.Find("empty.txt", nullptr, &size), 0);
    EXPECT_EQ(size, 0u);
    PakFile file;
    EXPECT_EQ(file.Open("empty.txt"), 0);
}

TEST_F(PakReaderTest, ReadingAndSeekingAtTheEnd) {
    ASSERT_TRUE(MakePack("good.pak", {{"ten.txt", TextBytes(10)}}));
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    PakFile file;
    ASSERT_EQ(file.Open("ten.txt"), 1);
    uint8_t buffer[64];
    EXPECT_EQ(file.Read(buffer, 64), 10u);
    EXPECT_EQ(file.Read(buffer, 64), 0u);
    EXPECT_EQ(file.Seek(5, kPakSeekEnd), 10u);
    EXPECT_EQ(file.Seek(-1, kPakSeekBegin), 10u);  // an unsigned position beyond the size
    EXPECT_EQ(file.Seek(4, kPakSeekBegin), 4u);
    EXPECT_EQ(file.Seek(2, 9), 4u);  // unknown origin keeps the position
    EXPECT_EQ(file.Read(buffer, 64), 6u);
}

TEST_F(PakReaderTest, VersionEntryRequired) {
    ASSERT_TRUE(MakePack("v1.pak", {{"1.ver", TextBytes(4)}}));
    PakList list;
    EXPECT_EQ(list.Open("v1.pak", 3), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Open("v1.pak", 1), 1);
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(PakReaderTest, OpenModesChooseDiskOrPacks) {
    ASSERT_TRUE(MakePack("good.pak", {{"both.txt", TextBytes(3, 1)}, {"pack-only.txt", TextBytes(4, 2)}}));
    ASSERT_TRUE(WriteBytes("both.txt", TextBytes(5, 3)));
    ASSERT_TRUE(WriteBytes("disk-only.txt", TextBytes(6, 4)));
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    struct Case {
        const char* name;
        int mode;
        const char* request;
        int opened;
        bool fromPack;
    };
    const Case cases[] = {
        {"disk-first-prefers-disk", 0, "both.txt", 1, false},
        {"disk-first-falls-back", 0, "pack-only.txt", 1, true},
        {"packs-first-prefers-pack", 1, "both.txt", 1, true},
        {"packs-first-falls-back", 1, "disk-only.txt", 1, false},
        {"disk-only", 2, "both.txt", 1, false},
        {"disk-only-misses-pack", 2, "pack-only.txt", 0, false},
        {"packs-only", 3, "both.txt", 1, true},
        {"packs-only-misses-disk", 3, "disk-only.txt", 0, false},
        {"unknown-mode", 4, "both.txt", 0, false},
        {"negative-mode", -1, "both.txt", 0, false},
    };
    for (const Case& c : cases) {
        SetPakOpenMode(c.mode);
        PakFile file;
        EXPECT_EQ(file.Open(c.request), c.opened) << c.name;
        if (c.opened == 1) {
            EXPECT_EQ(file.PackIndex() >= 0, c.fromPack) << c.name;
        }
    }
}

TEST_F(PakReaderTest, DiskFileReadsAndSeeksLikeAFile) {
    const PakBytes content = TextBytes(1000);
    ASSERT_TRUE(WriteBytes("plain.txt", content));
    PakFile file;
    ASSERT_EQ(file.Open("plain.txt"), 1);
    EXPECT_EQ(file.PackIndex(), -1);
    EXPECT_EQ(file.GetSize(), 1000u);
    EXPECT_EQ(file.Seek(-10, kPakSeekEnd), 990u);
    uint8_t tail[20];
    EXPECT_EQ(file.Read(tail, 20), 10u);
    EXPECT_TRUE(std::equal(tail, tail + 10, content.end() - 10));
}

TEST_F(PakReaderTest, WithoutAListOnlyTheDiskIsSeen) {
    ASSERT_TRUE(WriteBytes("plain.txt", TextBytes(5)));
    ASSERT_EQ(PakList::Current(), nullptr);
    PakFile file;
    SetPakOpenMode(kPakOpenPacksFirst);
    EXPECT_EQ(file.Open("plain.txt"), 1);
    SetPakOpenMode(kPakOpenPacksOnly);
    EXPECT_EQ(file.Open("plain.txt"), 0);
}

TEST_F(PakReaderTest, NewestListIsCurrentUntilDestroyed) {
    auto outer = std::make_unique<PakList>();
    {
        PakList inner;
        EXPECT_EQ(PakList::Current(), &inner);
    }
    EXPECT_EQ(PakList::Current(), nullptr);
    outer.reset();
    EXPECT_EQ(PakList::Current(), nullptr);
}

TEST_F(PakReaderTest, StreamOutlivingItsListReadsNothing) {
    ASSERT_TRUE(MakePack("good.pak", {{"a.txt", TextBytes(100)}}));
    PakFile file;
    {
        PakList list;
        ASSERT_EQ(list.Open("good.pak", 0), 1);
        ASSERT_EQ(file.Open("a.txt"), 1);
    }
    uint8_t buffer[100];
    EXPECT_EQ(file.Read(buffer, 100), 0u);
}

TEST_F(PakReaderTest, ThirtyTwoPacksAtMost) {
    ASSERT_TRUE(MakePack("good.pak", {{"a.txt", TextBytes(1)}}));
    PakList list;
    for (int i = 0; i < kPakListSlots; ++i) ASSERT_EQ(list.Open("good.pak", 0), 1) << i;
    EXPECT_EQ(list.Open("good.pak", 0), 0);
    EXPECT_EQ(list.Count(), kPakListSlots);
    list.CloseAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Open("good.pak", 0), 1);
}

TEST_F(PakReaderTest, OverlongNamesAreRefused) {
    ASSERT_TRUE(MakePack("good.pak", {{"a.txt", TextBytes(1)}}));
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    PakFile file;
    SetPakOpenMode(kPakOpenPacksOnly);
    EXPECT_EQ(file.Open(std::string(kPakOpenNameMax + 1, 'a').c_str()), 0);
    EXPECT_EQ(file.Open(std::string(kPakLookupNameMax + 1, 'a').c_str()), 0);
    EXPECT_EQ(list.Open(std::string(kPakDiskPathMax + 1, 'p').c_str(), 0), 0);
    EXPECT_EQ(file.Open(nullptr), 0);
}

// Every open starts by closing the stream: whatever the refused name, the file opened
// before is no longer readable through it.
TEST_F(PakReaderTest, RefusedOpenLeavesTheStreamClosed) {
    ASSERT_TRUE(MakePack("good.pak", {{"a.txt", TextBytes(100)}}));
    ASSERT_TRUE(WriteBytes("disk.txt", TextBytes(50)));
    const std::string overlongOpen(kPakOpenNameMax + 1, 'a');
    const std::string overlongLookup(kPakLookupNameMax + 1, 'a');
    struct Case {
        const char* name;
        const char* previous;  // opened first (disk first, then the pack)
        const char* refused;
    };
    const Case cases[] = {
        {"null-after-pack-entry", "a.txt", nullptr},
        {"null-after-disk-file", "disk.txt", nullptr},
        {"longer-than-an-open-accepts-after-pack-entry", "a.txt", overlongOpen.c_str()},
        {"longer-than-an-open-accepts-after-disk-file", "disk.txt", overlongOpen.c_str()},
        {"longer-than-a-lookup-name", "a.txt", overlongLookup.c_str()},
        {"missing-name", "a.txt", "missing.txt"},
    };
    PakList list;
    ASSERT_EQ(list.Open("good.pak", 0), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PakFile file;
        ASSERT_EQ(file.Open(c.previous), 1);
        EXPECT_EQ(file.Open(c.refused), 0);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.PackIndex(), -1);
        uint8_t byte = 0;
        EXPECT_EQ(file.Read(&byte, 1), 0u);
        EXPECT_EQ(file.GetSize(), 0u);
    }
}

// Damaged and hostile packs: each case changes a good pack and says what must happen.
struct DamageCase {
    const char* name;
    std::function<void(HandPack&)> damage;
    int opens;     // PakList::Open result
    int streams;   // PakFile::Open result of "victim.bin" (when the pack opened)
    bool reads;    // whether the whole entry then reads back unchanged
};

const PakBytes& Victim() {
    static const PakBytes content = [] {
        PakBytes b = TextBytes(65536 + 5000, 11);
        PakBytes r = RandomBytes(65536, 12);
        b.insert(b.end(), r.begin(), r.end());
        return b;
    }();
    return content;
}

const DamageCase kDamageCases[] = {
    {"intact", [](HandPack&) {}, 1, 1, true},
    {"wrong-magic", [](HandPack& p) { p.bytes[0] = 'X'; }, 0, 0, false},
    {"shorter-than-header", [](HandPack& p) { p.bytes.resize(10); }, 0, 0, false},
    {"count-beyond-file", [](HandPack& p) { Put32(p.bytes, 8, 0x10000000); }, 0, 0, false},
    {"count-wraps-index-size", [](HandPack& p) { Put32(p.bytes, 8, 0x15555556); }, 0, 0, false},
    {"index-cut-short", [](HandPack& p) { p.bytes.resize(16 + 6); }, 0, 0, false},
    {"unknown-method", [](HandPack& p) { Put32(p.bytes, 12, 7); }, 0, 0, false},
    {"offset-beyond-file", [](HandPack& p) { Put32(p.bytes, 16 + 4, 0xFFFFFFF0); }, 1, 0, false},
    {"table-beyond-file", [](HandPack& p) { Put32(p.bytes, 16 + 4, static_cast<uint32_t>(p.bytes.size()) - 3); }, 1, 0, false},
    {"block-lengths-beyond-file", [](HandPack& p) { Put16(p.bytes, p.offsets[0], 0xFFFF); Put16(p.bytes, p.offsets[0] + 2, 0xFFFF); Put16(p.bytes, p.offsets[0] + 4, 0xFFFF); }, 1, 0, false},
    {"padding-cut-off", [](HandPack& p) { p.bytes.resize(p.bytes.size() - (65536 - 5000)); }, 1, 1, true},
    {"data-cut-short", [](HandPack& p) { p.bytes.resize(p.bytes.size() - (65536 - 5000) - 1); }, 1, 0, false},
    {"coded-length-one-short", [](HandPack& p) { Put16(p.bytes, p.offsets[0], static_cast<uint16_t>(p.bytes[p.offsets[0]] | p.bytes[p.offsets[0] + 1] << 8) - 1); }, 1, 1, false},
    {"coded-block-garbled", [](HandPack& p) { for (size_t i = 0; i < 64; ++i) p.bytes[p.offsets[0] + 6 + 2 + i] ^= 0x5A; }, 1, 1, false},
    {"compressed-marked-stored", [](HandPack& p) { Put16(p.bytes, p.offsets[0], 0); }, 1, 1, false},
};

TEST_F(PakReaderTest, DamagedPacksFailCleanly) {
    for (const DamageCase& c : kDamageCases) {
        SCOPED_TRACE(c.name);
        HandPack pack = BuildHandPack(kPakMethodZlib, {{"victim.bin", Victim()}});
        c.damage(pack);
        ASSERT_TRUE(WriteBytes("bad.pak", pack.bytes));
        PakList list;
        ASSERT_EQ(list.Open("bad.pak", 0), c.opens);
        if (c.opens == 0) continue;
        PakFile file;
        ASSERT_EQ(file.Open("victim.bin"), c.streams);
        if (c.streams == 0) continue;
        PakBytes got(Victim().size());
        const uint32_t n = file.Read(got.data(), static_cast<uint32_t>(got.size()));
        if (c.reads) {
            EXPECT_EQ(n, got.size());
            EXPECT_TRUE(got == Victim());
        } else {
            EXPECT_EQ(n, 0u);
            EXPECT_EQ(file.Seek(0, kPakSeekCurrent), 0u);  // a failed read rewinds
        }
    }
}

// A pack cut at many places: every open and read either succeeds with the right bytes or
// fails; nothing else happens.
TEST_F(PakReaderTest, TruncatedPacksNeverReadWrongBytes) {
    const std::vector<HandEntry> entries = {{"a.txt", TextBytes(70000, 1)}, {"b.bin", RandomBytes(3000, 2)}};
    const PakBytes whole = BuildHandPack(kPakMethodZlib, entries).bytes;
    for (size_t cut = 0; cut < whole.size(); cut += 1 + cut / 7) {
        PakBytes bytes(whole.begin(), whole.begin() + cut);
        ASSERT_TRUE(WriteBytes("cut.pak", bytes));
        PakList list;
        if (list.Open("cut.pak", 0) != 1) continue;
        for (const HandEntry& entry : entries) {
            PakFile file;
            if (file.Open(entry.name.c_str()) != 1) continue;
            PakBytes got(entry.content.size());
            const uint32_t n = file.Read(got.data(), static_cast<uint32_t>(got.size()));
            if (n != 0) {
                EXPECT_TRUE(n == got.size() && got == entry.content) << "cut at " << cut;
            }
        }
    }
}

}  // namespace
