#include "net/status_text.h"

#include <cstring>

#include "common/gbk.h"
#include "common/show_status.h"

namespace {
constexpr const char kEllipsis[] = "...";
constexpr size_t kEllipsisLength = sizeof(kEllipsis) - 1;
constexpr const char kPlaceholder[] = "%s";
}  // namespace

std::string FitText(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    if (maxBytes < kEllipsisLength) return std::string();
    const size_t room = maxBytes - kEllipsisLength;
    size_t end = 0;
    while (end < text.size()) {
        const size_t step = gbk::CharLength(text.data(), end, text.size());
        if (end + step > room) break;
        end += step;
    }
    return text.substr(0, end) + kEllipsis;
}

std::string FormatWithName(const char* format, const std::string& name, size_t maxBytes) {
    if (maxBytes == 0) maxBytes = kStatusMaxLength;
    const std::string pattern = format != nullptr ? format : "";
    const size_t at = pattern.find(kPlaceholder);
    if (at == std::string::npos) return FitText(pattern, maxBytes);
    const std::string before = pattern.substr(0, at);
    const std::string after = pattern.substr(at + std::strlen(kPlaceholder));
    const size_t fixed = before.size() + after.size();
    if (fixed >= maxBytes) return FitText(before + after, maxBytes);
    return before + FitText(name, maxBytes - fixed) + after;
}

void ShowStatusWithName(const char* format, const std::string& name) {
    ShowStatus(FormatWithName(format, name).c_str());
}
