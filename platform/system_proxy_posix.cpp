#include "platform/system_proxy.h"

namespace platform {

// Other systems have no such setting; libcurl reads the proxy environment variables there.
SystemProxySettings ReadSystemProxySettings() { return SystemProxySettings(); }

}  // namespace platform
