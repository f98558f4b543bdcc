// What a build with a publisher key does before it uses a fetched file: fetch the detached
// "NAME.sig" beside it and check the file's bytes and requested name against it. Every
// refusal shows one status line: the stage's text with the name, and why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/signature.h"

class ProgressSink;
class Transfer;

// The most bytes a signature file is read with (a real one is far smaller).
constexpr size_t kMaxSignatureFileBytes = 4096;

// The signature file of `remotePath` fetched through `transfer` (no progress is shown for
// it); empty when it could not be fetched, which the checks take as a missing signature.
std::vector<uint8_t> FetchSignatureFile(Transfer& transfer, const std::string& remotePath);

// The signature file beside the local file `path` ("PATH.sig"); empty when there is none.
std::vector<uint8_t> ReadLocalSignatureFile(const std::string& path);

// Shows the refusal line: `format` (one "%s" for `name`) followed by why.
void ShowSignatureRefusal(const char* format, const std::string& name, SignatureCheck why);

// True when `sig` is a valid signature by `key` of the bytes (or of the file at `path`)
// requested as `name`; *number (may be null) then holds its publication number. Otherwise
// false after the refusal line.
bool AcceptSignedBytes(const PublisherKey& key, const std::vector<uint8_t>& sig, const uint8_t* bytes, size_t size,
                       const std::string& name, const char* refusalFormat, uint64_t* number);
bool AcceptSignedFile(const PublisherKey& key, const std::vector<uint8_t>& sig, const std::string& path,
                      const std::string& name, const char* refusalFormat, uint64_t* number);

// Fetches the update list container `remotePath` as it lies on the server and its
// signature. With a valid signature, `content` holds what a memory download of it gives (the
// member named like the file, or the bytes as they are) and *number the publication: 0.
// UPD_E_FETCH when the container could not be fetched (interrupted included); UPD_E_DATA
// after a refusal line. No temporary file is left behind.
int32_t FetchSignedList(const PublisherKey& key, Transfer& transfer, const std::string& remotePath,
                        const char* refusalFormat, ProgressSink* sink, std::vector<uint8_t>& content,
                        uint64_t* number);
