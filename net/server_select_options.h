// What SelectUpdateServer takes from its surroundings, as one value so tests can replace it:
// the local address file, the built-in fallback servers, the probe's wait and the random
// source of the pick.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/server_select.h"

constexpr const char* kUpipFileName = "upip.inf";
constexpr uint32_t kFallbackServerCount = 2;

struct ServerSelectOptions {
    const char* upipPath = kUpipFileName;
    // Network byte order; set from the build's fallback setting by DefaultServerSelectOptions.
    uint32_t fallback[kFallbackServerCount] = {};
    uint32_t probeWaitMs = kProbeWaitMs;
    uint32_t (*random)() = nullptr;
};

// The options of the product: "upip.inf" in the current directory, the build's fallback
// servers, the full probe wait and a seeded random generator.
ServerSelectOptions DefaultServerSelectOptions();

uint32_t SelectUpdateServerWith(const char* addressText, iUpdateCfg* cfg, const std::atomic<int32_t>* stopFlag,
                                ServerCandidates& list, const ServerSelectOptions& options);

// The text of the build's fallback servers ("a.b.c.d a.b.c.d"), for messages and tests.
const char* FallbackServerText();
