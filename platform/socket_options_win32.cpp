#include "platform/socket_options.h"

#include <winsock2.h>

namespace platform {

bool SetSocketReceiveBuffer(std::uintptr_t socket, uint32_t bytes) {
    const int size = static_cast<int>(bytes);
    return ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
                        sizeof(size)) == 0;
}

}  // namespace platform
