// paktool block encode / block decode: codes one pack block with one compression method,
// the way the pack writers and readers do.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "pak/pak_codec.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/method_arg.h"
#include "tools/paktool/pack_cli.h"
#include "tools/paktool/paktool_command.h"

namespace {

constexpr const char* kMethodOption = "-m";
constexpr const char* kPlainSizeOption = "-n";

constexpr const char* kMethodHelp = "the block's method: -2/lzma, -1/zlib, 0/stored, 1/lha, 2/lzo";
const std::vector<OptionDef> kEncodeOptions = {{kMethodOption, "--method", true, false, kMethodHelp}};
const std::vector<OptionDef> kDecodeOptions = {
    {kMethodOption, "--method", true, false, kMethodHelp},
    {kPlainSizeOption, "--plain-size", true, false, "the size of the decoded block, 0 to 65536"}};

constexpr size_t kInPath = 0;
constexpr size_t kOutPath = 1;
constexpr size_t kPathCount = 2;

// Parses the options and the IN OUT paths, and the method every block command needs.
int ParseBlockArgs(int argc, char** argv, const std::vector<OptionDef>& optionDefs, ParsedArgs& args,
                   int32_t& method) {
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, kPathCount); rc != kExitOk) return rc;
    const char* methodText = args.Value(kMethodOption);
    if (methodText == nullptr) return FailUsage("option -m METHOD is required");
    return ParseMethodArg(methodText, method);
}

int RunBlockEncode(int argc, char** argv) {
    ParsedArgs args;
    int32_t method = 0;
    if (int rc = ParseBlockArgs(argc, argv, kEncodeOptions, args, method); rc != kExitOk) return rc;
    const char* inPath = args.Positional()[kInPath];
    const char* outPath = args.Positional()[kOutPath];

    std::vector<uint8_t> plain;
    plain.reserve(1);  // a non-null buffer even for an empty block
    if (int rc = ReadWholeFile(inPath, kPakBlockSize, "input", plain); rc != kExitOk) return rc;
    PakCodecPtr codec;
    if (int rc = OpenPakCodec(method, codec); rc != kExitOk) return rc;

    std::vector<uint8_t> packed(kPakPackedCapacity);
    const uint32_t plainSize = static_cast<uint32_t>(plain.size());
    PakCodecJob job{plain.data(), plainSize, packed.data(), kPakPackedCapacity};
    if (!codec->Encode(job)) {
        return Fail(kExitFailed, "method %d (%s) could not code the block (pack writers store such a block plain)",
                    static_cast<int>(method), MethodName(method));
    }
    if (job.packedSize > kPakPackedCapacity) {
        return Fail(kExitFailed, "method %d (%s) reported %" PRIu32 " packed bytes, more than the %" PRIu32 " capacity",
                    static_cast<int>(method), MethodName(method), job.packedSize, kPakPackedCapacity);
    }
    if (int rc = WriteWholeFile(outPath, packed.data(), job.packedSize); rc != kExitOk) return rc;

    std::printf("%" PRIu32 "\n", job.packedSize);
    if (method != kPakMethodStored && job.packedSize >= plainSize) {
        Note("the block does not shrink (%" PRIu32 " packed, %" PRIu32 " plain bytes); pack writers store such a block plain",
             job.packedSize, plainSize);
    }
    return kExitOk;
}

int RunBlockDecode(int argc, char** argv) {
    ParsedArgs args;
    int32_t method = 0;
    if (int rc = ParseBlockArgs(argc, argv, kDecodeOptions, args, method); rc != kExitOk) return rc;
    const char* sizeText = args.Value(kPlainSizeOption);
    if (sizeText == nullptr) return FailUsage("option -n PLAINSIZE is required");
    int64_t expected = 0;
    if (int rc = ParseIntOption(kPlainSizeOption, sizeText, 0, kPakBlockSize, expected); rc != kExitOk)
        return rc;
    const char* inPath = args.Positional()[kInPath];
    const char* outPath = args.Positional()[kOutPath];

    std::vector<uint8_t> packed;
    packed.reserve(1);
    if (int rc = ReadWholeFile(inPath, kPakPackedCapacity, "packed input", packed); rc != kExitOk) return rc;
    PakCodecPtr codec;
    if (int rc = OpenPakCodec(method, codec); rc != kExitOk) return rc;

    const uint32_t plainSize = static_cast<uint32_t>(expected);
    std::vector<uint8_t> plain(plainSize > 0 ? plainSize : 1);
    PakCodecJob job{plain.data(), plainSize, packed.data(), static_cast<uint32_t>(packed.size())};
    bool decoded = false;
    std::string reason;
    {
        // A codec's own complaint (method 1 shows "Lha Decode: Bad table" as a message box)
        // becomes part of the command's single error line.
        LibraryMessages messages;
        decoded = codec->Decode(job);
        reason = messages.Reason("");
    }
    if (!decoded) {
        return Fail(kExitFailed, "damaged block: method %d (%s) cannot decode '%s' to %" PRIu32 " bytes%s%s",
                    static_cast<int>(method), MethodName(method), inPath, plainSize, reason.empty() ? "" : ": ",
                    reason.c_str());
    }
    if (job.plainSize != plainSize) {
        return Fail(kExitFailed, "damaged block: '%s' decodes to %" PRIu32 " bytes, not %" PRIu32, inPath,
                    job.plainSize, plainSize);
    }
    return WriteWholeFile(outPath, plain.data(), plainSize);
}

const PaktoolCommandRegistration kEncodeRegistration{
    {"block encode", "-m METHOD IN OUT",
     "Codes the file IN (at most 65536 bytes) as one block into OUT and prints the packed size.",
     RunBlockEncode}};
const PaktoolCommandRegistration kDecodeRegistration{
    {"block decode", "-m METHOD -n PLAINSIZE IN OUT",
     "Decodes the block in IN to its PLAINSIZE (at most 65536) bytes into OUT.", RunBlockDecode}};

}  // namespace
