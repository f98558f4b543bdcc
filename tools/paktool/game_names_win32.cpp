// Windows hands the game folder's names over in the system code page: there is no UTF-8
// tree to convert.
#include "tools/paktool/game_names.h"

bool Utf8NamesSupported() { return false; }

bool ConvertUtf8ToGbk(const std::string&, std::string&) { return false; }
