// Choosing the update server: gather candidate IPv4 addresses from the first source that
// yields any (the local file "upip.inf", a literal address, the name service, the plug-in's
// "ftpip" keys, the two built-in fallbacks), measure them with a short UDP probe and pick
// one of the fastest. The chosen address becomes the FTP session's host; the candidate list
// is the session's list of servers to switch to on reconnection.
//
// Addresses are IPv4 in network byte order (the first octet in the lowest-addressed byte),
// as they travel on the wire and as the plug-in hands them out.
#pragma once

#include <atomic>
#include <cstdint>

struct iUpdateCfg;

constexpr uint32_t kMaxServerCandidates = 32;

// The candidate list, owned by the caller, who zero-fills it before use.
struct ServerCandidates {
    uint32_t address[kMaxServerCandidates];
    uint32_t rtt[kMaxServerCandidates];  // round-trip time in ms; kNoAnswer = never answered
    uint32_t count;
};

// UDP port of the servers' probe responders.
constexpr uint16_t kProbePort = 10874;
// Round-trip time of a candidate that did not answer.
constexpr uint32_t kNoAnswer = 0xFFFFFFFFu;
// ProbeServers' result when no UDP socket could be made.
constexpr uint32_t kProbeNoSocket = 0xFFFFFFFFu;
// The probe waits this long for answers after the last datagram went out.
constexpr uint32_t kProbeWaitMs = 2000;
// Every candidate within this margin of the fastest one may be picked.
constexpr uint32_t kEligibleMarginMs = 100;

// The update run's entry: reads the plug-in's "ftp address" (and its "ftpip" keys when
// needed), watches the process-wide StopFlag, fills `list` and returns the chosen address,
// or 0 when none could be determined. `list.count` ends as the number of candidates (0 when
// the "ftp address" was itself a literal address).
uint32_t SelectUpdateServer(ServerCandidates& list);

// The same with every input explicit. `addressText` may be null or empty (no name to
// resolve); `cfg` may be null (no plug-in addresses).
uint32_t SelectUpdateServer(const char* addressText, iUpdateCfg* cfg, const std::atomic<int32_t>* stopFlag,
                            ServerCandidates& list);

// Sends one probe datagram to port kProbePort of each of the `count` addresses, then waits
// up to kProbeWaitMs (less once *stopFlag turns non-zero) for 8-byte answers, and fills
// `rtt` with each candidate's time (kNoAnswer when it never answered). Returns the address
// with the smallest time (the earlier entry on a tie), 0 when nobody answered or count is 0
// or an array is missing, kProbeNoSocket when no UDP socket could be made (then `rtt` is
// left untouched).
uint32_t ProbeServers(uint32_t* rtt, const uint32_t* address, uint32_t count, const std::atomic<int32_t>* stopFlag);
