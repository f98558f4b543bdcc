#include "tests/net/probe_peer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "net/server_select.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kPollMicroseconds = 5000;
constexpr size_t kPeerBufferSize = 2048;
constexpr const char* kControlPortVariable = "KVO_PROBE_PEER_CONTROL";
constexpr uint32_t kControlReplyMicroseconds = 3000000;

uint32_t FromBytes(unsigned a, unsigned b, unsigned c, unsigned d) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

std::string Dotted(uint32_t address) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

uint16_t ControlPort() {
    const char* text = std::getenv(kControlPortVariable);
    const long port = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return port > 0 && port < 65536 ? static_cast<uint16_t>(port) : 0;
}

// One command to the responder server and its one-line answer ("" when none came).
std::string AskServer(const std::string& command) {
    platform::NetworkUse network;
    platform::UdpSocket socket;
    if (!network.ok() || !socket.Open()) return "";
    if (socket.SendTo(command.data(), command.size(), FromBytes(127, 0, 0, 1), ControlPort()) < 0) return "";
    if (socket.WaitReadable(kControlReplyMicroseconds) != platform::WaitResult::Readable) return "";
    char answer[128];
    const int got = socket.ReceiveFrom(answer, sizeof(answer) - 1, nullptr, nullptr);
    return got > 0 ? std::string(answer, static_cast<size_t>(got)) : "";
}

}  // namespace

uint32_t TestLoopbackAddress(unsigned n) {
    static const unsigned processTag = std::random_device{}();
    return FromBytes(127, 100 + (processTag & 0x3F), 1 + ((processTag >> 6) % 250), n);
}

bool ProbePeersAvailable() {
#ifdef _WIN32
    return ControlPort() != 0;
#else
    return true;
#endif
}

ProbePeer::ProbePeer(uint32_t address, ProbePeerBehaviour behaviour) : behaviour_(behaviour) {
    if (ControlPort() != 0) {
        ok_ = OpenRemote(address);
        return;
    }
    if (!network_.ok() || !socket_.Open() || !socket_.Bind(address, kProbePort)) return;
    if (behaviour_.replyFrom != 0 && (!replySocket_.Open() || !replySocket_.Bind(behaviour_.replyFrom, 0))) return;
    ok_ = true;
    thread_ = std::thread([this] { Serve(); });
}

bool ProbePeer::OpenRemote(uint32_t address) {
    const std::string answer =
        AskServer("open " + Dotted(address) + " " + std::to_string(behaviour_.delayMs) + " " +
                  std::to_string(behaviour_.replySize) + " " + Dotted(behaviour_.replyFrom));
    if (answer.compare(0, 3, "ok ") != 0) return false;
    remoteId_ = std::atoi(answer.c_str() + 3);
    return remoteId_ > 0;
}

ProbePeer::~ProbePeer() {
    if (remoteId_ > 0) AskServer("close " + std::to_string(remoteId_));
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

uint32_t ProbePeer::answers() const {
    if (remoteId_ > 0) return static_cast<uint32_t>(std::strtoul(AskServer("count " + std::to_string(remoteId_)).c_str(), nullptr, 10));
    return answers_.load();
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
