// Names read from a game folder become the GBK names players' installations read. A Linux
// tree often holds UTF-8 names: published as they are, every player would read them as
// other (GBK) characters, so they are refused unless converted on request.
#pragma once

#include <string>

// How the names of a game folder are written.
enum class NameEncoding {
    kGbk,   // as players read them; a name that is UTF-8 or no GBK text is refused
    kUtf8,  // UTF-8, converted to GBK; a name with no GBK form is refused
};

// The option that asks for kUtf8.
constexpr const char* kUtf8NamesOption = "--utf8-names";

// True when this build can convert UTF-8 names (not on Windows, whose names come in the
// system code page).
bool Utf8NamesSupported();

// The GBK form of `raw`, one part of a name (or a whole line of .unpack) read from the game
// folder at `path`. kExitOk, or the printed error (kExitFailed) naming `path`.
int GameNameToGbk(const std::string& raw, const std::string& path, NameEncoding encoding, std::string& out);

// Text checks, byte for byte.
bool IsGbkText(const std::string& text);
bool IsUtf8Text(const std::string& text);
bool IsAsciiText(const std::string& text);

// `utf8` converted to GBK; false when some character has no GBK form or the build cannot
// convert.
bool ConvertUtf8ToGbk(const std::string& utf8, std::string& gbk);
