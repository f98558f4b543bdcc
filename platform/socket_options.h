// Options of a connected (or connecting) TCP socket that a library made and hands over by
// its number: a Winsock SOCKET on Windows, a file descriptor elsewhere.
#pragma once

#include <cstdint>

namespace platform {

// Sets the socket's receive buffer (SO_RCVBUF) to `bytes`, which also bounds the window the
// line may fill ahead of the reader; false when the system refuses.
bool SetSocketReceiveBuffer(std::uintptr_t socket, uint32_t bytes);

}  // namespace platform
