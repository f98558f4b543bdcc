#include "platform/socket_options.h"

#include <sys/socket.h>

namespace platform {

bool SetSocketReceiveBuffer(std::uintptr_t socket, uint32_t bytes) {
    const int size = static_cast<int>(bytes);
    return ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &size, sizeof(size)) == 0;
}

}  // namespace platform
