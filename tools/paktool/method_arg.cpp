#include "tools/paktool/method_arg.h"

#include <cstring>

#include "tools/paktool/cli_util.h"

namespace {

struct MethodNameEntry {
    int32_t method;
    const char* name;
};

constexpr MethodNameEntry kMethodNames[] = {
    {kPakMethodLzma, "lzma"}, {kPakMethodZlib, "zlib"}, {kPakMethodStored, "stored"},
    {kPakMethodLha, "lha"},   {kPakMethodLzo, "lzo"},
};

constexpr const char* kUnknownMethodName = "?";
constexpr const char* kMethodChoices = "-2 lzma, -1 zlib, 0 stored, 1 lha, 2 lzo";

}  // namespace

const char* MethodName(int32_t method) {
    for (const MethodNameEntry& entry : kMethodNames) {
        if (entry.method == method) return entry.name;
    }
    return kUnknownMethodName;
}

int ParseMethodArg(const char* text, int32_t& method) {
    for (const MethodNameEntry& entry : kMethodNames) {
        if (std::strcmp(entry.name, text) == 0) {
            method = entry.method;
            return kExitOk;
        }
    }
    int64_t number = 0;
    if (ParseInt64(text, kPakMethodLzma, kPakMethodLzo, number)) {
        method = static_cast<int32_t>(number);
        return kExitOk;
    }
    return Fail(kExitUsage, "unknown method '%s' (methods: %s)", text, kMethodChoices);
}

int OpenPakCodec(int32_t method, PakCodecPtr& codec) {
    codec = PakCodecPtr(CreatePakCodec(method), PakCodecDeleter(method));
    if (codec) return kExitOk;
    return Fail(kExitFailed, "method %d (%s) is not available in this build", static_cast<int>(method),
                MethodName(method));
}
