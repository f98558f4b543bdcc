// IPv4 UDP datagrams and host name resolution: Winsock on Windows, BSD sockets elsewhere.
// Used by the update server probe and by paktool's probe responder.
//
// Addresses are IPv4 in network byte order (as inet_addr gives them); ports are plain
// host-order numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Keeps the socket library started for its lifetime (WSAStartup / WSACleanup; nothing to do
// on POSIX). Sockets and name resolution need one alive.
class NetworkUse {
public:
    NetworkUse();
    ~NetworkUse();
    NetworkUse(const NetworkUse&) = delete;
    NetworkUse& operator=(const NetworkUse&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// The IPv4 addresses a host name resolves to, in the answer's order; empty when the name
// does not resolve. Needs a NetworkUse alive.
std::vector<uint32_t> ResolveIpv4(const char* hostName);

// Result of UdpSocket::WaitReadable.
enum class WaitResult { Readable, TimedOut, Failed };

// One IPv4 datagram socket, closed with the object.
class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Makes the socket (AF_INET, SOCK_DGRAM, protocol 0). False when none could be made.
    bool Open();
    bool IsOpen() const;
    void Close();

    // Binds to `address`:`port` (port 0 = any free port).
    bool Bind(uint32_t address, uint16_t port);
    // The port the socket is bound to, 0 when unknown.
    uint16_t LocalPort() const;
    // Non-blocking mode: receiving with nothing queued fails at once instead of waiting.
    bool SetNonBlocking();

    // Sends one datagram; returns the bytes sent or -1.
    int SendTo(const void* data, size_t size, uint32_t address, uint16_t port);
    // Receives one datagram (cut at `capacity`); returns its length or -1 (nothing queued,
    // or a network error such as an unreachable peer reported for an earlier send).
    int ReceiveFrom(void* buffer, size_t capacity, uint32_t* fromAddress, uint16_t* fromPort);
    // Waits up to `timeoutMicroseconds` for a datagram to be readable (select).
    WaitResult WaitReadable(uint32_t timeoutMicroseconds);

private:
    intptr_t handle_ = -1;
};

}  // namespace platform
