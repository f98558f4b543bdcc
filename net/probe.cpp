#include "net/probe.h"

#include <map>

#include "net/server_select.h"
#include "platform/platform.h"
#include "platform/udp_socket.h"

namespace {

void PutLittleEndian32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Stopped(const std::atomic<int32_t>* stopFlag) { return stopFlag != nullptr && stopFlag->load() != 0; }

// Milliseconds left until `deadline` on the wrapping millisecond clock; 0 once it passed.
uint32_t MsUntil(uint32_t deadline) {
    const int32_t left = static_cast<int32_t>(deadline - platform::TickCountMs());
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

}  // namespace

uint32_t ProbeServersFor(uint32_t* rtt, const uint32_t* address, uint32_t count,
                         const std::atomic<int32_t>* stopFlag, uint32_t waitMs) {
    if (count == 0 || rtt == nullptr || address == nullptr) return 0;
    platform::NetworkUse network;
    platform::UdpSocket socket;
    if (!network.ok() || !socket.Open()) return kProbeNoSocket;
    for (uint32_t i = 0; i < count; ++i) rtt[i] = kNoAnswer;
    socket.SetNonBlocking();

    // Address -> index; a repeated address answers for its last entry.
    std::map<uint32_t, uint32_t> indexOf;
    uint8_t datagram[kProbeDatagramSize];
    PutLittleEndian32(datagram, kProbeMagic);
    uint32_t lastSent = 0;
    for (uint32_t i = 0; i < count; ++i) {
        indexOf[address[i]] = i;
        lastSent = platform::TickCountMs();
        PutLittleEndian32(datagram + 4, lastSent);
        socket.SendTo(datagram, sizeof(datagram), address[i], kProbePort);  // a failed send is no answer
    }

    const uint32_t deadline = platform::TickCountMs() + waitMs;
    uint8_t reply[kProbeReceiveBufferSize];
    for (uint32_t left; (left = MsUntil(deadline)) > 0 && !Stopped(stopFlag);) {
        const uint32_t waitMicroseconds = left * 1000u < kProbeRoundMicroseconds ? left * 1000u : kProbeRoundMicroseconds;
        const platform::WaitResult ready = socket.WaitReadable(waitMicroseconds);
        if (ready == platform::WaitResult::Failed) {
            platform::SleepMs(1);  // never spin on a socket that cannot be waited on
            continue;
        }
        if (ready != platform::WaitResult::Readable) continue;
        uint32_t from = 0;
        const int got = socket.ReceiveFrom(reply, sizeof(reply), &from, nullptr);
        if (got != static_cast<int>(kProbeDatagramSize)) continue;
        const auto found = indexOf.find(from);
        if (found == indexOf.end()) continue;
        rtt[found->second] = (platform::TickCountMs() - lastSent) / 2;
    }
    socket.Close();

    uint32_t best = 0;
    uint32_t bestTime = kNoAnswer;
    for (uint32_t i = 0; i < count; ++i) {
        if (rtt[i] < bestTime) {
            bestTime = rtt[i];
            best = address[i];
        }
    }
    return best;
}

uint32_t ProbeServers(uint32_t* rtt, const uint32_t* address, uint32_t count, const std::atomic<int32_t>* stopFlag) {
    return ProbeServersFor(rtt, address, count, stopFlag, kProbeWaitMs);
}
