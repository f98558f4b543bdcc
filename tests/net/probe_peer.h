// Probe responders for tests: each answers datagrams on port 10874 of one loopback address
// of this machine after a chosen delay. The addresses are drawn from 127/8 per test process,
// so parallel test processes never contend for one.
//
// A responder runs on a thread of the test itself, except where the environment names the
// command port of tests/net/probe_peers.py (KVO_PROBE_PEER_CONTROL): then that server on
// the Linux side makes it. Tests under Wine need it, because Wine answers from 127.0.0.1
// whatever loopback address a socket was bound to.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/udp_socket.h"

struct ProbePeerBehaviour {
    uint32_t delayMs = 0;
    // Bytes of the answer: the datagram received, cut or padded to this size.
    uint32_t replySize = 8;
    // Answer from this address (its own socket) instead of the peer's: a stranger's answer.
    uint32_t replyFrom = 0;
};

// A loopback address of this test process (network byte order), distinct for each `n`
// (1..250).
uint32_t TestLoopbackAddress(unsigned n);

// Whether responders can be made here: always on POSIX; on Windows only through the
// server (a Wine test run without it skips the tests that need responders).
bool ProbePeersAvailable();
constexpr const char* kNoProbePeers =
    "responders need tests/net/probe_peers.py under Wine (KVO_PROBE_PEER_CONTROL; tests/e2e/probe.sh)";

class ProbePeer {
public:
    ProbePeer(uint32_t address, ProbePeerBehaviour behaviour);
    ~ProbePeer();
    ProbePeer(const ProbePeer&) = delete;
    ProbePeer& operator=(const ProbePeer&) = delete;
    // False when the address could not be bound (the test cannot run).
    bool ok() const { return ok_; }
    uint32_t answers() const;

private:
    void Serve();
    bool OpenRemote(uint32_t address);

    platform::NetworkUse network_;
    platform::UdpSocket socket_;
    platform::UdpSocket replySocket_;
    ProbePeerBehaviour behaviour_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<uint32_t> answers_{0};
    std::thread thread_;
    int remoteId_ = 0;  // the server's number for this responder; 0: in-process
};
