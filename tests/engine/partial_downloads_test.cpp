// The journal of kept partial downloads: what a kill or a power cut at any moment leaves of
// it, and what a damaged journal is read as.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/md5.h"
#include "engine/partial_downloads.h"
#include "net/local_file.h"
#include "platform/platform.h"
#include "platformcfg/platform_config.h"
#include "tests/engine/engine_test_support.h"

namespace {

using enginetest::ReadFile;
using enginetest::WriteFile;

ManifestRecord Record(const std::string& name, const std::string& digest = "md5 0123456789abcdef0123456789abcdef") {
    ManifestRecord r;
    r.kind = "pack";
    r.name = name;
    r.digest = digest;
    r.size = "1000";
    r.remotePath = "download/" + name;
    return r;
}

// The journal's file after `a` and `b` were started and `a` noted at 500 bytes.
std::string JournalOfTwo() {
    PartialDownloads journal;
    WriteFile("kvuA.tmp", std::string(500, 'a'));
    WriteFile("kvuB.tmp", "b");
    EXPECT_TRUE(journal.Start(Record("data/a.bin"), "kvuA.tmp"));
    EXPECT_TRUE(journal.Start(Record("data/b.bin"), "kvuB.tmp"));
    journal.NoteBytes("data/a.bin", 500);
    return ReadFile(kPartialJournalName);
}

struct DamageCase {
    const char* name;
    std::string (*damage)(const std::string& journal);
    bool keepsA;
    bool keepsB;
};

// Whatever is cut off or altered, the journal is read up to the last whole change before it:
// a kill during an append leaves the state before that change, never a wrong entry.
TEST(PartialDownloads, ADamagedJournalIsReadUpToItsLastWholeChange) {
    const std::vector<DamageCase> cases = {
        {"whole", [](const std::string& j) { return j; }, true, true},
        {"last-line-torn", [](const std::string& j) { return j.substr(0, j.size() - 5); }, true, true},
        {"second-start-torn",
         [](const std::string& j) {
             const size_t second = j.find("\nS\tdata/b.bin");
             return j.substr(0, second + 10);
         },
         true, false},
        {"a-byte-changed-in-the-second-start",
         [](const std::string& j) {
             std::string d = j;
             d[d.find("download/data/b.bin") + 9] = 'X';
             return d;
         },
         true, false},
        {"other-header", [](const std::string& j) { return "KVO partial downloads 9" + j.substr(j.find('\n')); }, false, false},
        {"empty", [](const std::string&) { return std::string(); }, false, false},
        {"garbage", [](const std::string&) { return std::string("\xff\xfe garbage\n\t\t\n"); }, false, false},
    };
    for (const DamageCase& c : cases) {
        enginetest::ScratchDir scratch;
        WriteFile(kPartialJournalName, c.damage(JournalOfTwo()));
        PartialDownloads journal;
        journal.Load();
        EXPECT_EQ(journal.Find(Record("data/a.bin")) != nullptr, c.keepsA) << c.name;
        EXPECT_EQ(journal.Find(Record("data/b.bin")) != nullptr, c.keepsB) << c.name;
        // Changes after a torn line follow whole ones: they are read back too.
        WriteFile("kvuC.tmp", "c");
        EXPECT_TRUE(journal.Start(Record("data/c.bin"), "kvuC.tmp")) << c.name;
        PartialDownloads again;
        again.Load();
        EXPECT_NE(again.Find(Record("data/c.bin")), nullptr) << c.name;
        EXPECT_EQ(again.Find(Record("data/a.bin")) != nullptr, c.keepsA) << c.name;
    }
}

// An entry is for one record as it was: another digest, size or remote path is another file,
// and a partial whose file is gone is none; what is no longer wanted goes with its file.
TEST(PartialDownloads, AnEntryBelongsOnlyToItsRecordAndUnwantedOnesGo) {
    enginetest::ScratchDir scratch;
    WriteFile("kvuA.tmp", "aaaa");
    WriteFile("kvuB.tmp", "bb");
    PartialDownloads journal;
    ASSERT_TRUE(journal.Start(Record("data/a.bin"), "kvuA.tmp"));
    ASSERT_TRUE(journal.Start(Record("data/b.bin"), "kvuB.tmp"));
    EXPECT_EQ(journal.Find(Record("data/a.bin", "md5 ffffffffffffffffffffffffffffffff")), nullptr);
    ManifestRecord moved = Record("data/a.bin");
    moved.remotePath = "download/v2/data/a.bin";
    EXPECT_EQ(journal.Find(moved), nullptr);
    EXPECT_EQ(journal.BytesOnDisk({Record("data/a.bin"), Record("data/b.bin")}), 6u);

    journal.KeepOnly({Record("data/b.bin")});
    EXPECT_FALSE(platform::FileExists("kvuA.tmp"));
    EXPECT_TRUE(platform::FileExists("kvuB.tmp"));
    EXPECT_EQ(journal.PartialFileNames(), std::set<std::string>{"kvub.tmp"});
    journal.Forget("data/b.bin", true);
    EXPECT_FALSE(platform::FileExists("kvuB.tmp"));
    EXPECT_FALSE(platform::FileExists(kPartialJournalName)) << "an empty journal is no file";
    // Names the journal cannot hold are not journaled (the download just is not kept).
    EXPECT_FALSE(journal.Start(Record("data/tab\there.bin"), "kvuT.tmp"));
}

// Thousands of files through one run cost one line each; the log is written anew before it
// grows far beyond its entries.
TEST(PartialDownloads, TheLogStaysSmallThroughAManyFileRun) {
    enginetest::ScratchDir scratch;
    WriteFile("kvuK.tmp", "kept");
    PartialDownloads journal;
    ASSERT_TRUE(journal.Start(Record("data/kept.bin"), "kvuK.tmp"));
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "data/f" + std::to_string(i);
        WriteFile("kvuF.tmp", "x");
        ASSERT_TRUE(journal.Start(Record(name), "kvuF.tmp"));
        journal.Forget(name, false);
    }
    EXPECT_LT(LocalFileLength(kPartialJournalName), 100000u);
    PartialDownloads again;
    again.Load();
    EXPECT_NE(again.Find(Record("data/kept.bin")), nullptr);
    EXPECT_EQ(again.Find(Record("data/f2999")), nullptr);
}

// The installation folder the run is given, for the test's lifetime.
class InstallDirAt {
public:
    explicit InstallDirAt(const std::string& dir) { SetInstallDir(dir + "/"); }
    ~InstallDirAt() { SetInstallDir(""); }
};

// A journal anyone can write: its line check is a plain MD5 of the line, no secret.
std::string ForgedJournal(const std::string& name, const std::string& partialPath) {
    const ManifestRecord r = Record(name);
    const std::string text = "S\t" + name + "\t" + partialPath + "\t" + r.remotePath + "\t" + r.size + "\t" + r.digest + "\t";
    return "KVO partial downloads 2\n" + text + Md5Text(text.data(), text.size()).substr(0, 8) + "\n";
}

struct ForgedPathCase {
    const char* name;
    std::string path;  // what the journal names as the partial of "data/a.bin"
    bool makeFile;     // a file there to watch (names the system cannot make are only read)
    bool ours;         // the tool's own temporary file in the installation
};

// The journal's paths are appended to, moved into the installation and removed: only the
// tool's own temporary files beside the pack or beside their target are ever taken for
// partials. Anything else a journal names is left exactly as it is.
TEST(PartialDownloads, OnlyTheToolsOwnTemporaryFilesInTheInstallationAreTakenFromTheJournal) {
    enginetest::ScratchDir elsewhere;  // the folder an installation was copied from, say
    const std::string elsewhereName = std::filesystem::path(elsewhere.path()).filename().string();
    enginetest::ScratchDir installation;
    InstallDirAt installDir(installation.path());
    const std::vector<ForgedPathCase> cases = {
        {"the-pack", "patch.dat", true, false},
        {"the-tool", "update.exe", true, false},
        {"the-plug-in", "updatecfg.dll", true, false},
        {"a-game-file", "data/a.bin", true, false},
        {"absolute-elsewhere", elsewhere.path() + "/kvu1A2B.tmp", true, false},
        {"parent-folder", "../" + elsewhereName + "/kvu1A2B.tmp", true, false},
        {"dot-dot-inside", "data/../../" + elsewhereName + "/kvu1A2B.tmp", true, false},
        {"other-folder", "other/kvu1A2B.tmp", true, false},
        {"below-its-folder", "data/sub/kvu1A2B.tmp", true, false},
        {"not-a-temporary-name", "kvu1A2B.dat", true, false},
        {"drive-relative", "C:kvu1A2B.tmp", false, false},
        {"drive-absolute", "C:\\Games\\kvu1A2B.tmp", false, false},
        {"device", "con", false, false},
        {"device-with-extension", "data/aux.tmp", false, false},
        {"stream", "kvu1A2B.tmp:x", false, false},
        {"beside-the-pack", "kvu1A2B.tmp", true, true},
        {"beside-its-target", "data/kvuQ7x9Za", true, true},
        {"earlier-build-absolute-in-installation", installation.path() + "/kvu3C4D.tmp", true, true},
    };
    for (const ForgedPathCase& c : cases) {
        if (c.makeFile) WriteFile(c.path, "precious");
        WriteFile(kPartialJournalName, ForgedJournal("data/a.bin", c.path));
        PartialDownloads journal;
        journal.Load();
        EXPECT_EQ(journal.Find(Record("data/a.bin")) != nullptr, c.ours) << c.name;
        EXPECT_EQ(journal.PartialFileNames().empty(), !c.ours) << c.name;
        // A journaled partial no longer wanted goes with its file; a path not ours stays.
        journal.KeepOnly({});
        journal.Forget("data/a.bin", true);
        if (c.makeFile) {
            EXPECT_EQ(ReadFile(c.path), c.ours ? "<missing>" : "precious") << c.name;
            platform::RemoveFile(c.path.c_str());
        }
    }
}

// The journal holds paths relative to the installation: a copy of a folder in the middle
// of a download continues its own partial, and never removes the original folder's.
TEST(PartialDownloads, ACopiedInstallationLeavesTheOriginalsPartialAlone) {
    enginetest::ScratchDir original;
    std::string journalText;
    {
        InstallDirAt installDir(original.path());
        WriteFile("kvu1A2B.tmp", "original");
        PartialDownloads journal;
        // A pack member's partial is made beside the pack, named by the installation's path.
        ASSERT_TRUE(journal.Start(Record("data/a.bin"), original.path() + "/kvu1A2B.tmp"));
        journalText = ReadFile(kPartialJournalName);
    }
    enginetest::ScratchDir copy;
    InstallDirAt installDir(copy.path());
    WriteFile(kPartialJournalName, journalText);
    WriteFile("kvu1A2B.tmp", "copy");
    PartialDownloads journal;
    journal.Load();
    const PartialDownload* kept = journal.Find(Record("data/a.bin"));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(ReadFile(kept->partialPath), "copy");
    journal.KeepOnly({});
    EXPECT_FALSE(platform::FileExists("kvu1A2B.tmp"));
    EXPECT_EQ(ReadFile(original.path() + "/kvu1A2B.tmp"), "original");
}

}  // namespace
