#include "engine/md5.h"

std::string Md5Text(const void*, size_t) { return std::string(); }  // filled in next
