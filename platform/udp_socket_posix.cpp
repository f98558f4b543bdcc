// BSD-socket implementation of the UDP wrapper.
#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

}  // namespace

NetworkUse::NetworkUse() : ok_(true) {}
NetworkUse::~NetworkUse() = default;

std::vector<uint32_t> ResolveIpv4(const char* hostName) {
    std::vector<uint32_t> addresses;
    if (hostName == nullptr || hostName[0] == '\0') return addresses;
    addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;  // one entry per address instead of one per socket type
    addrinfo* answer = nullptr;
    if (getaddrinfo(hostName, nullptr, &hints, &answer) != 0) return addresses;
    for (addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
        addresses.push_back(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    }
    freeaddrinfo(answer);
    return addresses;
}

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Open() {
    Close();
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool UdpSocket::IsOpen() const { return handle_ >= 0; }

void UdpSocket::Close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

bool UdpSocket::Bind(uint32_t address, uint16_t port) {
    if (!IsOpen()) return false;
    sockaddr_in sa = MakeAddress(address, port);
    return ::bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0;
}

uint16_t UdpSocket::LocalPort() const {
    if (!IsOpen()) return 0;
    sockaddr_in sa;
    socklen_t length = sizeof(sa);
    if (::getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool UdpSocket::SetNonBlocking() {
    if (!IsOpen()) return false;
    const int fd = static_cast<int>(handle_);
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int UdpSocket::SendTo(const void* data, size_t size, uint32_t address, uint16_t port) {
    if (!IsOpen()) return -1;
    sockaddr_in sa = MakeAddress(address, port);
    ssize_t sent = ::sendto(static_cast<int>(handle_), data, size, 0, reinterpret_cast<const sockaddr*>(&sa),
                            sizeof(sa));
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int UdpSocket::ReceiveFrom(void* buffer, size_t capacity, uint32_t* fromAddress, uint16_t* fromPort) {
    if (!IsOpen()) return -1;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof(sa));
    socklen_t length = sizeof(sa);
    ssize_t got = ::recvfrom(static_cast<int>(handle_), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&sa),
                             &length);
    if (got < 0) return -1;
    if (fromAddress) *fromAddress = sa.sin_addr.s_addr;
    if (fromPort) *fromPort = ntohs(sa.sin_port);
    return static_cast<int>(got);
}

WaitResult UdpSocket::WaitReadable(uint32_t timeoutMicroseconds) {
    if (!IsOpen()) return WaitResult::Failed;
    const int fd = static_cast<int>(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval timeout;
    timeout.tv_sec = static_cast<time_t>(timeoutMicroseconds / 1000000u);
    timeout.tv_usec = static_cast<suseconds_t>(timeoutMicroseconds % 1000000u);
    int ready = ::select(fd + 1, &readable, nullptr, nullptr, &timeout);
    if (ready < 0) return errno == EINTR ? WaitResult::TimedOut : WaitResult::Failed;
    return ready > 0 ? WaitResult::Readable : WaitResult::TimedOut;
}

}  // namespace platform
