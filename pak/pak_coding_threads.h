// How many threads code the blocks of new pack content.
#pragma once

constexpr unsigned kPakMaxCodingThreads = 8;

// The count set by SetPakCodingThreads, or else one per core, at most kPakMaxCodingThreads
// and at least 1.
unsigned PakCodingThreads();

// Fixes the count for every pack written or rebuilt afterwards (clamped to 1..8); 0 goes
// back to one per core. For benchmarks, tests and tools that want a set count.
void SetPakCodingThreads(unsigned threads);
