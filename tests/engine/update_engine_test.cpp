// Whole update passes with real packs and a server folder: an installation at v1 brought to
// v2, the new local manifest, and the comparison, failure and stop cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/failure_sink.h"
#include "engine/game_launch.h"
#include "engine/offline_package.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "engine/md5.h"
#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "engine/update_engine.h"
#include "engine/update_pk_writer.h"
#include "net/dir_transfer.h"
#include "net/local_file.h"
#include "net/pak_access.h"
#include "net/staged_files.h"
#include "pak/pak_name.h"
#include "pak/pak_paths.h"
#include "pak/pak_update_task.h"
#include "tests/engine/engine_test_support.h"

namespace {

using namespace enginetest;

constexpr const char* kRemoteList = "download/update.pak";

std::string Digest(const std::string& content) { return "md5 " + Md5Text(content.data(), content.size()); }

// One file of a publication.
struct Published {
    Published(std::string n, std::string c, bool u = false, std::string r = "", std::string d = "")
        : name(std::move(n)), content(std::move(c)), unpack(u), remotePath(std::move(r)), digest(std::move(d)) {}
    std::string name;
    std::string content;
    bool unpack = false;
    std::string remotePath;  // "" = download/<name>
    std::string digest;      // "" = the content's
};

ManifestRecord RecordOf(const Published& f) {
    ManifestRecord r;
    r.kind = f.unpack ? "unpack" : "pack";
    r.name = f.name;
    r.digest = f.digest.empty() ? Digest(f.content) : f.digest;
    r.size = std::to_string(f.content.size());
    r.remotePath = f.remotePath.empty() ? "download/" + f.name : f.remotePath;
    return r;
}

// Writes the server folder `server` for `files`: every file at its remote path and the
// manifest inside download/update.pak.
void Publish(const std::string& server, const std::vector<Published>& files, const std::string& manifestCut = "") {
    std::vector<ManifestRecord> records;
    for (const Published& f : files) {
        records.push_back(RecordOf(f));
        WriteFile(server + "/" + records.back().remotePath, f.content);
    }
    std::string text;
    AppendManifestText(records, text);
    if (!manifestCut.empty()) text = text.substr(0, text.size() - manifestCut.size());
    UpdatePkWriter writer;
    writer.Add("update.inf", Bytes(text));
    std::vector<uint8_t> pak;
    ASSERT_TRUE(writer.Build(pak));
    WriteFile(server + "/" + kRemoteList, Text(pak));
}

std::string PackMember(const std::string& name) {
    std::vector<uint8_t> bytes;
    if (ReadPackMember("patch.dat", name, bytes) != MemberRead::kOk) return "<absent>";
    return Text(bytes);
}

std::string ManifestText(const std::vector<Published>& files) {
    std::vector<ManifestRecord> records;
    for (const Published& f : files) records.push_back(RecordOf(f));
    std::string text;
    AppendManifestText(records, text);
    return text;
}

// Runs one online pass against `server`; `transfer` may wrap the server's transfer.
struct PassResult {
    int32_t result;
    uint32_t failures;
    uint32_t total;
    uint32_t count;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRootPath(".");
        SetWorkPath("\\");
    }

    PassResult Sync(const std::string& server, Transfer* wrapper = nullptr, DirTransfer* inner = nullptr) {
        ProgressSink sink(&window);
        PackManifestStore store;
        CountingFailureSink failures;
        std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
        std::unique_ptr<DirTransfer> own;
        if (inner == nullptr) {
            own.reset(new DirTransfer(scratch.path() + "/" + server));
            inner = own.get();
        }
        Transfer& transfer = wrapper != nullptr ? *wrapper : *inner;
        UpdateEngine* engine = UpdateEngine::Instance();
        engine->SetRepair(repair);
        PassResult r{};
        r.result = engine->CheckForUpdates(&sink, store, transfer, kRemoteList, "patch.dat", &r.total, &r.count);
        if (r.result == UPD_DONE) r.result = engine->DownloadAndApply(&sink, store, failures, *task, transfer);
        engine->Release();
        r.failures = failures.count();
        return r;
    }

    // An installation at v1: a rebuilt patch.dat and the loose files of `files`.
    void Install(const std::vector<Published>& files) {
        Publish("v1", files);
        UiRecorder yes(platform::kIdYes);
        ASSERT_EQ(Sync("v1").result, UPD_DONE);
        window.posts.clear();
    }

    ScratchDir scratch;
    PluginScope plugin{"win", 10000};
    RecordingNotifier window;
    bool repair = false;  // Sync runs a repair pass
};

// The installation's patch.dat with `name` holding `content` instead (the manifest kept).
void ReplacePackMember(const std::string& name, const std::string& content) {
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    ASSERT_TRUE(task->OpenOrCreate("patch.dat", 0));
    ASSERT_TRUE(task->AddBuffer(name.c_str(), content.data(), static_cast<uint32_t>(content.size())));
    ASSERT_TRUE(task->Rebuild(nullptr));
}

// The server folder `root`, recording every game file fetched (the list is not recorded).
class CountingTransfer : public Transfer {
public:
    explicit CountingTransfer(const std::string& root) : inner_(root) {}
    int32_t DownloadFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        Note(remote);
        return inner_.DownloadFile(remote, local, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        Note(remote);
        return inner_.ContinueFile(remote, local, sink, maxBytes);
    }
    int32_t DownloadToMemory(const char* remote, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes) override {
        Note(remote);
        return inner_.DownloadToMemory(remote, bytes, size, sink, maxBytes);
    }
    void Interrupt() override { inner_.Interrupt(); }
    std::vector<std::string> files;

private:
    void Note(const std::string& remote) {
        if (remote != kRemoteList) files.push_back(remote);
    }
    DirTransfer inner_;
};

struct RepairCase {
    const char* name;
    std::function<void()> damage;
    std::string fetched;  // the one file the repair fetches ("" none)
};

// A repair checks every installed file against the local manifest and fetches only what is
// missing or differs; an ordinary pass trusts the manifest and fetches nothing.
TEST_F(EngineTest, RepairFetchesOnlyTheMissingOrDamagedFile) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i * 13 % 251);
    const std::vector<Published> files = {{"data/a.bin", binary},
                                          {"data/b.txt", "beta"},
                                          {"readme.txt", "read me first", true},
                                          {"docs/guide.txt", std::string(5000, 'g'), true}};
    const std::vector<RepairCase> cases = {
        {"nothing-damaged", [] {}, ""},
        {"pack-member-damaged", [] { ReplacePackMember("data/a.bin", "damaged by a disk error"); }, "data/a.bin"},
        {"pack-member-same-size-other-bytes", [] { ReplacePackMember("data/b.txt", "bEta"); }, "data/b.txt"},
        {"loose-file-deleted", [] { platform::RemoveFile("readme.txt"); }, "readme.txt"},
        {"loose-file-truncated", [] { WriteFile("docs/guide.txt", std::string(100, 'g')); }, "docs/guide.txt"},
    };
    for (const RepairCase& c : cases) {
        // A fresh installation for each case.
        for (const char* installed : {"patch.dat", "readme.txt", "docs/guide.txt"}) platform::RemoveFile(installed);
        Install(files);
        c.damage();
        repair = false;
        EXPECT_EQ(Sync("v1").result, UPD_UP_TO_DATE) << c.name << ": an ordinary pass trusts the manifest";

        CountingTransfer counting(scratch.path() + "/v1");
        repair = true;
        UiRecorder ui(platform::kIdYes);
        const PassResult r = Sync("v1", &counting);
        repair = false;
        EXPECT_EQ(r.result, c.fetched.empty() ? UPD_UP_TO_DATE : UPD_DONE) << c.name;
        EXPECT_EQ(r.failures, 0u) << c.name;
        std::vector<std::string> expected;
        if (!c.fetched.empty()) expected.push_back(RecordOf({c.fetched, ""}).remotePath);
        EXPECT_EQ(counting.files, expected) << c.name;
        EXPECT_EQ(PackMember("data/a.bin"), binary) << c.name;
        EXPECT_EQ(PackMember("data/b.txt"), "beta") << c.name;
        EXPECT_EQ(ReadFile("readme.txt"), "read me first") << c.name;
        EXPECT_EQ(ReadFile("docs/guide.txt"), std::string(5000, 'g')) << c.name;
    }
}

// The installation's patch.dat as bytes, to damage by hand.
std::string PackBytes() { return ReadFile("patch.dat"); }
void SetPackBytes(const std::string& bytes) { WriteFile("patch.dat", bytes); }

// Where the member `name` of the installation's patch.dat lies: its index position and the
// offset of its data (npos when the pack has no entry for it).
struct EntryPlace {
    size_t at = std::string::npos;
    uint32_t offset = 0;
};
uint32_t Load32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}
void Store32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
EntryPlace PlaceOf(const std::string& pack, const std::string& name) {
    EntryPlace place;
    const uint32_t id = CalcFoldedFileId(name.c_str());
    const uint32_t count = Load32(pack, 8);
    for (uint32_t i = 0; i < count && 16 + 12 * (i + 1) <= pack.size(); ++i) {
        if (Load32(pack, 16 + 12 * i) == id) place = EntryPlace{16 + 12 * static_cast<size_t>(i), Load32(pack, 16 + 12 * i + 4)};
    }
    return place;
}

struct PackDamageCase {
    const char* name;
    std::function<void()> damage;
    bool repair;                     // a repair pass; otherwise an ordinary one
    const char* server;              // the publication the pass runs against
    std::set<std::string> fetched;   // the remote paths it fetches
};

// Whatever happened to patch.dat (its header or index damaged, cut short, gone, a member the
// list does not name damaged), the pass the player starts, answering yes to the rebuild
// question, brings it back to the publication: what still reads and checks is kept, only the
// rest is fetched, and the pack it leaves is whole, with a record of every file, so a repair
// right after it finds nothing to do.
TEST_F(EngineTest, ADamagedPackIsBroughtBackToThePublication) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i * 13 % 251);
    const std::vector<Published> v1 = {{"data/a.bin", binary},
                                       {"data/b.txt", "beta"},
                                       {"readme.txt", "read me first", true},
                                       {"docs/guide.txt", std::string(5000, 'g'), true}};
    std::vector<Published> v2 = v1;
    v2[1].content = "beta, second edition";
    Publish("v2", v2);
    const std::string a = "download/data/a.bin";
    const std::string b = "download/data/b.txt";
    // Of the two members, the one whose data lies last (1.ver, kept from the created pack,
    // comes after every member the first update wrote).
    auto lastMember = [] {
        const std::string pack = PackBytes();
        return PlaceOf(pack, "data/a.bin").offset > PlaceOf(pack, "data/b.txt").offset ? "data/a.bin" : "data/b.txt";
    };
    auto cutInto = [](const std::string& member, uint32_t keep) {
        const std::string pack = PackBytes();
        SetPackBytes(pack.substr(0, PlaceOf(pack, member).offset + keep));
    };
    auto garbleHeader = [] {
        std::string pack = PackBytes();
        pack.replace(0, 16, 16, '\xA5');
        SetPackBytes(pack);
    };
    auto sizeTooBig = [](const std::string& member) {
        std::string pack = PackBytes();
        Store32(pack, PlaceOf(pack, member).at + 8, 0x7FFFFFFF);
        SetPackBytes(pack);
    };
    // The marker's one block said to be 65,535 coded bytes: beyond the end of the file.
    auto garbleMarkerTable = [] {
        std::string pack = PackBytes();
        const EntryPlace marker = PlaceOf(pack, "1.ver");
        pack[marker.offset] = '\xFF';
        pack[marker.offset + 1] = '\xFF';
        SetPackBytes(pack);
    };
    std::string last;
    const std::vector<PackDamageCase> cases = {
        {"header-garbled", garbleHeader, true, "v1", {a, b}},
        {"header-garbled-ordinary-run", garbleHeader, false, "v1", {a, b}},
        {"magic-damaged", [] { std::string p = PackBytes(); p.replace(0, 8, "XXXXXXXX"); SetPackBytes(p); }, true, "v1", {}},
        {"index-entry-damaged", [&] { sizeTooBig("data/b.txt"); }, true, "v1", {b}},
        {"index-entry-damaged-ordinary-run", [&] { sizeTooBig("data/a.bin"); }, false, "v1", {a}},
        {"cut-into-a-member", [&] { last = lastMember(); cutInto(last, 3); }, true, "v1", {"<last>"}},
        {"cut-into-a-member-ordinary-run", [&] { last = lastMember(); cutInto(last, 3); }, false, "v1", {"<last>"}},
        {"cut-into-the-marker", [&] { cutInto("1.ver", 5); }, true, "v1", {}},
        {"marker-damaged", garbleMarkerTable, true, "v1", {}},
        {"marker-damaged-then-an-update", garbleMarkerTable, false, "v2", {b}},
        {"manifest-member-garbled", [] { ReplacePackMember("update.inf", "garbled\r\n"); }, true, "v1", {}},
        {"pack-missing", [] { platform::RemoveFile("patch.dat"); }, true, "v1", {a, b}},
    };
    for (const PackDamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* installed : {"patch.dat", "readme.txt", "docs/guide.txt"}) platform::RemoveFile(installed);
        Install(v1);
        c.damage();

        CountingTransfer counting(scratch.path() + "/" + c.server);
        repair = c.repair;
        PassResult r{};
        {
            UiRecorder ui(platform::kIdYes);
            r = Sync(c.server, &counting);
        }
        repair = false;
        EXPECT_EQ(r.result, UPD_DONE);
        EXPECT_EQ(r.failures, 0u);
        std::set<std::string> expected;
        for (const std::string& f : c.fetched) expected.insert(f == "<last>" ? "download/" + last : f);
        EXPECT_EQ(std::set<std::string>(counting.files.begin(), counting.files.end()), expected);

        const std::vector<Published>& publication = std::string(c.server) == "v1" ? v1 : v2;
        EXPECT_EQ(PackMember("data/a.bin"), binary);
        EXPECT_EQ(PackMember("data/b.txt"), publication[1].content);
        EXPECT_EQ(ReadFile("readme.txt"), "read me first");
        EXPECT_EQ(ReadFile("docs/guide.txt"), std::string(5000, 'g'));
        const std::string manifest = PackMember("update.inf");
        for (const Published& f : publication) EXPECT_NE(manifest.find(f.name), std::string::npos) << f.name;

        CountingTransfer again(scratch.path() + "/" + c.server);
        repair = true;
        UiRecorder ui;  // no question: the pack opens
        EXPECT_EQ(Sync(c.server, &again).result, UPD_UP_TO_DATE);
        repair = false;
        EXPECT_TRUE(again.files.empty());
        EXPECT_TRUE(ui.boxes.empty());
    }
}

// Declining the rebuild changes nothing: the damaged pack stays for the player to decide.
TEST_F(EngineTest, DecliningTheRebuildLeavesADamagedPackAsItIs) {
    Install({{"data/b.txt", "beta"}});
    std::string pack = PackBytes();
    pack.replace(0, 16, 16, '\xA5');
    SetPackBytes(pack);
    repair = true;
    UiRecorder no(platform::kIdNo);
    EXPECT_EQ(Sync("v1").result, UPD_E_DATA);
    repair = false;
    EXPECT_EQ(PackBytes(), pack);
}

TEST_F(EngineTest, BringsV1ToV2AndIsThenUpToDate) {
    const Published same{"data/same.txt", "unchanged"};
    const Published changedV1{"data/changed.bin", std::string(100000, 'a')};
    const Published looseV1{"readme.txt", "old readme", true};
    Install({same, changedV1, looseV1});

    std::string big;
    for (int i = 0; i < 150000; ++i) big += static_cast<char>(i * 7 % 251);
    const Published changedV2{"data/changed.bin", big};
    const Published looseV2{"readme.txt", "new readme", true};
    const Published added{"data/new/added.txt", "added in v2"};
    const Published addedLoose{"docs/guide.txt", "a guide", true};
    Publish("v2", {same, changedV2, looseV2, added, addedLoose});

    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.failures, 0u);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(PackMember("data/same.txt"), same.content);
    EXPECT_EQ(PackMember("data/changed.bin"), big);
    EXPECT_EQ(PackMember("data/new/added.txt"), added.content);
    EXPECT_EQ(PackMember("readme.txt"), "<absent>");
    EXPECT_EQ(ReadFile("readme.txt"), "new readme");
    EXPECT_EQ(ReadFile("docs/guide.txt"), "a guide");
    EXPECT_FALSE(Exists("readme.txt.kvodl"));
    EXPECT_FALSE(Exists("update.inf"));
    // Kept records first, then the installed ones in name order.
    EXPECT_EQ(PackMember("update.inf"), ManifestText({same, changedV2, added, addedLoose, looseV2}));
    const std::vector<Posted> filesLeft = {{UM_FILES_LEFT, 1, 4}, {UM_FILES_LEFT, 2, 4}, {UM_FILES_LEFT, 3, 4},
                                           {UM_FILES_LEFT, 4, 4}};
    std::vector<Posted> got;
    for (const Posted& p : window.posts) {
        if (p.message == UM_FILES_LEFT) got.push_back(p);
    }
    EXPECT_EQ(got, filesLeft);

    const PassResult again = Sync("v2");
    EXPECT_EQ(again.result, UPD_UP_TO_DATE);
    EXPECT_EQ(again.count, 0u);
}

TEST_F(EngineTest, InstalledContentDecidesWhenThereIsNoLocalRecord) {
    Install({{"keep.txt", "k"}});
    // In the pack without a record: current, and it stays without a record.
    const Published packed{"keep.txt", "k"};
    // A pack-kind file present only as a loose file gets a "tmp " reference: fetched.
    WriteFile("loose-only.dat", "same bytes");
    const Published looseOnly{"loose-only.dat", "same bytes"};
    // A loose file with the right content needs nothing.
    WriteFile("tool.cfg", "cfg");
    const Published looseRight{"tool.cfg", "cfg", true};
    // Equal digests with different sizes: the digest decides.
    Publish("v2", {packed, looseOnly, looseRight});
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(r.total, std::string("same bytes").size());
    EXPECT_EQ(PackMember("loose-only.dat"), "same bytes");
    EXPECT_EQ(PackMember("update.inf"), ManifestText({packed, looseOnly}));
}

TEST_F(EngineTest, OnlyThisPlatformsRecordsAreFetchedAndTheLongerPathWins) {
    Install({{"base.txt", "b"}});
    Publish("v2", {{"base.txt", "b"},
                   {"mac.txt", "mac only", false, "download/$mac/mac.txt"},
                   {"cfg.txt", "generic", false, "download/cfg.txt"},
                   {"cfg.txt", "for win", false, "download/$win/cfg.txt"}});
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(PackMember("cfg.txt"), "for win");
    EXPECT_EQ(PackMember("mac.txt"), "<absent>");
}

TEST_F(EngineTest, BadDownloadsAreFailedFilesAndKeepTheInstalledOnes) {
    Install({{"a.txt", "a1"}, {"loose.txt", "installed loose", true}, {"gone.txt", "installed gone", true}});
    Publish("v2", {{"a.txt", "a2", false, "", Digest("something else")},
                   {"loose.txt", "tampered", true, "", Digest("loose v2")},
                   {"gone.txt", "gone v2", true}});
    platform::RemoveFile((scratch.path() + "/v2/download/gone.txt").c_str());
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.failures, 3u);
    EXPECT_TRUE(ui.HasBoxCaption("MD5校验失败！"));
    EXPECT_TRUE(ui.HasStatus("a.txt MD5校验失败"));
    EXPECT_EQ(PackMember("a.txt"), "a1");
    EXPECT_EQ(ReadFile("loose.txt"), "installed loose");
    EXPECT_EQ(ReadFile("gone.txt"), "installed gone");
    EXPECT_FALSE(Exists("loose.txt.kvodl"));
    EXPECT_FALSE(Exists("gone.txt.kvodl"));
    // The failed files lost their records: the next run decides by their content. The
    // manifest is empty, an entry the reader does not open.
    EXPECT_EQ(PackMember("update.inf"), "<absent>");
}

// Mirrors in order, each a server folder: requests go to the current one, and a file that
// failed its digest moves them to the next.
class MirroredTransfer : public Transfer {
public:
    explicit MirroredTransfer(const std::vector<std::string>& roots) {
        for (const std::string& root : roots) mirrors_.push_back(std::make_unique<DirTransfer>(root));
    }
    int32_t DownloadFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        return Current(remote).DownloadFile(remote, local, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        return Current(remote).ContinueFile(remote, local, sink, maxBytes);
    }
    int32_t DownloadToMemory(const char* remote, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes) override {
        return Current(remote).DownloadToMemory(remote, bytes, size, sink, maxBytes);
    }
    uint32_t ServerCount() const override { return static_cast<uint32_t>(mirrors_.size()); }
    void DistrustServer(const char*) override { current_ = (current_ + 1) % mirrors_.size(); }
    void Interrupt() override {}
    // "remote@mirror" for every game file fetched.
    std::vector<std::string> fetched;

private:
    DirTransfer& Current(const std::string& remote) {
        if (remote != kRemoteList) fetched.push_back(remote + "@" + std::to_string(current_));
        return *mirrors_[current_];
    }
    std::vector<std::unique_ptr<DirTransfer>> mirrors_;
    size_t current_ = 0;
};

// A file whose bytes fail their digest is fetched from the next mirror, each mirror once,
// before it counts as failed; the failed files of a pass each get a status line and the
// pass one box, not one box per file.
TEST_F(EngineTest, AFileWithWrongBytesIsFetchedFromTheNextMirrorAndFailuresShowOneBox) {
    const std::vector<Published> v2 = {{"a.txt", "a2"}, {"b.txt", "b2"}, {"c.txt", "c2", true}};
    struct Case {
        const char* name;
        std::vector<std::string> mirrors;  // server folders; "bad" serves other bytes for every file
        uint32_t failures;
        std::vector<std::string> fetched;
    } cases[] = {
        {"bad-first-mirror",
         {"bad", "v2"},
         0,
         {"download/a.txt@0", "download/a.txt@1", "download/b.txt@1", "download/c.txt@1"}},
        {"bad-every-mirror",
         {"bad", "bad", "bad"},
         3,
         {"download/a.txt@0", "download/a.txt@1", "download/a.txt@2", "download/b.txt@2", "download/b.txt@0",
          "download/b.txt@1", "download/c.txt@1", "download/c.txt@2", "download/c.txt@0"}},
    };
    for (const Case& c : cases) {
        platform::RemoveFile("patch.dat");
        Install({{"a.txt", "a1"}, {"b.txt", "b1"}, {"c.txt", "c1", true}});
        Publish("v2", v2);
        Publish("bad", v2);
        for (const Published& f : v2) WriteFile(scratch.path() + "/bad/download/" + f.name, "other bytes");
        std::vector<std::string> roots;
        for (const std::string& m : c.mirrors) roots.push_back(scratch.path() + "/" + m);
        MirroredTransfer mirrors(roots);
        UiRecorder ui;
        const PassResult r = Sync("v2", &mirrors);
        EXPECT_EQ(r.result, UPD_DONE) << c.name;
        EXPECT_EQ(r.failures, c.failures) << c.name;
        EXPECT_EQ(mirrors.fetched, c.fetched) << c.name;
        EXPECT_EQ(ui.boxes.size(), c.failures > 0 ? 1u : 0u) << c.name;
        for (const Published& f : v2) {
            EXPECT_EQ(ui.HasStatus(f.name + " MD5校验失败"), c.failures > 0) << c.name << " " << f.name;
        }
        EXPECT_EQ(PackMember("a.txt"), c.failures == 0 ? "a2" : "a1") << c.name;
        EXPECT_EQ(ReadFile("c.txt"), c.failures == 0 ? "c2" : "c1") << c.name;
    }
}

// Serves a loose file of `bytes` zero bytes (a sparse file, so it costs no disk) in place
// of what the server holds at `remote`; every other request goes to the server.
class OversizeTransfer : public Transfer {
public:
    OversizeTransfer(DirTransfer& inner, std::string remote, uint64_t bytes)
        : inner_(inner), remote_(std::move(remote)), bytes_(bytes) {}
    int32_t DownloadFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        if (remote_ != remote) return inner_.DownloadFile(remote, local, sink, maxBytes);
        std::filesystem::resize_file(local, bytes_);
        return 0;
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        if (remote_ != remote) return inner_.ContinueFile(remote, local, sink, maxBytes);
        std::filesystem::resize_file(local, bytes_);
        return 0;
    }
    int32_t DownloadToMemory(const char* remote, const uint8_t** bytes, uint32_t* size, ProgressSink* sink, uint64_t maxBytes) override {
        return inner_.DownloadToMemory(remote, bytes, size, sink, maxBytes);
    }
    void Interrupt() override { inner_.Interrupt(); }

private:
    DirTransfer& inner_;
    std::string remote_;
    uint64_t bytes_;
};

// A loose file is checked whatever its size: one far larger than any file read whole (a
// hostile server's blob in place of a small settings file) fails its MD5 and is neither
// installed nor recorded.
TEST_F(EngineTest, LooseFilesOfAnySizeAreCheckedBeforeTheyAreInstalled) {
    constexpr uint64_t kBlobBytes = 300ull << 20;
    Install({{"cfg.ini", "installed cfg", true}});
    Publish("v2", {{"cfg.ini", "cfg v2", true}});
    DirTransfer server(scratch.path() + "/v2");
    OversizeTransfer blob(server, "download/cfg.ini", kBlobBytes);
    UiRecorder ui;
    const PassResult r = Sync("v2", &blob, &server);
    EXPECT_EQ(r.failures, 1u);
    EXPECT_TRUE(ui.HasStatus("cfg.ini MD5校验失败"));
    EXPECT_EQ(ReadFile("cfg.ini"), "installed cfg");
    // Nothing recorded: the next run against the genuine server fetches the file again.
    const PassResult again = Sync("v2");
    EXPECT_EQ(again.result, UPD_DONE);
    EXPECT_EQ(again.failures, 0u);
    EXPECT_EQ(ReadFile("cfg.ini"), "cfg v2");
}

// A server file far larger than its record (room for a container aside) is not fetched at
// all: the download fails before a byte is copied, the installed file stays.
TEST_F(EngineTest, DownloadsLargerThanTheirRecordAreRefused) {
    Install({{"cfg.ini", "installed cfg", true}, {"a.txt", "a1"}});
    Publish("v2", {{"cfg.ini", "cfg v2", true}, {"a.txt", "a2"}});
    const std::string blob(200000, 'x');
    WriteFile(scratch.path() + "/v2/download/cfg.ini", blob);
    WriteFile(scratch.path() + "/v2/download/a.txt", blob);
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.failures, 2u);
    EXPECT_TRUE(ui.HasStatus("下载的文件[download/cfg.ini]数据异常！！！"));
    EXPECT_EQ(ReadFile("cfg.ini"), "installed cfg");
    EXPECT_EQ(PackMember("a.txt"), "a1");
}

TEST_F(EngineTest, HostileNamesNeverWriteOutsideTheInstallation) {
    Install({{"a.txt", "a"}});
    const std::vector<std::string> hostile = {"../escaped.txt", "/abs-escaped.txt", "\\back-escaped.txt",
                                              "c:drive-escaped.txt", "sub/../../up-escaped.txt"};
    std::vector<Published> files = {{"a.txt", "a"}};
    for (const std::string& name : hostile) files.push_back({name, "evil", true, "download/evil.txt"});
    Publish("v2", files);
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.failures, hostile.size());
    EXPECT_TRUE(ui.HasStatusContaining("指向安装目录之外"));
    EXPECT_FALSE(Exists(scratch.path() + "/../escaped.txt"));
    EXPECT_FALSE(Exists(scratch.path() + "/../up-escaped.txt"));
    EXPECT_FALSE(Exists("/abs-escaped.txt"));
}

TEST_F(EngineTest, UnreadableManifestsChangeNothing) {
    Install({{"a.txt", "a"}});
    const std::string before = ReadFile("patch.dat");
    Publish("cut", {{"a.txt", "a2"}, {"b.txt", "b"}}, "\r\n");
    UiRecorder ui;
    EXPECT_EQ(Sync("cut").result, UPD_E_DATA);
    EXPECT_EQ(Sync("no-server").result, UPD_E_FETCH);
    EXPECT_EQ(ReadFile("patch.dat"), before);
    EXPECT_FALSE(Exists("update.inf"));
}

TEST_F(EngineTest, MissingLocalPackAsksWhetherToRebuild) {
    Publish("v2", {{"a.txt", "a"}});
    {
        UiRecorder no(platform::kIdNo);
        EXPECT_EQ(Sync("v2").result, UPD_E_DATA);
        ASSERT_EQ(no.boxes.size(), 1u);
        EXPECT_EQ(no.boxes[0].text, "本地patch.dat无法打开！\r\n是否需要重建更新数据包？");
        EXPECT_EQ(no.boxes[0].flags, platform::kMbYesNo);
        EXPECT_FALSE(Exists("patch.dat"));
    }
    UiRecorder yes(platform::kIdYes);
    EXPECT_EQ(Sync("v2").result, UPD_DONE);
    EXPECT_EQ(PackMember("a.txt"), "a");
}

// Who asks for the stop: the engine itself, or the main thread's way through the current
// engine (which never makes one).
enum class StopRoute { kEngineItself, kCurrentEngine };

// Stops the engine when the n-th download begins; records what the stopping query of the
// current engine answered just before and after.
class StoppingTransfer : public Transfer {
public:
    StoppingTransfer(DirTransfer& inner, int stopAt, bool keep, StopRoute route)
        : inner_(inner), stopAt_(stopAt), keep_(keep), route_(route) {}
    int32_t DownloadFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        Count();
        return inner_.DownloadFile(remote, local, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        Count();
        return inner_.ContinueFile(remote, local, sink, maxBytes);
    }
    int32_t DownloadToMemory(const char* remote, const uint8_t** bytes, uint32_t* size, ProgressSink* sink, uint64_t maxBytes) override {
        Count();
        return inner_.DownloadToMemory(remote, bytes, size, sink, maxBytes);
    }
    void Interrupt() override { inner_.Interrupt(); }

    bool stoppingBefore = true;
    bool stoppingAfter = false;

private:
    void Count() {
        if (++requests_ != stopAt_) return;
        stoppingBefore = UpdateEngine::IsCurrentStopping();
        if (route_ == StopRoute::kCurrentEngine) {
            UpdateEngine::StopCurrent(keep_);
        } else {
            UpdateEngine::Instance()->Stop(keep_);
        }
        stoppingAfter = UpdateEngine::IsCurrentStopping();
    }
    DirTransfer& inner_;
    int stopAt_;
    bool keep_;
    StopRoute route_;
    int requests_ = 0;
};

TEST_F(EngineTest, StopKeepsOrDiscardsWhatWasInstalled) {
    struct Case {
        const char* name;
        bool keep;
        StopRoute route;
    };
    const Case cases[] = {
        {"keep, by the engine", true, StopRoute::kEngineItself},
        {"discard, by the engine", false, StopRoute::kEngineItself},
        {"keep, through the current engine", true, StopRoute::kCurrentEngine},
        {"discard, through the current engine", false, StopRoute::kCurrentEngine},
    };
    const std::vector<Published> v2 = {{"f1.txt", "1"}, {"f2.txt", "2"}, {"f3.txt", "3"}, {"f4.txt", "4"},
                                       {"f5.txt", "5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::RemoveFile("patch.dat");
        Install({{"base.txt", "b"}});
        Publish("v2", v2);
        const std::string before = ReadFile("patch.dat");
        UiRecorder ui;
        DirTransfer inner(scratch.path() + "/v2");
        // Request 1 is the manifest; request 4 is the third file.
        StoppingTransfer stopping(inner, 4, c.keep, c.route);
        EXPECT_EQ(Sync("v2", &stopping, &inner).result, UPD_INTERRUPTED);
        EXPECT_FALSE(stopping.stoppingBefore);
        EXPECT_TRUE(stopping.stoppingAfter);
        if (c.keep) {
            EXPECT_EQ(PackMember("f1.txt"), "1");
            EXPECT_EQ(PackMember("f2.txt"), "2");
            EXPECT_EQ(PackMember("f3.txt"), "<absent>");
            // Local records the server no longer lists are kept.
            EXPECT_EQ(PackMember("update.inf"), ManifestText({{"base.txt", "b"}, {"f1.txt", "1"}, {"f2.txt", "2"}}));
        } else {
            EXPECT_EQ(ReadFile("patch.dat"), before);
            EXPECT_FALSE(Exists("update.inf"));
        }
        // The released engine takes its stop with it.
        EXPECT_FALSE(UpdateEngine::IsCurrentStopping());
    }
}

TEST(CurrentEngine, WithoutARunTheStopRequestIsDroppedAndMakesNoEngine) {
    UpdateEngine::StopCurrent(false);
    EXPECT_FALSE(UpdateEngine::IsCurrentStopping());
    // Had the request made (and stopped) an engine, the next run would start stopped.
    UpdateEngine* engine = UpdateEngine::Instance();
    EXPECT_FALSE(engine->IsStopping());
    EXPECT_FALSE(UpdateEngine::IsCurrentStopping());
    UpdateEngine::StopCurrent(true);
    EXPECT_TRUE(engine->IsStopping());
    engine->Release();
    EXPECT_FALSE(UpdateEngine::IsCurrentStopping());
    EXPECT_FALSE(UpdateEngine::Instance()->IsStopping());
    UpdateEngine::Instance()->Release();
}

// The files (not folders) of the installation, without the server folders.
std::set<std::string> InstalledFileNames() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
        const std::string name = entry.path().lexically_relative(".").generic_string();
        if (entry.is_regular_file() && name.rfind("v1/", 0) != 0 && name.rfind("v2/", 0) != 0) names.insert(name);
    }
    return names;
}

TEST_F(EngineTest, LooseUpdatesNeverTouchFilesNamedLikeTheirTemporaryFiles) {
    // Installed loose files whose names the temporary files of a download once had.
    const std::vector<Published> v1 = {{"a", "a v1", true},
                                       {"a.kvodl", "installed kvodl", true},
                                       {"a.kvonew", "installed kvonew", true},
                                       {"a.unwrap", "installed unwrap", true},
                                       {"sub/b", "b v1", true}};
    Install(v1);
    const std::set<std::string> before = InstalledFileNames();
    std::vector<Published> v2 = v1;
    v2[0].content = "a v2";
    v2[4].content = "b v2";
    Publish("v2", v2);
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.failures, 0u);
    EXPECT_EQ(ReadFile("a"), "a v2");
    EXPECT_EQ(ReadFile("sub/b"), "b v2");
    EXPECT_EQ(ReadFile("a.kvodl"), "installed kvodl");
    EXPECT_EQ(ReadFile("a.kvonew"), "installed kvonew");
    EXPECT_EQ(ReadFile("a.unwrap"), "installed unwrap");
    // No temporary file is left behind.
    EXPECT_EQ(InstalledFileNames(), before);
    EXPECT_EQ(Sync("v2").result, UPD_UP_TO_DATE);
}

TEST_F(EngineTest, FileChangingKindMovesWithTheSameContent) {
    struct KindCase {
        const char* name;
        bool looseBefore;
    };
    for (const KindCase& c : {KindCase{"pack-to-loose", false}, KindCase{"loose-to-pack", true}}) {
        SCOPED_TRACE(c.name);
        platform::RemoveFile("patch.dat");
        platform::RemoveFile("moving.txt");
        Install({{"moving.txt", "same content", c.looseBefore}, {"other.txt", "o"}});
        Publish("v2", {{"moving.txt", "same content", !c.looseBefore}, {"other.txt", "o"}});
        UiRecorder ui;
        const PassResult r = Sync("v2");
        EXPECT_EQ(r.result, UPD_DONE);
        EXPECT_EQ(r.count, 1u);
        EXPECT_EQ(r.failures, 0u);
        // It is now only in its new place; the old copy would shadow or outlive it.
        if (c.looseBefore) {
            EXPECT_EQ(PackMember("moving.txt"), "same content");
            EXPECT_FALSE(Exists("moving.txt"));
        } else {
            EXPECT_EQ(ReadFile("moving.txt"), "same content");
            EXPECT_EQ(PackMember("moving.txt"), "<absent>");
        }
        EXPECT_EQ(PackMember("update.inf"),
                  ManifestText({{"other.txt", "o"}, {"moving.txt", "same content", !c.looseBefore}}));
        EXPECT_EQ(Sync("v2").result, UPD_UP_TO_DATE);
    }
}

TEST_F(EngineTest, RecordsNamingTheInstallationsOwnFilesAreFailedFiles) {
    Install({{"a.txt", "a1"}});
    const std::string packBefore = ReadFile("patch.dat");
    const std::vector<Published> reserved = {{"update.inf", "pack-kind manifest"},
                                             {"./Update.Inf", "loose manifest", true, "download/x1"},
                                             {"patch.dat", "loose pack", true},
                                             {"patch.dattmp", "loose rebuild file", true},
                                             {"./PATCH.DAT.", "loose pack, other spelling", true, "download/x2"}};
    std::vector<Published> v2 = reserved;
    v2.push_back({"a.txt", "a2"});
    Publish("v2", v2);
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.failures, reserved.size());
    EXPECT_TRUE(ui.HasStatus("文件名[update.inf]是更新工具自己的文件，已跳过"));
    EXPECT_TRUE(ui.HasStatus("文件名[patch.dat]是更新工具自己的文件，已跳过"));
    EXPECT_EQ(PackMember("a.txt"), "a2");
    EXPECT_FALSE(Exists("patch.dattmp"));
    // The pack still holds the installation's own manifest, so later passes work.
    EXPECT_EQ(PackMember("update.inf"), ManifestText({{"a.txt", "a2"}}));
    EXPECT_NE(ReadFile("patch.dat"), packBefore);
    const PassResult again = Sync("v2");
    EXPECT_EQ(again.result, UPD_DONE);
    EXPECT_EQ(again.failures, reserved.size());
    EXPECT_EQ(PackMember("a.txt"), "a2");
}

TEST_F(EngineTest, TwoNamesOfOnePackIdNeverTakeEachOthersPlace) {
    // Both names give the pack id e6ec9da3.
    const std::string first = "data/f0106862.bin";
    const std::string second = "data/f1370800.bin";
    {
        std::string a = first, b = second;
        ASSERT_EQ(PackFileId(a), PackFileId(b));
    }
    struct ClashCase {
        const char* name;
        std::vector<Published> v1;
        std::vector<Published> v2;
        const char* failedName;
    };
    const std::vector<ClashCase> cases = {
        {"both-new-in-one-pass", {{"base.txt", "b"}}, {{"base.txt", "b"}, {first, "one"}, {second, "two"}}, "data/f1370800.bin"},
        {"new-name-clashes-with-installed", {{first, "one"}}, {{first, "one"}, {second, "two"}}, "data/f1370800.bin"},
    };
    for (const ClashCase& c : cases) {
        SCOPED_TRACE(c.name);
        platform::RemoveFile("patch.dat");
        Install(c.v1);
        Publish("v2", c.v2);
        UiRecorder ui;
        const PassResult r = Sync("v2");
        EXPECT_EQ(r.result, UPD_DONE);
        EXPECT_EQ(r.failures, 1u);
        EXPECT_TRUE(ui.HasStatusContaining(c.failedName));
        EXPECT_EQ(PackMember(first), "one");
        const std::string manifest = PackMember("update.inf");
        EXPECT_NE(manifest.find(first), std::string::npos);
        EXPECT_EQ(manifest.find(second), std::string::npos);
    }
}

TEST_F(EngineTest, EmptyFilesInstallAndStayCurrent) {
    Install({{"a.txt", "a"}});
    Publish("v2", {{"a.txt", "a"}, {"empty.dat", ""}, {"empty-loose.txt", "", true}});
    UiRecorder ui;
    const PassResult r = Sync("v2");
    EXPECT_EQ(r.result, UPD_DONE);
    EXPECT_EQ(r.failures, 0u);
    EXPECT_TRUE(Exists("empty-loose.txt"));
    EXPECT_EQ(ReadFile("empty-loose.txt"), "");
    EXPECT_EQ(PackMember("update.inf"),
              ManifestText({{"a.txt", "a"}, {"empty-loose.txt", "", true}, {"empty.dat", ""}}));
    const PassResult again = Sync("v2");
    EXPECT_EQ(again.result, UPD_UP_TO_DATE);
    EXPECT_EQ(again.failures, 0u);
}

// Stands in for the plug-in at a game start.
class LaunchRecorder : public iUpdateCfg {
public:
    int Initialize(const char*) override { return 1; }
    const char* GetString(const char*) override { return nullptr; }
    int GetInt(const char*) override { return 0; }
    int Launch(const char* exeName) override {
        launched.push_back(exeName);
        return 1;
    }
    std::vector<std::string> launched;
};

// Starts the game as the start button does and gives the executable it was started from.
std::string StartGame() {
    const std::string tempDir = std::filesystem::absolute("tmp").string();
    std::filesystem::create_directories(tempDir);
    const std::string savedTemp = platform::TempDirectory();
#ifdef _WIN32
    _putenv_s("TMP", tempDir.c_str());
    _putenv_s("TEMP", tempDir.c_str());
#else
    setenv("TMPDIR", tempDir.c_str(), 1);
#endif
    LaunchRecorder cfg;
    StartGameClient(&cfg, "");
#ifdef _WIN32
    _putenv_s("TMP", savedTemp.c_str());
    _putenv_s("TEMP", savedTemp.c_str());
#else
    setenv("TMPDIR", savedTemp.c_str(), 1);
#endif
    if (cfg.launched.size() != 1) return "<not started>";
    const std::string started = ReadFile(cfg.launched[0]);
    platform::RemoveFile(cfg.launched[0].c_str());
    return started;
}

TEST_F(EngineTest, GameStartAfterAnyRunPrefersTheLooseExecutable) {
    struct LaunchCase {
        const char* name;
        int modeBefore;  // a mode the run must not leave behind
        const char* started;
    };
    // Every run leaves "disk first" behind (the loose executable wins), also one that found
    // everything current after looking into the pack only.
    const std::vector<LaunchCase> cases = {
        {"online-run", kPakOpenPacksOnly, "MZ loose"},
        {"up-to-date-run", kPakOpenDiskFirst, "MZ loose"},
        {"offline-run", kPakOpenPacksOnly, "MZ loose"},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        platform::RemoveFile("patch.dat");
        platform::RemoveFile("mainclient.exe");
        const std::vector<Published> v1 = {{"mainclient.exe", "MZ packed"}, {"a.txt", "a1"}};
        Install(v1);
        WriteFile("mainclient.exe", "MZ loose");
        UiRecorder ui;
        SetPakOpenMode(c.modeBefore);
        const std::string name = c.name;
        if (name == "online-run") {
            Publish("v2", {{"mainclient.exe", "MZ packed"}, {"a.txt", "a2"}});
            ASSERT_EQ(Sync("v2").result, UPD_DONE);
        } else if (name == "up-to-date-run") {
            ASSERT_EQ(Sync("v1").result, UPD_UP_TO_DATE);
        } else {
            UpdatePkWriter writer;
            writer.Add("update.inf", Bytes(ManifestText({{"a.txt", "a2"}})));
            writer.Add("a.txt", Bytes("a2"));
            std::vector<uint8_t> olp;
            ASSERT_TRUE(writer.Build(olp));
            WriteFile("p.olp", Text(olp));
            ProgressSink sink(&window);
            PackManifestStore store;
            CountingFailureSink failures;
            std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
            ASSERT_EQ(ApplyOfflinePackage("p.olp", "patch.dat", &sink, store, failures, *task), UPD_PACKAGE_APPLIED);
            UpdateEngine::Instance()->Release();
        }
        EXPECT_EQ(StartGame(), c.started);
    }
}

}  // namespace

namespace {

// How the first run's download of the chosen file ends.
enum class FirstRunEnd { kLineDrops, kStopKeeps, kStopDiscards };

// Serves the server folder and counts the file bytes it sends. The first ContinueFile of
// `cutFile` ends once `cut` bytes of it are in the partial, as `end` says.
class CuttingTransfer : public Transfer {
public:
    CuttingTransfer(const std::string& root, std::string cutFile, uint64_t cut, FirstRunEnd end)
        : root_(root), inner_(root), cutFile_(std::move(cutFile)), cut_(cut), end_(end) {}
    int32_t DownloadFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        return inner_.DownloadFile(remote, local, sink, maxBytes);
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        const std::string content = ReadFile(root_ + "/" + remote);
        const uint64_t held = LocalFileLength(local);
        if (asked_.insert(remote).second && held == 0) startedEmpty.push_back(remote);
        const uint64_t from = held <= content.size() ? held : 0;
        if (remote != cutFile_ || cutDone_) {
            served += content.size() - from;
            return inner_.ContinueFile(remote, local, sink, maxBytes);
        }
        cutDone_ = true;
        {
            platform::OwnedFile file(from > 0 ? OpenLocalFileAt(local, from) : CreateLocalFile(local));
            const std::string part = content.substr(from, cut_ - from);
            platform::WriteToFile(file.get(), part.data(), static_cast<uint32_t>(part.size()));
        }
        served += cut_ - from;
        if (end_ == FirstRunEnd::kLineDrops) return kResultSkipped;
        UpdateEngine::Instance()->Stop(end_ == FirstRunEnd::kStopKeeps);
        return UPD_INTERRUPTED;
    }
    int32_t DownloadToMemory(const char* remote, const uint8_t** bytes, uint32_t* size, ProgressSink* sink,
                             uint64_t maxBytes) override {
        return inner_.DownloadToMemory(remote, bytes, size, sink, maxBytes);
    }
    void Plan(const std::vector<PlannedFetch>& fetches) override {
        if (fetches.empty()) return;  // the run's end: the rest of its plan is not needed
        planned.clear();
        for (const PlannedFetch& f : fetches) planned.push_back(f.remotePath);
    }
    void Interrupt() override { inner_.Interrupt(); }
    uint64_t served = 0;
    std::vector<std::string> planned;       // the run's plan
    std::vector<std::string> startedEmpty;  // files first asked for with nothing on disk

private:
    std::set<std::string> asked_;
    std::string root_;
    DirTransfer inner_;
    std::string cutFile_;
    uint64_t cut_;
    FirstRunEnd end_;
    bool cutDone_ = false;
};

std::string Sample(size_t size, int seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + seed * 7 + i / 1000) % 251);
    return s;
}

// The temporary files left anywhere below the installation.
std::vector<std::string> TempFilesLeft() {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, 3, "kvu") == 0) left.push_back(entry.path().string());
    }
    return left;
}

struct KeptPartialCase {
    const char* name;
    bool loose;                 // the cut file is a loose file (else a pack member)
    FirstRunEnd end;
    // Between the runs: the server's new publication, or the partial's bytes damaged.
    enum class Then { kNothing, kRecordChanged, kNoLongerListed, kPartialDamaged } then;
    bool keptAfterFirstRun;     // a partial and its journal entry remain after the first run
};

}  // namespace

// A file whose download stops early keeps its bytes for the next run, which fetches only the
// rest; a partial that no longer fits its record, or whose bytes are not the file's, is never
// spliced into the file; nothing is left behind once the file is installed or unlisted.
TEST_F(EngineTest, APartialDownloadIsContinuedByTheNextRunOrDiscarded) {
    using Then = KeptPartialCase::Then;
    constexpr size_t kSize = 200000;
    constexpr uint64_t kCut = 120000;
    const std::vector<KeptPartialCase> cases = {
        {"pack-member-after-a-dropped-line", false, FirstRunEnd::kLineDrops, Then::kNothing, true},
        {"loose-file-after-a-dropped-line", true, FirstRunEnd::kLineDrops, Then::kNothing, true},
        {"after-a-stop-that-keeps", false, FirstRunEnd::kStopKeeps, Then::kNothing, true},
        {"after-a-stop-that-discards", true, FirstRunEnd::kStopDiscards, Then::kNothing, false},
        {"record-changed-meanwhile", false, FirstRunEnd::kLineDrops, Then::kRecordChanged, true},
        {"file-no-longer-listed", true, FirstRunEnd::kLineDrops, Then::kNoLongerListed, true},
        {"kept-bytes-damaged", true, FirstRunEnd::kLineDrops, Then::kPartialDamaged, true},
        {"kept-pack-bytes-damaged", false, FirstRunEnd::kLineDrops, Then::kPartialDamaged, true},
    };
    for (const KeptPartialCase& c : cases) {
        for (const char* installed : {"patch.dat", "movie.bik", kPartialJournalName}) platform::RemoveFile(installed);
        const Published other{"data/other.txt", "other v1"};
        Install({other, {"movie.bik", "old movie", c.loose}});
        const Published v2{"movie.bik", Sample(kSize, 2), c.loose};
        // Fetched before the cut file, so a stop finds it checked and queued for the pack.
        const Published extra{"data/extra.txt", std::string(3000, 'e')};
        Publish("v2", {other, extra, v2});
        const std::string remote = RecordOf(v2).remotePath;

        UiRecorder ui(platform::kIdYes);
        CuttingTransfer first(scratch.path() + "/v2", remote, kCut, c.end);
        Sync("v2", &first);
        EXPECT_EQ(Exists(kPartialJournalName), c.keptAfterFirstRun) << c.name;
        const std::vector<std::string> kept = TempFilesLeft();
        ASSERT_EQ(kept.size(), c.keptAfterFirstRun ? 1u : 0u) << c.name;
        if (c.keptAfterFirstRun) {
            EXPECT_EQ(LocalFileLength(kept[0].c_str()), kCut) << c.name;
        }

        Published v3 = v2;
        std::vector<Published> second = {other, extra, v2};
        if (c.then == Then::kRecordChanged) {
            second = {other, extra, v3 = Published{"movie.bik", Sample(kSize, 3), c.loose}};
        }
        if (c.then == Then::kNoLongerListed) second = {other, extra};
        if (c.then == Then::kPartialDamaged) WriteFile(kept[0], std::string(kCut, 'x'));
        Publish("v3", second);

        CuttingTransfer next(scratch.path() + "/v3", "", 0, FirstRunEnd::kLineDrops);
        const PassResult r = Sync("v3", &next);
        uint64_t expected = kSize;
        if (c.keptAfterFirstRun && c.then == Then::kNothing) expected = kSize - kCut;
        if (c.then == Then::kPartialDamaged) expected = (kSize - kCut) + kSize;
        if (c.then == Then::kNoLongerListed) expected = 0;
        // A discarding stop installed nothing and kept none of the run's downloads.
        const bool discarded = c.end == FirstRunEnd::kStopDiscards;
        if (discarded) expected += extra.content.size();
        EXPECT_EQ(next.served, expected) << c.name;
        // Only what starts from nothing may be fetched ahead: a kept partial is continued.
        EXPECT_EQ(next.planned, next.startedEmpty) << c.name;
        EXPECT_EQ(PackMember("data/extra.txt"), extra.content) << c.name;
        if (c.then != Then::kNoLongerListed) {
            EXPECT_EQ(r.failures, 0u) << c.name;
            // The counters start from what was on disk.
            const uint64_t toCome = c.keptAfterFirstRun && c.then != Then::kRecordChanged ? kSize - kCut : kSize;
            EXPECT_EQ(r.total, toCome + (discarded ? extra.content.size() : 0)) << c.name;
            EXPECT_EQ(c.loose ? ReadFile("movie.bik") : PackMember("movie.bik"), v3.content) << c.name;
        }
        EXPECT_TRUE(TempFilesLeft().empty()) << c.name;
        EXPECT_FALSE(Exists(kPartialJournalName)) << c.name;
    }
}

// A file that fails its MD5 is fetched whole once more (a transfer continued within the
// request, or a server that answered REST from byte 0, may have spliced it), and only then
// counts as failed, with one message; a good second fetch installs it.
TEST_F(EngineTest, AFileThatFailsItsMd5IsFetchedWholeOnceMore) {
    const std::string good = Sample(50000, 4);
    struct Case {
        const char* name;
        bool secondFetchGood;
    };
    for (const Case& c : {Case{"bad-both-times", false}, Case{"spliced-once", true}}) {
        platform::RemoveFile("patch.dat");
        Install({{"data/a.txt", "a1"}});
        Publish("v2", {{"data/a.txt", "a1"}, {"data/x.bin", good}});
        // The first fetch (and with a bad publication every fetch) serves other bytes.
        WriteFile(scratch.path() + "/v2/download/data/x.bin", Sample(50000, 5));
        class SwappingTransfer : public CuttingTransfer {
        public:
            SwappingTransfer(const std::string& root, std::function<void()> afterFirst)
                : CuttingTransfer(root, "", 0, FirstRunEnd::kLineDrops), afterFirst_(std::move(afterFirst)) {}
            int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
                const int32_t rc = CuttingTransfer::ContinueFile(remote, local, sink, maxBytes);
                if (calls_++ == 0) afterFirst_();
                return rc;
            }

        private:
            std::function<void()> afterFirst_;
            int calls_ = 0;
        } transfer(scratch.path() + "/v2", [&] {
            if (c.secondFetchGood) WriteFile(scratch.path() + "/v2/download/data/x.bin", good);
        });
        UiRecorder ui;
        const PassResult r = Sync("v2", &transfer);
        EXPECT_EQ(transfer.served, 2 * good.size()) << c.name;
        EXPECT_EQ(r.failures, c.secondFetchGood ? 0u : 1u) << c.name;
        EXPECT_EQ(ui.HasBoxCaption("MD5校验失败！"), !c.secondFetchGood) << c.name;
        EXPECT_EQ(PackMember("data/x.bin"), c.secondFetchGood ? good : "<absent>") << c.name;
        EXPECT_TRUE(TempFilesLeft().empty()) << c.name;
    }
}

// A process killed after some files were fetched and checked but before the rebuild has
// them (simulated by a throw out of the next download) loses none of those downloads: the
// next run fetches only what had not arrived.
TEST_F(EngineTest, AKillBeforeTheRebuildCostsNoFinishedDownload) {
    struct Killed {};
    class KillingTransfer : public CuttingTransfer {
    public:
        using CuttingTransfer::CuttingTransfer;
        int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
            if (std::string(remote) == "download/data/c.bin") throw Killed();
            return CuttingTransfer::ContinueFile(remote, local, sink, maxBytes);
        }
    };
    Install({{"data/a.txt", "a1"}});
    const std::vector<Published> v2 = {{"data/a.bin", Sample(70000, 1)},
                                       {"data/b.bin", Sample(80000, 2), true},
                                       {"data/c.bin", Sample(90000, 3)}};
    Publish("v2", v2);
    {
        KillingTransfer killing(scratch.path() + "/v2", "", 0, FirstRunEnd::kLineDrops);
        UiRecorder ui;
        EXPECT_THROW(Sync("v2", &killing), Killed);
        EXPECT_EQ(killing.served, 70000u + 80000u);
    }
    UpdateEngine::Instance()->Release();  // what the killed process held goes with it
    CuttingTransfer next(scratch.path() + "/v2", "", 0, FirstRunEnd::kLineDrops);
    UiRecorder ui;
    const PassResult r = Sync("v2", &next);
    EXPECT_EQ(r.failures, 0u);
    EXPECT_EQ(next.served, 90000u);
    EXPECT_EQ(PackMember("data/a.bin"), v2[0].content);
    EXPECT_EQ(ReadFile("data/b.bin"), v2[1].content);
    EXPECT_EQ(PackMember("data/c.bin"), v2[2].content);
    EXPECT_TRUE(TempFilesLeft().empty());
    EXPECT_FALSE(Exists(kPartialJournalName));
}

namespace {

struct Killed {};

// Stands in for connections fetching ahead: when the run plans, every planned file but the
// one the run is stopped at has its first half staged beside its target, journaled through
// the recorder the way a connection stages it, as a stop or a kill would find it.
class StagingTransfer : public CuttingTransfer {
public:
    StagingTransfer(const std::string& root, const std::string& cutFile, uint64_t cut, FirstRunEnd end, bool kill)
        : CuttingTransfer(root, cutFile, cut, end), root_(root), cutFile_(cutFile), kill_(kill) {}
    void Plan(const std::vector<PlannedFetch>& fetches) override {
        CuttingTransfer::Plan(fetches);
        const std::shared_ptr<StagedFileRecorder> recorder = CurrentStagedFileRecorder();
        for (const PlannedFetch& f : fetches) {
            if (f.remotePath == cutFile_ || !recorder) continue;
            const std::string content = ReadFile(root_ + "/" + f.remotePath);
            const std::string path = CreateTempFileBeside(f.besideLocal.c_str());
            ASSERT_TRUE(recorder->OnStaged(f.remotePath, path)) << f.remotePath;
            WriteFile(path, content.substr(0, content.size() / 2));
            served += content.size() / 2;
        }
    }
    int32_t ContinueFile(const char* remote, const char* local, ProgressSink* sink, uint64_t maxBytes) override {
        if (kill_ && remote == cutFile_) throw Killed();
        return CuttingTransfer::ContinueFile(remote, local, sink, maxBytes);
    }

private:
    std::string root_;
    std::string cutFile_;
    bool kill_;
};

struct StagedStopCase {
    const char* name;
    FirstRunEnd end;
    bool kill;
    bool keeps;  // what the connections staged is there for the next run
};

}  // namespace

// The connections fetching ahead stage files that the run has not reached: those it reaches
// are continued where they lie, and when the run is stopped with "keep" or killed the others
// stay journaled, so over both runs every byte is fetched once. A stop that discards keeps
// none of them.
TEST_F(EngineTest, WhatTheConnectionsStagedSurvivesAStopThatKeepsOrAKill) {
    const std::vector<StagedStopCase> cases = {
        {"stop-that-keeps", FirstRunEnd::kStopKeeps, false, true},
        {"kill", FirstRunEnd::kStopKeeps, true, true},
        {"stop-that-discards", FirstRunEnd::kStopDiscards, false, false},
    };
    const std::vector<Published> v2 = {{"data/a.bin", Sample(100000, 1)},
                                       {"data/b.bin", Sample(110000, 2), true},
                                       {"data/c.bin", Sample(120000, 3)},
                                       {"data/d.bin", Sample(130000, 4)},
                                       {"data/e.bin", Sample(140000, 5), true}};
    uint64_t total = 0;
    for (const Published& f : v2) total += f.content.size();
    const std::string cutFile = RecordOf(v2[2]).remotePath;
    for (const StagedStopCase& c : cases) {
        for (const char* installed : {"patch.dat", "data/b.bin", "data/e.bin", kPartialJournalName}) {
            platform::RemoveFile(installed);
        }
        Install({{"data/old.txt", "old"}});
        Publish("v2", v2);
        StagingTransfer first(scratch.path() + "/v2", cutFile, 30000, c.end, c.kill);
        {
            UiRecorder ui;
            if (c.kill) {
                EXPECT_THROW(Sync("v2", &first), Killed) << c.name;
                UpdateEngine::Instance()->Release();  // what the killed process held goes with it
            } else {
                Sync("v2", &first);
            }
        }
        EXPECT_EQ(Exists(kPartialJournalName), c.keeps) << c.name;
        if (!c.keeps) {
            EXPECT_TRUE(TempFilesLeft().empty()) << c.name;
        }

        CuttingTransfer next(scratch.path() + "/v2", "", 0, FirstRunEnd::kLineDrops);
        UiRecorder ui;
        const PassResult r = Sync("v2", &next);
        EXPECT_EQ(r.failures, 0u) << c.name;
        if (c.keeps) {
            EXPECT_EQ(first.served + next.served, total) << c.name;
        }
        for (const Published& f : v2) {
            EXPECT_EQ(f.unpack ? ReadFile(f.name) : PackMember(f.name), f.content) << c.name << " " << f.name;
        }
        EXPECT_TRUE(TempFilesLeft().empty()) << c.name;
        EXPECT_FALSE(Exists(kPartialJournalName)) << c.name;
    }
}
