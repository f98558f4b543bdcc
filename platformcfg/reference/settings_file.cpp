#include "platformcfg/reference/settings_file.h"

namespace {

constexpr char kCommentSemicolon = ';';
constexpr char kCommentHash = '#';
constexpr char kSectionOpen = '[';
constexpr char kSectionClose = ']';
constexpr char kAssign = '=';

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r";
    size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

}  // namespace

bool SettingsFile::Parse(const char* data, size_t size) {
    values_.clear();
    if (size > kSettingsMaxFileBytes) return false;
    std::string text(data, size);
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == kCommentSemicolon || line[0] == kCommentHash) continue;
        if (line[0] == kSectionOpen) {
            size_t close = line.find(kSectionClose);
            inSection = close != std::string::npos && Trim(line.substr(1, close - 1)) == kSettingsSection;
            continue;
        }
        size_t eq = line.find(kAssign);
        if (!inSection || eq == std::string::npos) continue;
        std::string key = Trim(line.substr(0, eq));
        if (!key.empty()) values_[key] = Trim(line.substr(eq + 1));
    }
    return true;
}

const std::string* SettingsFile::Find(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}
