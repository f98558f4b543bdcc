// The UDP probe of update servers (ProbeServers in net/server_select.h), with the length of
// its wait as a parameter so tests need not sit through the full two seconds.
#pragma once

#include <atomic>
#include <cstdint>

// The probe datagram: the magic, then the sender's millisecond clock, both little-endian.
constexpr uint32_t kProbeMagic = 0x9ABCDEF0u;
constexpr uint32_t kProbeDatagramSize = 8;
// Receive buffer of the probe; a longer datagram is cut, and only exactly 8 bytes count.
constexpr uint32_t kProbeReceiveBufferSize = 1024;
// The waiting loop sleeps in select for at most this long per round, so StopFlag and the
// deadline are seen within it without keeping a core busy.
constexpr uint32_t kProbeRoundMicroseconds = 10000;

// ProbeServers with a wait of `waitMs` after the last datagram was sent.
uint32_t ProbeServersFor(uint32_t* rtt, const uint32_t* address, uint32_t count,
                         const std::atomic<int32_t>* stopFlag, uint32_t waitMs);
