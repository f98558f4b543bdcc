// Reading addresses from text, filling the candidate list and the pick after the probe.
#include "net/server_select_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
    uint32_t address = 0;
    ParseIpv4Address((std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." +
                      std::to_string(d)).c_str(),
                     &address);
    return address;
}

struct ParseCase {
    const char* name;
    const char* text;
    bool ok;
    uint32_t expect;  // network byte order, when ok
};

TEST(ServerSelectRulesTest, AddressTextReadAsInetAddrReadsIt) {
    const unsigned char loopbackBytes[4] = {127, 0, 0, 1};
    uint32_t loopback;
    std::memcpy(&loopback, loopbackBytes, sizeof(loopback));
    const ParseCase cases[] = {
        {"dotted quad", "127.0.0.1", true, loopback},
        {"first octet in the lowest byte", "192.0.2.200", true, Ip(192, 0, 2, 200)},
        {"three parts: last fills two bytes", "127.0.1", true, loopback},
        {"two parts: last fills three bytes", "127.1", true, loopback},
        {"one part: the whole address", "2130706433", true, loopback},
        {"hexadecimal parts", "0x7f.0.0.0x1", true, loopback},
        {"octal part", "0177.0.0.01", true, loopback},
        {"zero address parses", "0.0.0.0", true, 0},
        {"broadcast cannot be told from failure", "255.255.255.255", false, 0},
        {"octet above 255", "256.0.0.1", false, 0},
        {"last part too big for its bytes", "127.0.0.256", false, 0},
        {"five parts", "1.2.3.4.5", false, 0},
        {"empty", "", false, 0},
        {"empty part", "1..2.3", false, 0},
        {"trailing dot", "1.2.3.4.", false, 0},
        {"leading blank", " 1.2.3.4", false, 0},
        {"trailing text", "1.2.3.4x", false, 0},
        {"trailing blank", "1.2.3.4 ", false, 0},
        {"host name", "localhost", false, 0},
        {"bad octal digit", "08.0.0.1", false, 0},
        {"hex prefix without digits", "0x.1.2.3", false, 0},
        {"part over 32 bits", "4294967296", false, 0},
    };
    for (const ParseCase& c : cases) {
        uint32_t address = 0xDEADBEEFu;
        EXPECT_EQ(ParseIpv4Address(c.text, &address), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(address, c.expect) << c.name;
        }
    }
    uint32_t unused;
    EXPECT_FALSE(ParseIpv4Address(nullptr, &unused));
}

struct UpipCase {
    const char* name;
    std::string text;
    std::vector<uint32_t> expect;
};

std::vector<uint32_t> Addresses(const ServerCandidates& list) {
    return std::vector<uint32_t>(list.address, list.address + list.count);
}

TEST(ServerSelectRulesTest, UpipTokens) {
    const std::string longest31 = "0x000000000000000000000" "7f000001";  // 31 characters: 127.0.0.1
    const UpipCase cases[] = {
        {"two lines", "192.0.2.1\n192.0.2.2\n", {Ip(192, 0, 2, 1), Ip(192, 0, 2, 2)}},
        {"blanks, tabs, CR LF, form feed", " 10.0.0.1\t10.0.0.2\r\n\f10.0.0.3 ",
         {Ip(10, 0, 0, 1), Ip(10, 0, 0, 2), Ip(10, 0, 0, 3)}},
        {"no line end after last", "10.0.0.1", {Ip(10, 0, 0, 1)}},
        {"invalid tokens skipped", "server 10.0.0.1 1.2.3.4.5 10.0.0.2 #", {Ip(10, 0, 0, 1), Ip(10, 0, 0, 2)}},
        {"zero and broadcast skipped", "0.0.0.0 255.255.255.255 10.0.0.9", {Ip(10, 0, 0, 9)}},
        {"order and repeats kept", "10.0.0.2 10.0.0.1 10.0.0.2", {Ip(10, 0, 0, 2), Ip(10, 0, 0, 1), Ip(10, 0, 0, 2)}},
        {"empty file", "", {}},
        {"only blanks", " \r\n\t", {}},
        {"31-character token read", longest31 + "\n", {Ip(127, 0, 0, 1)}},
        {"32-character token skipped whole", "0" + longest31 + "\n10.0.0.1", {Ip(10, 0, 0, 1)}},
        {"overlong token not split into addresses", std::string(31, 'x') + "10.0.0.7 10.0.0.8", {Ip(10, 0, 0, 8)}},
        {"NUL inside a token skipped", std::string("10.0.0.1\0junk 10.0.0.2", 22), {Ip(10, 0, 0, 2)}},
    };
    for (const UpipCase& c : cases) {
        // Whole, and one byte per piece: a token split across reads is still one token.
        for (size_t piece : {c.text.size() + 1, size_t{1}}) {
            ServerCandidates list = {};
            UpipTokenReader reader(list);
            for (size_t at = 0; at < c.text.size(); at += piece) {
                reader.Feed(c.text.data() + at, std::min(piece, c.text.size() - at));
            }
            reader.Finish();
            EXPECT_EQ(Addresses(list), c.expect) << c.name << " (pieces of " << piece << ")";
            for (uint32_t i = 0; i < list.count; ++i) EXPECT_EQ(list.rtt[i], 0u) << c.name;
        }
    }
}

TEST(ServerSelectRulesTest, UpipKeepsTheFirst32Addresses) {
    std::string text;
    for (int i = 1; i <= 40; ++i) text += "10.0.0." + std::to_string(i) + "\n";
    ServerCandidates list = {};
    UpipTokenReader reader(list);
    reader.Feed(text.data(), text.size());
    reader.Finish();
    ASSERT_EQ(list.count, kMaxServerCandidates);
    EXPECT_TRUE(reader.Full());
    EXPECT_EQ(list.address[0], Ip(10, 0, 0, 1));
    EXPECT_EQ(list.address[31], Ip(10, 0, 0, 32));
    EXPECT_FALSE(AppendCandidate(list, Ip(10, 0, 0, 99)));
    EXPECT_EQ(list.count, kMaxServerCandidates);
}

struct PickCase {
    const char* name;
    std::vector<uint32_t> rtt;
    uint32_t probeResult;  // 0: nobody answered; otherwise the fastest (any non-zero value)
    uint32_t randomValue;
    size_t expectIndex;
};

TEST(ServerSelectRulesTest, PickAmongTheFastest) {
    constexpr uint32_t kAnswered = 1;
    const PickCase cases[] = {
        {"20 and 65 both eligible: first", {20, 65}, kAnswered, 0, 0},
        {"20 and 65 both eligible: second", {20, 65}, kAnswered, 1, 1},
        {"130 is beyond 20 + 100", {20, 130}, kAnswered, 1, 0},
        {"exactly fastest + 100 is eligible", {20, 120}, kAnswered, 1, 1},
        {"fastest + 101 is not", {20, 121}, kAnswered, 1, 0},
        {"random wraps over the eligible only", {50, 500, 60, 140}, kAnswered, 2, 3},
        {"fastest later in the list", {300, 5}, kAnswered, 7, 1},
        {"silent candidates never eligible", {kNoAnswer, 30, kNoAnswer}, kAnswered, 5, 1},
        {"nobody answered: any candidate", {kNoAnswer, kNoAnswer, kNoAnswer}, 0, 5, 2},
        {"no socket: the caller's zero times, all eligible", {0, 0, 0}, kProbeNoSocket, 4, 1},
        {"one candidate", {kNoAnswer}, 0, 12345, 0},
    };
    for (const PickCase& c : cases) {
        ServerCandidates list = {};
        for (size_t i = 0; i < c.rtt.size(); ++i) {
            list.address[i] = Ip(10, 0, 0, static_cast<unsigned>(i + 1));
            list.rtt[i] = c.rtt[i];
        }
        list.count = static_cast<uint32_t>(c.rtt.size());
        EXPECT_EQ(PickCandidate(list, c.probeResult, c.randomValue), list.address[c.expectIndex]) << c.name;
    }
    ServerCandidates empty = {};
    EXPECT_EQ(PickCandidate(empty, 0, 3), 0u);
    EXPECT_EQ(PickCandidate(empty, kAnswered, 3), 0u);
}

}  // namespace
