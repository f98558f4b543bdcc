// The FTP session's decisions that need no connection.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "net/ftp_policy.h"

namespace {

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

struct RedirectCase {
    const char* name;
    const char* remote;
    const char* overrideDir;
    const char* expected;  // "" = not redirected
};

TEST(FtpDirOverride, RedirectsOnlyFilesUnderTheDefaultDirectory) {
    const RedirectCase cases[] = {
        {"file under download", "download/x.pak", "v2", "v2/x.pak"},
        {"nested path keeps its rest", "download/a/b", "v2", "v2/a/b"},
        {"directory alone is never redirected", "download/", "v2", ""},
        {"one character past the directory", "download/a", "v2", "v2/a"},
        {"no override", "download/x.pak", "", ""},
        {"other directory", "patch/x.pak", "v2", ""},
        {"prefix without its slash", "downloadx/y", "v2", ""},
        {"capitals are another directory", "Download/x.pak", "v2", ""},
    };
    for (const RedirectCase& c : cases) {
        EXPECT_EQ(RedirectedRemotePath(c.remote, c.overrideDir), c.expected) << c.name;
    }
}

TEST(FtpServerSwitch, MovesToAnotherListedServerOnlyWhenThereIsOne) {
    const std::string host = "127.0.0.2";
    struct Case {
        const char* name;
        std::vector<uint32_t> servers;
        std::set<std::string> allowed;
    } cases[] = {
        {"empty list keeps the host", {}, {host}},
        {"one entry keeps the host", {Address(127, 0, 0, 3)}, {host}},
        {"every entry is the host", {Address(127, 0, 0, 2), Address(127, 0, 0, 2)}, {host}},
        {"two entries move to the other", {Address(127, 0, 0, 2), Address(127, 0, 0, 3)}, {"127.0.0.3"}},
        {"three entries move to one of the others",
         {Address(127, 0, 0, 2), Address(127, 0, 0, 3), Address(10, 1, 2, 3)},
         {"127.0.0.3", "10.1.2.3"}},
    };
    std::minstd_rand random(7);
    for (const Case& c : cases) {
        std::set<std::string> seen;
        for (int i = 0; i < 40; ++i) seen.insert(PickOtherServer(c.servers, host, random));
        EXPECT_EQ(seen, c.allowed) << c.name;
    }
}

TEST(FtpServerSwitch, DottedTextIsInNetworkOrder) {
    EXPECT_EQ(DottedAddress(Address(192, 168, 1, 200)), "192.168.1.200");
}

TEST(FtpTransferSize, ZeroAnnouncedSizeIsCheckedWithTheServer) {
    struct Case {
        const char* name;
        uint32_t announced;
        int64_t queried;
        int64_t expected;
    } cases[] = {
        {"announced size wins", 1000, -1, 1000},
        {"zero announced, server tells the size", 0, 5000, 5000},
        {"zero announced, file really empty", 0, 0, 0},
        {"zero announced, server cannot tell: read to the end", 0, -1, kUnknownSize},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpectedTransferSize(c.announced, c.queried), c.expected) << c.name;
}

TEST(FtpProgressThrottle, PostsAtMostOnceAnInterval) {
    ProgressThrottle throttle(50);
    struct Step {
        uint32_t at;
        bool posted;
    } steps[] = {{1000, true}, {1010, false}, {1049, false}, {1050, true}, {1051, false}, {2000, true}};
    for (const Step& s : steps) EXPECT_EQ(throttle.ShouldPost(s.at), s.posted) << "at " << s.at;
}

TEST(FtpProgressThrottle, ClockWrapDoesNotSilenceReports) {
    ProgressThrottle throttle(50);
    EXPECT_TRUE(throttle.ShouldPost(0xFFFFFFF0u));
    EXPECT_FALSE(throttle.ShouldPost(0xFFFFFFF0u + 20));
    EXPECT_TRUE(throttle.ShouldPost(0x30));  // 64 ms later across the wrap
}

}  // namespace

namespace {

TEST(FtpReadSizer, GrowsWhileReadsAreQuickAndShrinksOnSlowOnes) {
    struct Step {
        const char* name;
        uint32_t tookMs;
        uint32_t next;
    } steps[] = {
        {"quick read doubles", 10, 131072},
        {"quick again", 10, 262144},
        {"moderate read keeps the size", 1000, 262144},
        {"quick to 512 KiB", 0, 524288},
        {"quick to the top", 0, 1 << 20},
        {"never above 1 MiB", 0, 1 << 20},
        {"slow read halves", 2500, 524288},
        {"slow again", 5000, 262144},
        {"slow", 5000, 131072},
        {"slow to the bottom", 5000, 65536},
        {"never below 64 KiB", 30000, 65536},
    };
    ReadSizer sizer;
    EXPECT_EQ(sizer.Next(), 65536u);
    for (const Step& s : steps) {
        sizer.Took(s.tookMs);
        EXPECT_EQ(sizer.Next(), s.next) << s.name;
    }
}

}  // namespace

namespace {

// The floor judges whole windows: the product's 4 KiB/s over 60 s, shared by the transfers
// running at once, with time held back by the download limit left out.
TEST(FtpSpeedFloor, GivesUpOnlyAWholeWindowBelowItsShare) {
    constexpr uint32_t kStart = 0xFFFF0000u;  // windows that cross the clock's wrap too
    struct Step {
        uint32_t afterMs;  // since the start
        uint64_t done;
        uint32_t heldMs;   // held back by the limit before this step
        uint32_t sharers;
        bool fell;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"the 50 B/s trickle falls after a minute", {{59999, 2999, 0, 1, false}, {60000, 3000, 0, 1, true}}},
        {"a fast start does not carry a later trickle",
         {{60000, 10000000, 0, 1, false}, {120000, 10000000 + 3000, 0, 1, true}}},
        {"5 KiB/s (the slowest real line) keeps on",
         {{60000, 5 * 1024 * 60, 0, 1, false}, {120000, 10 * 1024 * 60, 0, 1, false}}},
        {"just below 4 KiB/s falls", {{60000, 4096 * 60 - 1, 0, 1, true}}},
        {"four connections share the floor", {{60000, 1024 * 60, 0, 4, false}}},
        {"two connections do not", {{60000, 1024 * 60, 0, 2, true}}},
        {"time held by the limit is not judged", {{60000, 10, 59000, 1, false}, {61001, 4200, 0, 1, false}}},
        {"a window is judged once it is whole", {{30000, 0, 0, 1, false}, {59999, 0, 0, 1, false}}},
    };
    for (const Case& c : cases) {
        FloorPace pace(SpeedFloor(), 0, kStart);
        for (const Step& s : c.steps) {
            pace.Held(s.heldMs);
            EXPECT_EQ(pace.Fell(s.done, kStart + s.afterMs, s.sharers), s.fell) << c.name << " at " << s.afterMs;
        }
    }
}

// Mirrors in order, passing over those that served bytes that were not the file's while
// another is trusted.
TEST(FtpMirrorOrder, TheNextTrustedMirror) {
    const std::vector<std::string> hosts = {"a", "b", "c"};
    struct Case {
        const char* name;
        std::string current;
        std::set<std::string> distrusted;
        std::string next;
    } cases[] = {
        {"none distrusted: the next", "a", {}, "b"},
        {"after the last, the first", "c", {}, "a"},
        {"a distrusted next is passed over", "a", {"b"}, "c"},
        {"the passing wraps", "b", {"c", "a"}, "b"},
        {"all distrusted: the next as listed", "a", {"a", "b", "c"}, "b"},
        {"an unknown current: the first trusted", "x", {"a"}, "b"},
    };
    for (const Case& c : cases) EXPECT_EQ(NextTrustedHost(hosts, c.current, c.distrusted), c.next) << c.name;
}

}  // namespace
