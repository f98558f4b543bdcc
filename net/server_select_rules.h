// The decisions of server selection that need no network: reading addresses from text,
// filling the candidate list, and picking among the probed candidates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/server_select.h"

// Parses an IPv4 address as inet_addr reads one: one to four parts separated by dots, each
// decimal, octal (leading 0) or hexadecimal (leading 0x); the last part fills the remaining
// bytes ("10.1" is 10.0.0.1). The whole text must be the address (no blanks around it).
// False for anything else and for 255.255.255.255, which inet_addr cannot tell from failure.
bool ParseIpv4Address(const char* text, uint32_t* address);

// Whether an address can be a server: not 0.0.0.0 (which also means "no address" to the
// callers) and not the broadcast address.
bool IsServerAddress(uint32_t address);

// Appends `address` with time 0. False (and nothing changes) when the list is full.
bool AppendCandidate(ServerCandidates& list, uint32_t address);

// The tokens of "upip.inf": addresses separated by white space (blank, tab, line breaks,
// vertical tab, form feed). Text is fed in pieces as it is read; every token that is a
// server address is appended to the list while there is room. A token longer than
// kUpipTokenMax characters is skipped whole.
constexpr size_t kUpipTokenMax = 31;
class UpipTokenReader {
public:
    explicit UpipTokenReader(ServerCandidates& list) : list_(list) {}
    void Feed(const char* text, size_t size);
    // Ends the last token (call once at the end of the file).
    void Finish();
    // True once the list is full: reading on changes nothing.
    bool Full() const { return list_.count >= kMaxServerCandidates; }

private:
    void EndToken();

    ServerCandidates& list_;
    char token_[kUpipTokenMax + 1] = {};
    size_t length_ = 0;
    bool overlong_ = false;
};

// The pick after the probe. `probeResult` is ProbeServers' answer: 0 (nobody answered)
// picks any candidate; otherwise every candidate whose time is at most the smallest time +
// kEligibleMarginMs is eligible, in list order. `randomValue` modulo the number to choose
// from gives the pick. 0 when the list is empty.
uint32_t PickCandidate(const ServerCandidates& list, uint32_t probeResult, uint32_t randomValue);
