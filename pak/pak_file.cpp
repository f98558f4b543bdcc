#include "pak/pak_file.h"

PakFile::~PakFile() { Close(); }
int PakFile::Open(const char*) { return 0; }
uint32_t PakFile::Read(void*, uint32_t) { return 0; }
uint32_t PakFile::Seek(int32_t, int) { return 0; }
uint32_t PakFile::GetSize() { return 0; }
void PakFile::Close() { disk_.Close(); packIndex_ = -1; }
