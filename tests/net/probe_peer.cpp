#include "tests/net/probe_peer.h"

#include <cstring>
#include <random>
#include <vector>

#include "net/server_select.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kPollMicroseconds = 5000;
constexpr size_t kPeerBufferSize = 2048;

uint32_t FromBytes(unsigned a, unsigned b, unsigned c, unsigned d) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

}  // namespace

uint32_t TestLoopbackAddress(unsigned n) {
    static const unsigned processTag = std::random_device{}();
    return FromBytes(127, 100 + (processTag & 0x3F), 1 + ((processTag >> 6) % 250), n);
}

ProbePeer::ProbePeer(uint32_t address, ProbePeerBehaviour behaviour) : behaviour_(behaviour) {
    if (!network_.ok() || !socket_.Open() || !socket_.Bind(address, kProbePort)) return;
    if (behaviour_.replyFrom != 0 && (!replySocket_.Open() || !replySocket_.Bind(behaviour_.replyFrom, 0))) return;
    ok_ = true;
    thread_ = std::thread([this] { Serve(); });
}

ProbePeer::~ProbePeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ProbePeer::Serve() {
    std::vector<uint8_t> buffer(kPeerBufferSize);
    platform::UdpSocket& out = behaviour_.replyFrom != 0 ? replySocket_ : socket_;
    while (!stop_) {
        if (socket_.WaitReadable(kPollMicroseconds) != platform::WaitResult::Readable) continue;
        uint32_t from = 0;
        uint16_t port = 0;
        if (socket_.ReceiveFrom(buffer.data(), buffer.size(), &from, &port) < 0) continue;
        if (behaviour_.delayMs > 0) platform::SleepMs(behaviour_.delayMs);
        out.SendTo(buffer.data(), behaviour_.replySize, from, port);
        ++answers_;
    }
}
