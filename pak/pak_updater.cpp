#include "pak/pak_updater.h"

struct PakReplacement {};

PakUpdater::PakUpdater() = default;
PakUpdater::~PakUpdater() { Reset(); }
int PakUpdater::OpenOrCreate(const char*, int) { return 0; }
int PakUpdater::AddFile(const char*, const char*) { return 0; }
int PakUpdater::AddBuffer(const char*, const void*, uint32_t) { return 0; }
int PakUpdater::Rebuild() { return 1; }
void PakUpdater::Reset() { queue_.clear(); pack_.Close(); packPath_.clear(); }
