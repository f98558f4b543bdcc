#include "pak/pak_coding_threads.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

constexpr unsigned kOnePerCore = 0;

std::atomic<unsigned> g_codingThreads{kOnePerCore};

unsigned Clamp(unsigned threads) { return std::min(std::max(threads, 1u), kPakMaxCodingThreads); }

}  // namespace

unsigned PakCodingThreads() {
    const unsigned set = g_codingThreads.load();
    // hardware_concurrency() may answer 0 when the count is unknown: one thread then.
    return Clamp(set != kOnePerCore ? set : std::thread::hardware_concurrency());
}

void SetPakCodingThreads(unsigned threads) { g_codingThreads.store(threads == kOnePerCore ? kOnePerCore : Clamp(threads)); }
