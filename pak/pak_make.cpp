#include "pak/pak_make.h"

PakMake::~PakMake() {}
int PakMake::Make(const char*, const char*, int32_t) { return 0; }
int PakMake::LoadList(const char*) { return 0; }
int PakMake::Pack(const char*) { return 0; }
