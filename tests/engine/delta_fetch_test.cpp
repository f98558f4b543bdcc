// The updater's delta path against a server folder: the patch offered for the installed
// content is fetched, applied and checked; any other installed content, a missing, damaged
// or wrong patch gives no result (the caller fetches the whole file); a signed build takes
// the list only with a valid signature.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/delta_fetch.h"
#include "engine/md5.h"
#include "net/dir_transfer.h"
#include "tests/engine/delta_test_support.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/signed_test_support.h"

namespace {

using deltatest::MakePatch;
using deltatest::PatchEntry;
using enginetest::Noise;
using enginetest::WriteFile;

constexpr const char* kListPath = "download/update.dlt";
constexpr const char* kPatchPath = "download/delta/p1";

const std::string kOld = Noise(100000, 1);
std::string NewContent() {
    std::string s = kOld;
    s.replace(5000, 6, "HOTFIX");
    return s;
}
const std::string kNew = NewContent();

ManifestRecord Record(const std::string& content) {
    ManifestRecord r;
    r.kind = "pack";
    r.name = "data/big.bin";
    r.digest = "md5 " + Md5Text(content.data(), content.size());
    r.size = std::to_string(content.size());
    r.remotePath = "download/data/big.bin";
    return r;
}

DeltaEntry Entry(const std::string& patch) {
    return PatchEntry("data/big.bin", kOld, kNew, patch, kPatchPath);
}

struct ServerSetup {
    std::string patchOnServer;  // empty: none
    DeltaEntry entry;
};

struct FetchCase {
    const char* name;
    ServerSetup (*server)();
    std::string installed;
    DeltaOutcome expected;
};

ServerSetup GoodServer() {
    const std::string p = MakePatch(kOld, kNew);
    return {p, Entry(p)};
}

const FetchCase kFetchCases[] = {
    {"patch_for_the_installed_content", GoodServer, kOld, DeltaOutcome::kApplied},
    {"installed_content_differs_from_the_patch_base", GoodServer, Noise(100000, 2), DeltaOutcome::kNoPatch},
    {"installed_content_one_byte_longer", GoodServer, kOld + "x", DeltaOutcome::kNoPatch},
    {"patch_missing_on_the_server",
     [] {
         ServerSetup s = GoodServer();
         s.patchOnServer.clear();
         return s;
     },
     kOld, DeltaOutcome::kFetchFailed},
    {"patch_damaged_on_the_server",
     [] {
         ServerSetup s = GoodServer();
         s.patchOnServer[s.patchOnServer.size() / 2] ^= 0x20;
         return s;
     },
     kOld, DeltaOutcome::kBadPatch},
    {"patch_longer_than_listed",
     [] {
         ServerSetup s = GoodServer();
         s.patchOnServer += "xx";
         return s;
     },
     kOld, DeltaOutcome::kFetchFailed},
    // The list's digest matches the damaged patch: the decoder itself must refuse it.
    {"damaged_patch_listed_with_its_own_md5",
     [] {
         std::string p = MakePatch(kOld, kNew);
         p[p.size() / 2] ^= 0x20;
         return ServerSetup{p, Entry(p)};
     },
     kOld, DeltaOutcome::kBadPatch},
    // A sound patch giving other content of the same size than the update list's record.
    {"patch_giving_another_content",
     [] {
         std::string other = kNew;
         other[0] ^= 1;
         const std::string p = MakePatch(kOld, other);
         return ServerSetup{p, Entry(p)};
     },
     kOld, DeltaOutcome::kWrongResult},
};

class DeltaFetch : public testing::TestWithParam<FetchCase> {};

TEST_P(DeltaFetch, AppliesOnlyTheRightPatchToTheRightContent) {
    const FetchCase& c = GetParam();
    enginetest::ScratchDir dir;
    const ServerSetup server = c.server();
    if (!server.patchOnServer.empty()) WriteFile(std::string("srv/") + kPatchPath, server.patchOnServer);
    DirTransfer transfer("srv");
    std::string result = "stale";
    EXPECT_EQ(FetchThroughDelta(transfer, {server.entry}, Record(kNew), c.installed.data(), c.installed.size(),
                                nullptr, &result),
              c.expected);
    if (c.expected == DeltaOutcome::kApplied) {
        EXPECT_TRUE(result == kNew);
    } else {
        EXPECT_TRUE(result.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaFetch, testing::ValuesIn(kFetchCases),
                         [](const testing::TestParamInfo<FetchCase>& i) { return std::string(i.param.name); });

TEST(DeltaFetchSize, CountsThePatchOnlyForItsBase) {
    const std::string p = MakePatch(kOld, kNew);
    const std::vector<DeltaEntry> entries = {Entry(p)};
    const std::string oldMd5 = Md5Text(kOld.data(), kOld.size());
    EXPECT_EQ(DeltaPatchSize(entries, Record(kNew), oldMd5, kOld.size()), p.size());
    EXPECT_EQ(DeltaPatchSize(entries, Record(kNew), oldMd5, kOld.size() + 1), 0u);
    EXPECT_EQ(DeltaPatchSize(entries, Record(kOld), oldMd5, kOld.size()), 0u);
}

TEST(DeltaListPath, SitsBesideTheUpdateList) {
    EXPECT_EQ(DeltaListPathBeside("download/update.pak"), "download/update.dlt");
    EXPECT_EQ(DeltaListPathBeside("update.pak"), "update.dlt");
}

// --- the list, unsigned and signed builds ---

std::string ListText() {
    std::string text;
    EXPECT_TRUE(FormatDeltaList({Entry(MakePatch(kOld, kNew))}, &text));
    return text;
}

const signedtest::KeyPair& Publisher() {
    static const signedtest::KeyPair keys(7);
    return keys;
}

enum class ListOnServer { kNone, kGood, kMalformed, kChangedAfterSigning };
enum class SignatureBeside { kNone, kValid, kOfAnotherName, kByAnotherKey };

struct ListCase {
    const char* name;
    bool signedBuild;
    ListOnServer list;
    SignatureBeside signature;
    bool used;
};

const ListCase kListCases[] = {
    {"unsigned_build_takes_the_list", false, ListOnServer::kGood, SignatureBeside::kNone, true},
    {"unsigned_build_without_a_list", false, ListOnServer::kNone, SignatureBeside::kNone, false},
    {"malformed_list", false, ListOnServer::kMalformed, SignatureBeside::kNone, false},
    {"signed_build_with_a_valid_signature", true, ListOnServer::kGood, SignatureBeside::kValid, true},
    {"signed_build_without_a_signature", true, ListOnServer::kGood, SignatureBeside::kNone, false},
    {"signed_build_signature_of_another_name", true, ListOnServer::kGood, SignatureBeside::kOfAnotherName, false},
    {"signed_build_signature_by_another_key", true, ListOnServer::kGood, SignatureBeside::kByAnotherKey, false},
    {"signed_build_list_changed_after_signing", true, ListOnServer::kChangedAfterSigning, SignatureBeside::kValid,
     false},
};

std::string ServerList(ListOnServer which) {
    switch (which) {
        case ListOnServer::kNone: return "";
        case ListOnServer::kGood: return ListText();
        case ListOnServer::kMalformed: return ListText() + "junk\r\n";
        case ListOnServer::kChangedAfterSigning: return ListText() + ListText().substr(18);
    }
    return "";
}

// The signature file beside the list, always made for the good list's bytes.
std::string ServerSignature(SignatureBeside which) {
    switch (which) {
        case SignatureBeside::kNone: return "";
        case SignatureBeside::kValid: return signedtest::SignatureOf(Publisher(), ListText(), kListPath, 3);
        case SignatureBeside::kOfAnotherName:
            return signedtest::SignatureOf(Publisher(), ListText(), "download/update.pak", 3);
        case SignatureBeside::kByAnotherKey:
            return signedtest::SignatureOf(signedtest::KeyPair(9), ListText(), kListPath, 3);
    }
    return "";
}

class DeltaListFetch : public testing::TestWithParam<ListCase> {};

TEST_P(DeltaListFetch, UsesOnlyAListTheBuildTrusts) {
    const ListCase& c = GetParam();
    enginetest::ScratchDir dir;
    const std::string list = ServerList(c.list);
    const std::string signature = ServerSignature(c.signature);
    if (!list.empty()) WriteFile(std::string("srv/") + kListPath, list);
    if (!signature.empty()) WriteFile(std::string("srv/") + kListPath + ".sig", signature);
    DirTransfer transfer("srv");
    const std::vector<DeltaEntry> entries =
        FetchDeltaList(transfer, c.signedBuild ? &Publisher().publicKey : nullptr, kListPath);
    EXPECT_EQ(entries.size(), c.used ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeltaListFetch, testing::ValuesIn(kListCases),
                         [](const testing::TestParamInfo<ListCase>& i) { return std::string(i.param.name); });

}  // namespace
