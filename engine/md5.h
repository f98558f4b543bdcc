// MD5 digests (RFC 1321) of in-memory contents, in the 32-character lowercase text form
// the manifests carry.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kMd5TextLength = 32;

// The digest text of exactly `length` bytes at `bytes` (any length, including 0).
std::string Md5Text(const void* bytes, size_t length);
// The same text for the file at `path`, read in blocks so a large file needs no buffer of
// its size; false when it cannot be opened or read to its end.
bool Md5FileText(const char* path, std::string* text);
