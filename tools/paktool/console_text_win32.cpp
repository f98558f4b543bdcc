#include "tools/paktool/console_text.h"

void InitConsoleText() {}

std::string ConsoleText(const std::string& gbk) { return gbk; }
