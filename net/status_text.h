// Status lines and message texts that carry a name or a list: they are shortened to fit
// their limit (ShowStatus drops lines over kStatusMaxLength bytes) instead of being lost or
// overrunning a buffer.
#pragma once

#include <cstddef>
#include <string>

// A downloaded file that is not what it claims to be (a pack without its member, a body
// larger than the file can be).
constexpr const char* kTextBadDownload = "下载的文件[%s]数据异常！！！";

// `text` cut to at most `maxBytes` bytes at a character boundary (GBK double-byte
// characters stay whole); a cut text ends in "...".
std::string FitText(const std::string& text, size_t maxBytes);

// `format` with its single "%s" replaced by `name`, the name shortened so that the whole
// line is at most `maxBytes` bytes (kStatusMaxLength by default).
std::string FormatWithName(const char* format, const std::string& name, size_t maxBytes = 0);

// ShowStatus of FormatWithName(format, name).
void ShowStatusWithName(const char* format, const std::string& name);
