// The proxy the player set for the system's web access: on Windows the Internet options
// ("Use a proxy server", which the Settings app writes too), elsewhere none.
#pragma once

#include <string>

namespace platform {

struct SystemProxySettings {
    // As the system stores it: "host:port" for every scheme, or "scheme=host:port" entries
    // separated by ';'. Empty when no proxy is set or it is turned off.
    std::string servers;
    // Hosts reached directly, separated by ';': '*' wildcards, "<local>" for names without
    // a dot.
    std::string bypass;
};

SystemProxySettings ReadSystemProxySettings();

}  // namespace platform
