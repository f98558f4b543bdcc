// The pack compression method as a command-line value, and the codec it names.
#pragma once

#include <cstdint>
#include <memory>

#include "pak/pak_codec.h"

// Parses a method given as its number (-2 .. 2) or its name (lzma, zlib, stored, lha, lzo).
// On failure prints the error line and returns kExitUsage.
int ParseMethodArg(const char* text, int32_t& method);

// The method's name for messages ("lzma"), or "?" for a number that names no method.
const char* MethodName(int32_t method);

// Owns a codec and gives it back to the pack library's factory.
class PakCodecDeleter {
public:
    explicit PakCodecDeleter(int32_t method = kPakMethodStored) : method_(method) {}
    void operator()(PakCodec* codec) const { DestroyPakCodec(codec, method_); }

private:
    int32_t method_;
};
using PakCodecPtr = std::unique_ptr<PakCodec, PakCodecDeleter>;

// The codec of `method`. When this build has none for it, prints
// "method N (name) is not available in this build" and returns kExitFailed.
int OpenPakCodec(int32_t method, PakCodecPtr& codec);
