// Reading and writing manifest text, the platform filter and the de-duplication of remote
// records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/manifest.h"
#include "engine/manifest_store.h"
#include "engine/manifest_text.h"
#include "common/update_codes.h"
#include "tests/engine/engine_test_support.h"

namespace {

using enginetest::PluginScope;

const char kDigestA[] = "md5 0123456789abcdef0123456789abcdef";

std::string Record(const std::string& kind, const std::string& name, const std::string& remote,
                   const std::string& size = "5") {
    return kind + "\r\n" + name + "\r\n" + kDigestA + "\r\n" + size + "\r\n" + remote + "\r\n\r\n";
}

std::vector<ManifestRecord> ReadAll(const std::string& text, int32_t* rc) {
    std::vector<ManifestRecord> out;
    *rc = ReadManifestText(text, [&](ManifestRecord&& r) { out.push_back(std::move(r)); });
    return out;
}

struct ReadCase {
    const char* name;
    std::string text;
    int32_t result;
    size_t records;
};

TEST(ManifestText, ReadsWholeRecordsAndRefusesCutOnes) {
    const std::string two = Record("pack", "a.dat", "download/a.dat") + Record("unpack", "b.txt", "download/b.txt");
    const std::vector<ReadCase> cases = {
        {"good-empty-text", "", UPD_DONE, 0},
        {"good-two-records", two, UPD_DONE, 2},
        {"good-separator-line-with-junk", "k\r\nn\r\nd\r\n1\r\nr\r\nanything\n", UPD_DONE, 1},
        {"bad-no-separator-line", two.substr(0, two.size() - 2), UPD_E_DATA, 1},
        {"bad-cut-after-two-fields", "pack\r\na.dat\r\n", UPD_E_DATA, 0},
        {"bad-fifth-field-without-lf", "k\r\nn\r\nd\r\n1\r\nr\r", UPD_E_DATA, 0},
        {"bad-record-text-without-cr", "pack\n", UPD_E_DATA, 0},
        {"bad-second-record-cut", Record("pack", "a.dat", "x") + "pack\r\nb", UPD_E_DATA, 1},
    };
    for (const ReadCase& c : cases) {
        int32_t rc = 0;
        const std::vector<ManifestRecord> got = ReadAll(c.text, &rc);
        EXPECT_EQ(rc, c.result) << c.name;
        EXPECT_EQ(got.size(), c.records) << c.name;
    }
}

TEST(ManifestText, FoldsEveryFieldButLeavesDoubleByteCharactersAlone) {
    // A letter right after a byte of 0x80 or above is the second byte of a GBK character
    // and keeps its case.
    const std::string text = "UNPACK\r\nData\\\xB0" "A.DAT\r\nMD5 ABC\r\n12\r\nDownload/$WIN/X\r\n\r\n";
    int32_t rc = 0;
    const std::vector<ManifestRecord> got = ReadAll(text, &rc);
    ASSERT_EQ(rc, UPD_DONE);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, "unpack");
    EXPECT_EQ(got[0].name, "data\\\xB0" "A.dat");
    EXPECT_EQ(got[0].digest, "md5 abc");
    EXPECT_EQ(got[0].remotePath, "download/$win/x");
}

TEST(ManifestText, WritesWhatItReads) {
    const std::string text = Record("pack", "a.dat", "download/a.dat") + Record("unpack", "b/c.txt", "d/b/c.txt", "0");
    int32_t rc = 0;
    const std::vector<ManifestRecord> records = ReadAll(text, &rc);
    std::string written;
    AppendManifestText(records, written);
    EXPECT_EQ(written, text);
}

struct FilterCase {
    const char* name;
    std::string remotePath;
    bool kept;
};

TEST(ParseManifest, KeepsOnlyRecordsForThisPlatform) {
    PluginScope plugin("win", 0);
    const std::vector<FilterCase> cases = {
        {"plain-path", "download/a.dat", true},
        {"this-platform-slash", "download/$win/a.dat", true},
        {"this-platform-backslash", "download\\$win\\a.dat", true},
        {"other-platform", "download/$mac/a.dat", false},
        {"dollar-without-separator", "download/$mac", true},
        {"longer-platform-name", "download/$win64/a.dat", false},
    };
    for (const FilterCase& c : cases) {
        const std::string text = Record("pack", "a.dat", c.remotePath);
        PackManifestStore store;
        RemoteRecordList remote;
        ASSERT_EQ(ParseManifest(store, ManifestSource::Memory(text.data(), text.size()), nullptr, &remote), UPD_DONE)
            << c.name;
        EXPECT_EQ(remote.size(), c.kept ? 1u : 0u) << c.name;
    }
}

TEST(ParseManifest, LongerRemotePathWinsWhateverTheOrder) {
    PluginScope plugin("win", 0);
    const std::string generic = Record("pack", "a.dat", "download/a.dat");
    const std::string specific = Record("pack", "a.dat", "download/$win/a.dat");
    for (const std::string& text : {generic + specific, specific + generic}) {
        PackManifestStore store;
        RemoteRecordList remote;
        ASSERT_EQ(ParseManifest(store, ManifestSource::Memory(text.data(), text.size()), nullptr, &remote), UPD_DONE);
        ASSERT_EQ(remote.size(), 1u);
        EXPECT_EQ(remote[0].remotePath, "download/$win/a.dat");
    }
}

TEST(ParseManifest, RemoteListIsInByteOrderAndLocalSetKeepsTheLastRecord) {
    PluginScope plugin("", 0);
    const std::string text = Record("pack", "\xC4\xE3.dat", "r1") + Record("pack", "b.dat", "r2") +
                             Record("pack", "a.dat", "r3") + Record("pack", "b.dat", "r4");
    PackManifestStore store;
    RemoteRecordList remote;
    ASSERT_EQ(ParseManifest(store, ManifestSource::Memory(text.data(), text.size()), nullptr, &remote), UPD_DONE);
    ASSERT_EQ(remote.size(), 3u);
    EXPECT_EQ(remote[0].name, "a.dat");
    EXPECT_EQ(remote[1].name, "b.dat");
    EXPECT_EQ(remote[1].remotePath, "r4");  // equal length: the later record
    EXPECT_EQ(remote[2].name, "\xC4\xE3.dat");  // bytes above 0x7F sort last

    LocalRecordSet local;
    ASSERT_EQ(ParseManifest(store, ManifestSource::Memory(text.data(), text.size()), &local, nullptr), UPD_DONE);
    ASSERT_EQ(local.size(), 3u);
    EXPECT_EQ(local["b.dat"].remotePath, "r4");
}

TEST(ParseManifest, TruncatedManifestIsUnreadable) {
    const std::string text = Record("pack", "a.dat", "r").substr(0, 20);
    PackManifestStore store;
    RemoteRecordList remote;
    EXPECT_EQ(ParseManifest(store, ManifestSource::Memory(text.data(), text.size()), nullptr, &remote), UPD_E_DATA);
}

}  // namespace
