// The pack rebuild: queued replacements, deletions, the new layout, and the old pack kept
// whole whenever a rebuild fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "pak/pak_texts.h"
#include "pak/pak_update_task.h"
#include "pak/pak_updater.h"
#include "tests/pak/pak_test_util.h"

namespace {

PakBytes Member(const char* pack, const char* name, bool* found = nullptr) {
    PakList list;
    PakBytes out;
    if (found != nullptr) *found = false;
    if (list.Open(pack, 0) != 1) return out;
    SetPakOpenMode(kPakOpenPacksOnly);
    PakFile file;
    const int opened = file.Open(name);
    SetPakOpenMode(kPakOpenDiskFirst);
    if (opened != 1) return out;
    out.resize(file.GetSize());
    if (file.Read(out.data(), static_cast<uint32_t>(out.size())) != out.size()) return PakBytes{0xBA, 0xD0};
    if (found != nullptr) *found = true;
    return out;
}

PakBytes Bytes(const std::string& s) { return PakBytes(s.begin(), s.end()); }

class PakUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.ok()); }
    // A "DATAPACK" pack of four members.
    bool MakeBasePack(int32_t method = kPakMethodZlib, const char* file = "patch.dat") {
        return WriteBytes(file, BuildHandPack(method, BaseEntries()).bytes);
    }
    static std::vector<HandEntry> BaseEntries() {
        return {{"keep-a.txt", TextBytes(1000, 1)},
                {"replace-me.txt", TextBytes(70000, 2)},
                {"delete-me.txt", TextBytes(500, 3)},
                {"Data/keep-b.bin", RandomBytes(66000, 4)}};
    }
    PakScratchDir scratch_;
    StatusLines status_;
    BoxesAndLog boxes_;
};

class PakUpdaterMethodTest : public PakUpdaterTest, public ::testing::WithParamInterface<int32_t> {
protected:
    void SetUp() override {
        if (!PakMethodAvailable(GetParam())) GTEST_SKIP() << "no codec for method " << MethodName(GetParam()) << " in this build";
        PakUpdaterTest::SetUp();
    }
};

TEST_P(PakUpdaterMethodTest, ReplacesAddsDeletesAndKeeps) {
    const int32_t method = GetParam();
    ASSERT_TRUE(MakeBasePack(method));
    const PakBytes replacement = TextBytes(140000, 9);
    const PakBytes added = RandomBytes(3000, 10);
    ASSERT_TRUE(WriteBytes("added.tmp", added));
    const std::string markerPlus = std::string(kPakDeleteMarker) + "!";

    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(updater.AddBuffer("Replace-Me.TXT", replacement.data(), static_cast<uint32_t>(replacement.size())), 1);
    ASSERT_EQ(updater.AddFile("new/added.bin", "added.tmp"), 1);
    ASSERT_EQ(updater.AddBuffer("delete-me.txt", kPakDeleteMarker, kPakDeleteMarkerSize), 1);
    ASSERT_EQ(updater.AddBuffer("never-there.txt", kPakDeleteMarker, kPakDeleteMarkerSize), 1);
    ASSERT_EQ(updater.AddBuffer("marker-plus.txt", markerPlus.data(), static_cast<uint32_t>(markerPlus.size())), 1);
    ASSERT_EQ(updater.Rebuild(), 1);
    EXPECT_TRUE(status_.Has(kRebuildTextRebuilding));

    const PakBytes pack = ReadBytes("patch.dat");
    ASSERT_GE(pack.size(), 16u);
    EXPECT_EQ(std::string(pack.begin(), pack.begin() + 8), "UpdatePK");
    EXPECT_EQ(Get32(pack, 12), static_cast<uint32_t>(method));
    ASSERT_EQ(Get32(pack, 8), 5u);
    // Replaced and new entries first, kept ones after them, each group by ascending id.
    std::vector<uint32_t> changed = {CalcFileId("replace-me.txt"), CalcFileId("new/added.bin"), CalcFileId("marker-plus.txt")};
    std::vector<uint32_t> kept = {CalcFileId("keep-a.txt"), CalcFileId("data/keep-b.bin")};
    std::sort(changed.begin(), changed.end());
    std::sort(kept.begin(), kept.end());
    changed.insert(changed.end(), kept.begin(), kept.end());
    for (size_t i = 0; i < changed.size(); ++i) EXPECT_EQ(Get32(pack, 16 + 12 * i), changed[i]) << i;

    bool found = false;
    EXPECT_TRUE(Member("patch.dat", "replace-me.txt") == replacement);
    EXPECT_TRUE(Member("patch.dat", "new/added.bin") == added);
    EXPECT_TRUE(Member("patch.dat", "marker-plus.txt") == Bytes(markerPlus));
    EXPECT_TRUE(Member("patch.dat", "keep-a.txt") == BaseEntries()[0].content);
    EXPECT_TRUE(Member("patch.dat", "data/keep-b.bin") == BaseEntries()[3].content);
    Member("patch.dat", "delete-me.txt", &found);
    EXPECT_FALSE(found);
    Member("patch.dat", "never-there.txt", &found);
    EXPECT_FALSE(found);
    EXPECT_FALSE(FileThere("added.tmp"));
    EXPECT_FALSE(FileThere("patch.dattmp"));
    EXPECT_EQ(updater.QueuedCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllMethods, PakUpdaterMethodTest, ::testing::ValuesIn(kAllPakMethods),
                         [](const ::testing::TestParamInfo<int32_t>& info) { return MethodName(info.param); });

TEST_F(PakUpdaterTest, CreatesAMissingPackHoldingOnlyTheMarker) {
    PakUpdater updater;
    EXPECT_EQ(updater.OpenOrCreate("patch.dat", 0), 0);
    EXPECT_FALSE(FileThere("patch.dat"));
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 1), 1);
    EXPECT_FALSE(FileThere("1.ver"));
    updater.Reset();
    const PakBytes pack = ReadBytes("patch.dat");
    ASSERT_GE(pack.size(), 28u);
    EXPECT_EQ(std::string(pack.begin(), pack.begin() + 8), "DATAPACK");
    EXPECT_EQ(Get32(pack, 8), 1u);
    EXPECT_EQ(Get32(pack, 12), static_cast<uint32_t>(kPakMethodZlib));
    PakList list;
    EXPECT_EQ(list.Open("patch.dat", 1), 1);
    list.CloseAll();
    EXPECT_TRUE(Member("patch.dat", "1.ver") == Bytes(".\r\n1.ver\r\n"));
}

TEST_F(PakUpdaterTest, AnExistingFileThatIsNoPackIsNotOverwritten) {
    ASSERT_TRUE(WriteText("patch.dat", "not a pack"));
    PakUpdater updater;
    EXPECT_EQ(updater.OpenOrCreate("patch.dat", 1), 0);
    EXPECT_TRUE(ReadBytes("patch.dat") == Bytes("not a pack"));
}

TEST_F(PakUpdaterTest, NothingToDo) {
    ASSERT_TRUE(MakeBasePack());
    const PakBytes before = ReadBytes("patch.dat");
    PakUpdater never;
    EXPECT_EQ(never.Rebuild(), 1);
    EXPECT_EQ(never.AddBuffer("a", "x", 1), 0);
    PakUpdater idle;
    ASSERT_EQ(idle.OpenOrCreate("patch.dat", 0), 1);
    EXPECT_EQ(idle.Rebuild(), 1);
    EXPECT_EQ(idle.AddBuffer("a", "x", 1), 0);  // the pack was closed by the rebuild
    EXPECT_TRUE(ReadBytes("patch.dat") == before);
}

TEST_F(PakUpdaterTest, AddBufferArguments) {
    ASSERT_TRUE(MakeBasePack());
    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    struct Case {
        const char* name;
        const char* entry;
        const void* data;
        uint32_t size;
        int result;
    };
    const Case cases[] = {
        {"data-with-size-0", "a.txt", "x", 0, 0},
        {"no-data-with-size", "b.txt", nullptr, 5, 0},
        {"no-data-size-0-queues-empty", "empty.txt", nullptr, 0, 1},
        {"first-content", "twice.txt", "first", 5, 1},
        {"same-name-again-refused", "TWICE.txt", "second", 6, 0},
        {"overlong-name", std::string(kPakLookupNameMax + 1, 'n').c_str(), "x", 1, 0},
        {"null-name", nullptr, "x", 1, 0},
    };
    std::string overlong(kPakLookupNameMax + 1, 'n');
    for (const Case& c : cases) {
        const char* entry = std::string(c.name) == "overlong-name" ? overlong.c_str() : c.entry;
        EXPECT_EQ(updater.AddBuffer(entry, c.data, c.size), c.result) << c.name;
    }
    ASSERT_EQ(updater.Rebuild(), 1);
    bool found = false;
    EXPECT_TRUE(Member("patch.dat", "twice.txt") == Bytes("first"));
    uint32_t size = 1;
    PakList list;
    ASSERT_EQ(list.Open("patch.dat", 0), 1);
    EXPECT_EQ(list.Find("empty.txt", nullptr, &size), 0);
    EXPECT_EQ(size, 0u);
    list.CloseAll();
    Member("patch.dat", "a.txt", &found);
    EXPECT_FALSE(found);
}

TEST_F(PakUpdaterTest, AddFileFailuresLeaveTheFile) {
    ASSERT_TRUE(MakeBasePack());
    ASSERT_TRUE(WriteText("source.tmp", "content"));
    PakUpdater closed;
    EXPECT_EQ(closed.AddFile("a.txt", "source.tmp"), 0);
    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    EXPECT_EQ(updater.AddFile("a.txt", "missing.tmp"), 0);
    ASSERT_EQ(updater.AddBuffer("a.txt", "x", 1), 1);
    EXPECT_EQ(updater.AddFile("A.TXT", "source.tmp"), 0);  // already queued
    EXPECT_TRUE(FileThere("source.tmp"));
    EXPECT_EQ(GetPakOpenMode(), kPakOpenDiskFirst);
}

TEST_F(PakUpdaterTest, AddFileReadsFromTheOpenPacksFirst) {
    ASSERT_TRUE(MakeBasePack());
    ASSERT_TRUE(WriteBytes("update.pak", BuildHandPack(kPakMethodZlib, {{"inner.txt", TextBytes(2000, 7)}}).bytes));
    ASSERT_TRUE(WriteText("inner.txt", "disk copy"));
    {
        PakList packs;
        ASSERT_EQ(packs.Open("update.pak", 0), 1);
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
        ASSERT_EQ(updater.AddFile("from-pack.txt", "inner.txt"), 1);
        EXPECT_EQ(GetPakOpenMode(), kPakOpenDiskFirst);
        ASSERT_EQ(updater.Rebuild(), 1);
    }
    EXPECT_TRUE(Member("patch.dat", "from-pack.txt") == TextBytes(2000, 7));
}

TEST_F(PakUpdaterTest, IncompressibleReplacementIsStoredWithoutPadding) {
    ASSERT_TRUE(MakeBasePack(kPakMethodZlib));
    const PakBytes content = RandomBytes(70000, 21);
    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(updater.AddBuffer("random.bin", content.data(), 70000), 1);
    ASSERT_EQ(updater.Rebuild(), 1);
    const PakBytes pack = ReadBytes("patch.dat");
    const uint32_t count = Get32(pack, 8);
    ASSERT_EQ(Get32(pack, 16), CalcFileId("random.bin"));
    const uint32_t offset = Get32(pack, 20);
    EXPECT_EQ(offset, 16 + 12 * count);
    EXPECT_EQ(pack[offset] | pack[offset + 1] << 8, 0);
    EXPECT_EQ(pack[offset + 2] | pack[offset + 3] << 8, 0);
    // The next entry starts right after the 4,464 bytes of the last block.
    EXPECT_EQ(Get32(pack, 16 + 12 + 4), offset + 4 + 70000);
    EXPECT_TRUE(Member("patch.dat", "random.bin") == content);
}

TEST_F(PakUpdaterTest, ReadOnlyPackIsReplaced) {
    ASSERT_TRUE(MakeBasePack());
    ASSERT_TRUE(platform::SetFileReadOnly("patch.dat"));
    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(updater.AddBuffer("x.txt", "x", 1), 1);
    EXPECT_EQ(updater.Rebuild(), 1);
    EXPECT_TRUE(Member("patch.dat", "x.txt") == Bytes("x"));
}

// A name whose folded form has the id 0 is a member like any other.
constexpr const char* kIdZeroName = "1bjqgh.cfg";

TEST_F(PakUpdaterTest, MemberWithIdZero) {
    ASSERT_EQ(CalcFoldedFileId(kIdZeroName), 0u);
    ASSERT_EQ(CalcFoldedFileId("1BJQGH.CFG"), 0u);
    const PakBytes old = TextBytes(3000, 41);
    const PakBytes fresh = RandomBytes(70000, 42);
    struct Case {
        const char* name;
        bool inBase;                            // the base pack already holds the member
        std::function<int(PakUpdater&)> queue;  // the change, returning the queue result
        bool found;                             // the member is there afterwards
        const PakBytes* content;                // and holds this
        uint32_t count;                         // entries of the new pack
    };
    const Case cases[] = {
        {"added", false,
         [&](PakUpdater& u) { return u.AddBuffer("1BJQGH.CFG", fresh.data(), static_cast<uint32_t>(fresh.size())); },
         true, &fresh, 5},
        {"added-from-a-file", false,
         [&](PakUpdater& u) { return WriteBytes("zero.tmp", fresh) ? u.AddFile(kIdZeroName, "zero.tmp") : 0; }, true,
         &fresh, 5},
        {"replaced", true,
         [&](PakUpdater& u) { return u.AddBuffer(kIdZeroName, fresh.data(), static_cast<uint32_t>(fresh.size())); },
         true, &fresh, 5},
        {"kept-while-another-changes", true, [](PakUpdater& u) { return u.AddBuffer("keep-a.txt", "new", 3); }, true,
         &old, 5},
        {"deleted-by-the-marker", true,
         [](PakUpdater& u) { return u.AddBuffer(kIdZeroName, kPakDeleteMarker, kPakDeleteMarkerSize); }, false,
         nullptr, 4},
        {"deleted", true, [](PakUpdater& u) { return u.Delete(kIdZeroName); }, false, nullptr, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<HandEntry> entries = BaseEntries();
        if (c.inBase) entries.push_back({kIdZeroName, old});
        ASSERT_TRUE(WriteBytes("patch.dat", BuildHandPack(kPakMethodZlib, entries).bytes));
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
        ASSERT_EQ(c.queue(updater), 1);
        ASSERT_EQ(updater.Rebuild(), 1);
        const PakBytes pack = ReadBytes("patch.dat");
        ASSERT_GE(pack.size(), 16u);
        EXPECT_EQ(Get32(pack, 8), c.count);
        bool found = false;
        const PakBytes member = Member("patch.dat", kIdZeroName, &found);
        EXPECT_EQ(found, c.found);
        if (c.content != nullptr) {
            EXPECT_TRUE(member == *c.content);
        }
        EXPECT_TRUE(Member("patch.dat", "data/keep-b.bin") == BaseEntries()[3].content);
        EXPECT_FALSE(FileThere("zero.tmp"));
    }
}

// Delete queues a removal without the caller writing the marker content.
TEST_F(PakUpdaterTest, DeleteRemovesAMember) {
    ASSERT_TRUE(MakeBasePack());
    PakUpdater closed;
    EXPECT_EQ(closed.Delete("keep-a.txt"), 0);
    EXPECT_EQ(closed.Delete(nullptr), 0);

    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    EXPECT_EQ(updater.Delete(nullptr), 0);
    ASSERT_EQ(updater.Delete("Delete-Me.TXT"), 1);
    EXPECT_EQ(updater.Delete("delete-me.txt"), 0);  // already queued
    EXPECT_EQ(updater.AddBuffer("delete-me.txt", "again", 5), 0);
    ASSERT_EQ(updater.Delete("never-there.txt"), 1);
    ASSERT_EQ(updater.AddBuffer("replace-me.txt", "new", 3), 1);
    EXPECT_EQ(updater.Delete("replace-me.txt"), 0);  // the queued content stays
    ASSERT_EQ(updater.Rebuild(), 1);

    const PakBytes pack = ReadBytes("patch.dat");
    ASSERT_GE(pack.size(), 16u);
    EXPECT_EQ(Get32(pack, 8), 3u);
    bool found = true;
    Member("patch.dat", "delete-me.txt", &found);
    EXPECT_FALSE(found);
    Member("patch.dat", "never-there.txt", &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(Member("patch.dat", "replace-me.txt") == Bytes("new"));
    EXPECT_TRUE(Member("patch.dat", "keep-a.txt") == BaseEntries()[0].content);
}

// The task's Delete, and the interface's own Delete for any other task: both remove the
// member the way a server's marker content does.
class AddBufferOnlyTask : public PakUpdateTask {
public:
    bool OpenOrCreate(const char* path, int create) override { return updater_.OpenOrCreate(path, create) == 1; }
    bool AddFile(const char* name, const char* path) override { return updater_.AddFile(name, path) == 1; }
    bool AddBuffer(const char* name, const void* data, uint32_t size) override {
        return updater_.AddBuffer(name, data, size) == 1;
    }
    bool Rebuild(void*) override { return updater_.Rebuild() == 1; }

private:
    PakUpdater updater_;
};

TEST_F(PakUpdaterTest, TaskDeleteRemovesAMember) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<PakUpdateTask>()> make;
    };
    const Case cases[] = {
        {"pack-update-task", [] { return CreatePakUpdateTask(); }},
        {"interface-default", [] { return std::unique_ptr<PakUpdateTask>(new AddBufferOnlyTask); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(MakeBasePack());
        std::unique_ptr<PakUpdateTask> task = c.make();
        ASSERT_TRUE(task->OpenOrCreate("patch.dat", 0));
        ASSERT_TRUE(task->Delete("Data/Keep-B.bin"));
        EXPECT_FALSE(task->Delete("data/keep-b.bin"));
        ASSERT_TRUE(task->Rebuild(nullptr));
        bool found = true;
        Member("patch.dat", "data/keep-b.bin", &found);
        EXPECT_FALSE(found);
        EXPECT_TRUE(Member("patch.dat", "keep-a.txt") == BaseEntries()[0].content);
    }
}

// A read-only pack is replaced even where the system refuses to replace read-only files.
TEST_F(PakUpdaterTest, ReadOnlyPackIsReplacedWhereTheSystemRefusesIt) {
    ASSERT_TRUE(MakeBasePack());
    ASSERT_TRUE(platform::SetFileReadOnly("patch.dat"));
    ReadOnlyTargetsRefuseReplace windowsRule;
    PakUpdater updater;
    ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
    ASSERT_EQ(updater.AddBuffer("x.txt", "x", 1), 1);
    EXPECT_EQ(updater.Rebuild(), 1);
    EXPECT_TRUE(Member("patch.dat", "x.txt") == Bytes("x"));
}

TEST_F(PakUpdaterTest, ResetDeletesQueuedSourceFiles) {
    ASSERT_TRUE(MakeBasePack());
    ASSERT_TRUE(WriteText("one.tmp", "1"));
    ASSERT_TRUE(WriteText("two.tmp", "2"));
    {
        auto task = CreatePakUpdateTask();
        ASSERT_TRUE(task->OpenOrCreate("patch.dat", 0));
        ASSERT_TRUE(task->AddFile("one.txt", "one.tmp"));
        ASSERT_TRUE(task->AddFile("two.txt", "two.tmp"));
        EXPECT_FALSE(task->AddFile("two.txt", "one.tmp"));
    }
    EXPECT_FALSE(FileThere("one.tmp"));
    EXPECT_FALSE(FileThere("two.tmp"));
}

TEST_F(PakUpdaterTest, TaskRunsTheEditionSwitchSequence) {
    ASSERT_TRUE(MakeBasePack());
    const char text[] = "1024";
    auto task = CreatePakUpdateTask();
    ASSERT_FALSE(task->OpenOrCreate("missing.dat", 0));
    ASSERT_TRUE(task->OpenOrCreate("patch.dat", 0));
    ASSERT_TRUE(task->AddBuffer("curver.dat", text, 4));
    ASSERT_TRUE(task->Rebuild(nullptr));
    EXPECT_TRUE(Member("patch.dat", "curver.dat") == Bytes("1024"));
}

// Rebuild failures: the old pack stays byte for byte, the temporary file and the queued
// sources are gone, and the status line says why.
struct FailureCase {
    const char* name;
    std::function<void(PakUpdater&)> queue;
    std::function<void()> before;  // arranged just before the rebuild
    const char* status;
};

static int g_opsLeft = -1;
bool FailOp(platform::FileOp op, const char*) {
    (void)op;
    return g_opsLeft < 0 || g_opsLeft-- > 0;
}
bool FailReplace(platform::FileOp op, const char*) { return op != platform::FileOp::Replace; }

TEST_F(PakUpdaterTest, FailedRebuildKeepsTheOldPack) {
    const FailureCase cases[] = {
        {"too-big-replacement",
         [](PakUpdater& u) {
             ASSERT_TRUE(WriteSizedFile("huge.tmp", 1023ull * 65536 + 1));
             ASSERT_EQ(u.AddFile("huge.bin", "huge.tmp"), 1);
         },
         [] {}, kRebuildTextBadReplacement},
        {"replace-refused", [](PakUpdater& u) { ASSERT_EQ(u.AddBuffer("x.txt", "x", 1), 1); },
         [] { platform::SetFileFaultHook(FailReplace); }, kRebuildTextCannotReplace},
        {"disk-full-at-header", [](PakUpdater& u) { ASSERT_EQ(u.AddBuffer("x.txt", "x", 1), 1); },
         [] {
             g_opsLeft = 0;
             platform::SetFileFaultHook(FailOp);
         },
         kRebuildTextCannotWrite},
        {"temp-name-taken-by-directory", [](PakUpdater& u) { ASSERT_EQ(u.AddBuffer("x.txt", "x", 1), 1); },
         [] { ASSERT_TRUE(platform::MakeDirectory("patch.dattmp")); }, kRebuildTextCannotCreate},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(MakeBasePack());
        ASSERT_TRUE(WriteText("queued.tmp", "queued"));
        const PakBytes before = ReadBytes("patch.dat");
        StatusLines::Lines().clear();
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
        ASSERT_EQ(updater.AddFile("queued.txt", "queued.tmp"), 1);
        c.queue(updater);
        c.before();
        const int result = updater.Rebuild();
        platform::SetFileFaultHook(nullptr);
        platform::RemoveEmptyDirectory("patch.dattmp");
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(status_.Has(c.status));
        EXPECT_TRUE(ReadBytes("patch.dat") == before);
        EXPECT_FALSE(FileThere("patch.dattmp"));
        EXPECT_FALSE(FileThere("queued.tmp"));
        EXPECT_FALSE(FileThere("huge.tmp"));
        EXPECT_EQ(updater.QueuedCount(), 0u);
    }
}

// A damaged pack rebuilds into a whole one: an entry whose stored bytes still lie whole in
// it is kept as it is, one that does not is left out (never a reason to fail), and a pack
// the reader refuses is taken salvaged when the caller asks for it. A salvaged pack that
// keeps nothing becomes what a created pack is, the marker and the queued files.
TEST_F(PakUpdaterTest, DamagedPacksRebuildIntoWholeOnes) {
    struct Case {
        const char* name;
        std::function<void(HandPack&)> damage;
        int create;                 // OpenOrCreate's argument
        std::vector<size_t> kept;   // of BaseEntries(), the members the new pack holds
        bool marker;                // the new pack holds "1.ver"
    };
    // The last member ("Data/keep-b.bin", 66,000 bytes stored plain, unpadded) sits at the
    // end of the file; entry i of the index is BaseEntries()[i].
    const size_t kEntry1Size = 16 + 12 * 1 + 8;
    const Case cases[] = {
        {"table-beyond-file", [](HandPack& p) { Put32(p.bytes, 16 + 12 * 3 + 4, static_cast<uint32_t>(p.bytes.size()) - 3); },
         0, {0, 1, 2}, false},
        {"blocks-beyond-file", [](HandPack& p) { Put16(p.bytes, p.offsets[3], 0xFFFF); Put16(p.bytes, p.offsets[3] + 2, 0xFFFF); },
         0, {0, 1, 2}, false},
        {"offset-into-the-index", [](HandPack& p) { Put32(p.bytes, 16 + 12 * 0 + 4, 16); }, 0, {1, 2, 3}, false},
        {"cut-short", [](HandPack& p) { p.bytes.resize(p.bytes.size() - 100); }, 0, {0, 1, 2}, false},
        {"cut-short-salvaged", [](HandPack& p) { p.bytes.resize(p.bytes.size() - 100); }, kPakCreateOrSalvage,
         {0, 1, 2}, false},
        {"magic-damaged", [](HandPack& p) { std::memset(p.bytes.data(), 'X', 8); }, kPakCreateOrSalvage,
         {0, 1, 2, 3}, false},
        {"index-entry-too-big", [=](HandPack& p) { Put32(p.bytes, kEntry1Size, 0x7FFFFFFF); }, kPakCreateOrSalvage,
         {0, 2, 3}, false},
        {"header-garbled", [](HandPack& p) { std::memset(p.bytes.data(), 0xA5, 16); }, kPakCreateOrSalvage, {}, true},
        {"unknown-method", [](HandPack& p) { Put32(p.bytes, 12, 7); }, kPakCreateOrSalvage, {}, true},
        {"shorter-than-a-header", [](HandPack& p) { p.bytes.resize(9); }, kPakCreateOrSalvage, {}, true},
        {"empty-file", [](HandPack& p) { p.bytes.clear(); }, kPakCreateOrSalvage, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandOptions unpadded;
        unpadded.padStoredLastBlock = false;
        HandPack base = BuildHandPack(kPakMethodZlib, BaseEntries(), unpadded);
        c.damage(base);
        ASSERT_TRUE(WriteBytes("patch.dat", base.bytes));
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", c.create), 1);
        ASSERT_EQ(updater.AddBuffer("x.txt", "x", 1), 1);
        ASSERT_EQ(updater.Rebuild(), 1);
        EXPECT_FALSE(FileThere("patch.dattmp"));

        // The new pack opens as a whole one and holds exactly what was kept and queued.
        PakList list;
        ASSERT_EQ(list.Open("patch.dat", 0), 1);
        list.CloseAll();
        const PakBytes pack = ReadBytes("patch.dat");
        EXPECT_EQ(Get32(pack, 8), c.kept.size() + 1 + (c.marker ? 1 : 0));
        EXPECT_TRUE(Member("patch.dat", "x.txt") == Bytes("x"));
        const std::vector<HandEntry> entries = BaseEntries();
        for (size_t i = 0; i < entries.size(); ++i) {
            const HandEntry& entry = entries[i];
            const bool kept = std::find(c.kept.begin(), c.kept.end(), i) != c.kept.end();
            bool found = false;
            const PakBytes got = Member("patch.dat", entry.name.c_str(), &found);
            EXPECT_EQ(found, kept) << entry.name;
            if (kept) {
                EXPECT_TRUE(got == entry.content) << entry.name;
            }
        }
        bool marker = false;
        Member("patch.dat", kPakNewPackMarkerName, &marker);
        EXPECT_EQ(marker, c.marker);
    }
}

// Only a caller that asks for it has a damaged pack replaced; nothing is written otherwise.
TEST_F(PakUpdaterTest, ADamagedPackIsTakenOnlyWhenAskedFor) {
    HandPack base = BuildHandPack(kPakMethodZlib, BaseEntries());
    Put32(base.bytes, 16 + 8, 0x7FFFFFFF);
    ASSERT_TRUE(WriteBytes("patch.dat", base.bytes));
    for (int create : {0, 1}) {
        PakUpdater updater;
        EXPECT_EQ(updater.OpenOrCreate("patch.dat", create), 0) << create;
    }
    EXPECT_TRUE(ReadBytes("patch.dat") == base.bytes);
    // Taken, but dropped before a rebuild: the damaged pack stays as it was.
    {
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", kPakCreateOrSalvage), 1);
        ASSERT_EQ(updater.AddBuffer("x.txt", "x", 1), 1);
    }
    EXPECT_TRUE(ReadBytes("patch.dat") == base.bytes);
}

// Every write, flush and the replace of a rebuild fails in turn: each time the pack under
// its name is the old one, whole; once nothing fails, it is the new one.
TEST_F(PakUpdaterTest, InterruptedAtEveryFileOperation) {
    const PakBytes replacement = TextBytes(150000, 31);
    for (int failAt = 0;; ++failAt) {
        SCOPED_TRACE("operation " + std::to_string(failAt));
        ASSERT_LT(failAt, 200) << "the rebuild never completed";
        ASSERT_TRUE(MakeBasePack());
        const PakBytes before = ReadBytes("patch.dat");
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
        ASSERT_EQ(updater.AddBuffer("replace-me.txt", replacement.data(), static_cast<uint32_t>(replacement.size())), 1);
        ASSERT_EQ(updater.AddBuffer("new.txt", "new", 3), 1);
        g_opsLeft = failAt;
        platform::SetFileFaultHook(FailOp);
        const int result = updater.Rebuild();
        const bool faultUsed = g_opsLeft < 0;
        platform::SetFileFaultHook(nullptr);
        g_opsLeft = -1;
        EXPECT_FALSE(FileThere("patch.dattmp"));
        if (result == 1) {
            EXPECT_FALSE(faultUsed);
            EXPECT_TRUE(Member("patch.dat", "replace-me.txt") == replacement);
            EXPECT_TRUE(Member("patch.dat", "keep-a.txt") == BaseEntries()[0].content);
            break;
        }
        EXPECT_TRUE(ReadBytes("patch.dat") == before);
    }
}


// Making a new pack that fails leaves neither the marker file nor a pack behind.
TEST_F(PakUpdaterTest, FailedCreateLeavesNoMarker) {
    struct Case {
        const char* name;
        const char* path;
        int opsLeft;  // file operations that succeed before the rest fail (-1: all succeed)
        platform::FileFaultHook fault;
    };
    const Case cases[] = {
        {"pack-directory-missing", "no-such-dir/patch.dat", -1, nullptr},
        {"pack-writes-fail", "patch.dat", 1, FailOp},  // the marker is written, the pack is not
        {"replace-fails", "patch.dat", -1, FailReplace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PakUpdater updater;
        g_opsLeft = c.opsLeft;
        platform::SetFileFaultHook(c.fault);
        const int result = updater.OpenOrCreate(c.path, 1);
        platform::SetFileFaultHook(nullptr);
        g_opsLeft = -1;
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(FileThere("1.ver"));
        EXPECT_FALSE(FileThere("patch.dat"));
        EXPECT_FALSE(FileThere("patch.dattmp"));
    }
}

// A disk file queued without handing it over stays its owner's: whatever becomes of the
// rebuild it stays where it is; a handed-over one is the rebuild's and goes in every case.
// Only a rebuild that succeeds puts their content in the pack.
TEST_F(PakUpdaterTest, DiskFilesStayTheirOwnersUnlessHandedOver) {
    struct Case {
        const char* name;
        bool rebuild;
        bool takeTempName;  // a folder in the way of the rebuild's temporary file
        bool rebuilt;
    };
    const Case cases[] = {
        {"rebuilt", true, false, true},
        {"rebuild-fails", true, true, false},
        {"dropped-without-a-rebuild", false, false, false},
    };
    const PakBytes kept = RandomBytes(150000, 11);
    const PakBytes handed = TextBytes(90000, 12);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(MakeBasePack());
        ASSERT_TRUE(WriteBytes("download.tmp", kept));
        ASSERT_TRUE(WriteBytes("unwrapped.tmp", handed));
        const PakBytes before = ReadBytes("patch.dat");
        {
            PakUpdater updater;
            ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
            EXPECT_EQ(updater.AddDiskFile("a.txt", "missing.tmp", false), 0);
            ASSERT_EQ(updater.AddDiskFile("data/new.bin", "download.tmp", false), 1);
            EXPECT_EQ(updater.AddDiskFile("Data/New.bin", "unwrapped.tmp", true), 0);  // already queued
            EXPECT_TRUE(ReadBytes("unwrapped.tmp") == handed);  // a refused file stays
            ASSERT_EQ(updater.AddDiskFile("replace-me.txt", "unwrapped.tmp", true), 1);
            if (c.takeTempName) {
                ASSERT_TRUE(platform::MakeDirectory("patch.dattmp"));
            }
            if (c.rebuild) {
                EXPECT_EQ(updater.Rebuild(), c.rebuilt ? 1 : 0);
            }
            platform::RemoveEmptyDirectory("patch.dattmp");
        }
        EXPECT_TRUE(ReadBytes("download.tmp") == kept);
        EXPECT_FALSE(FileThere("unwrapped.tmp"));
        if (c.rebuilt) {
            EXPECT_TRUE(Member("patch.dat", "data/new.bin") == kept);
            EXPECT_TRUE(Member("patch.dat", "replace-me.txt") == handed);
        } else {
            EXPECT_TRUE(ReadBytes("patch.dat") == before);
        }
    }
}

// Queued files are not held open until the rebuild: their owner can still remove them (a
// stop that discards the downloads), and the rebuild then fails without touching the pack.
TEST_F(PakUpdaterTest, QueuedFilesCanBeRemovedBeforeTheRebuild) {
    struct Case {
        const char* name;
        std::function<int(PakUpdater&)> queue;
    };
    const Case cases[] = {
        {"kept-disk-file", [](PakUpdater& u) { return u.AddDiskFile("a.bin", "queued.tmp", false); }},
        {"handed-over-disk-file", [](PakUpdater& u) { return u.AddDiskFile("a.bin", "queued.tmp", true); }},
        {"file-read-packs-first", [](PakUpdater& u) { return u.AddFile("a.bin", "queued.tmp"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(MakeBasePack());
        ASSERT_TRUE(WriteBytes("queued.tmp", RandomBytes(70000, 13)));
        const PakBytes before = ReadBytes("patch.dat");
        PakUpdater updater;
        ASSERT_EQ(updater.OpenOrCreate("patch.dat", 0), 1);
        ASSERT_EQ(c.queue(updater), 1);
        EXPECT_TRUE(platform::RemoveFile("queued.tmp"));
        EXPECT_EQ(updater.Rebuild(), 0);
        EXPECT_TRUE(ReadBytes("patch.dat") == before);
        EXPECT_FALSE(FileThere("patch.dattmp"));
    }
}

}  // namespace
