// Texts of the game's own encoding (GBK: the engine's status lines and messages, names
// read from packs and update lists) as the terminal shows them.
#pragma once

#include <string>

// Takes the terminal's encoding from the environment (LC_ALL, LC_CTYPE, LANG); call once
// at start-up, before anything is printed.
void InitConsoleText();

// `gbk` in the terminal's encoding: converted to UTF-8 on a UTF-8 terminal (a byte that is
// no GBK character becomes '?'); as it is everywhere else, and on Windows, whose console
// shows the system's own code page.
std::string ConsoleText(const std::string& gbk);
