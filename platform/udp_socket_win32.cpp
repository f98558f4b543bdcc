// Winsock implementation of the UDP wrapper.
#include "platform/udp_socket.h"

#include <winsock2.h>

#include <cstring>

namespace platform {
namespace {

// Winsock 2.2: present on every Windows version this build targets.
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

SOCKET ToSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

}  // namespace

NetworkUse::NetworkUse() {
    WSADATA data;
    ok_ = ::WSAStartup(kWinsockVersion, &data) == 0;
}

NetworkUse::~NetworkUse() {
    if (ok_) ::WSACleanup();
}

std::vector<uint32_t> ResolveIpv4(const char* hostName) {
    std::vector<uint32_t> addresses;
    if (hostName == nullptr || hostName[0] == '\0') return addresses;
    // The answer lives in Winsock's per-thread buffer until this thread's next call.
    const hostent* answer = ::gethostbyname(hostName);
    if (answer == nullptr || answer->h_addrtype != AF_INET || answer->h_length != sizeof(uint32_t)) {
        return addresses;
    }
    for (char** entry = answer->h_addr_list; *entry != nullptr; ++entry) {
        uint32_t address;
        std::memcpy(&address, *entry, sizeof(address));
        addresses.push_back(address);
    }
    return addresses;
}

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Open() {
    Close();
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);  // protocol 0: the default for datagrams (UDP)
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<intptr_t>(s);
    return true;
}

bool UdpSocket::IsOpen() const { return ToSocket(handle_) != INVALID_SOCKET; }

void UdpSocket::Close() {
    if (IsOpen()) ::closesocket(ToSocket(handle_));
    handle_ = static_cast<intptr_t>(INVALID_SOCKET);
}

bool UdpSocket::Bind(uint32_t address, uint16_t port) {
    if (!IsOpen()) return false;
    sockaddr_in sa = MakeAddress(address, port);
    return ::bind(ToSocket(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0;
}

uint16_t UdpSocket::LocalPort() const {
    if (!IsOpen()) return 0;
    sockaddr_in sa;
    int length = sizeof(sa);
    if (::getsockname(ToSocket(handle_), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool UdpSocket::SetNonBlocking() {
    if (!IsOpen()) return false;
    u_long nonBlocking = 1;
    return ::ioctlsocket(ToSocket(handle_), FIONBIO, &nonBlocking) == 0;
}

int UdpSocket::SendTo(const void* data, size_t size, uint32_t address, uint16_t port) {
    if (!IsOpen()) return -1;
    sockaddr_in sa = MakeAddress(address, port);
    // Flags 0: a plain datagram.
    int sent = ::sendto(ToSocket(handle_), static_cast<const char*>(data), static_cast<int>(size), 0,
                        reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
    return sent == SOCKET_ERROR ? -1 : sent;
}

int UdpSocket::ReceiveFrom(void* buffer, size_t capacity, uint32_t* fromAddress, uint16_t* fromPort) {
    if (!IsOpen()) return -1;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof(sa));
    int length = sizeof(sa);
    // Flags 0: take the datagram off the queue.
    int got = ::recvfrom(ToSocket(handle_), static_cast<char*>(buffer), static_cast<int>(capacity), 0,
                         reinterpret_cast<sockaddr*>(&sa), &length);
    if (got == SOCKET_ERROR) return -1;
    if (fromAddress) *fromAddress = sa.sin_addr.s_addr;
    if (fromPort) *fromPort = ntohs(sa.sin_port);
    return got;
}

WaitResult UdpSocket::WaitReadable(uint32_t timeoutMicroseconds) {
    if (!IsOpen()) return WaitResult::Failed;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(ToSocket(handle_), &readable);
    timeval timeout;
    timeout.tv_sec = static_cast<long>(timeoutMicroseconds / 1000000u);
    timeout.tv_usec = static_cast<long>(timeoutMicroseconds % 1000000u);
    // First argument ignored by Winsock; no write or error sets.
    int ready = ::select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) return WaitResult::Failed;
    return ready > 0 ? WaitResult::Readable : WaitResult::TimedOut;
}

}  // namespace platform
