#include "app/startup_instruction.h"

#include <vector>

#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_paths.h"
#include "platform/platform.h"

namespace {

constexpr const char* kRootPath = ".";
constexpr const char* kWorkPath = "\\";
constexpr int kAnyPackVersion = 0;

}  // namespace

void PrepareInstallationPackAccess() {
    SetRootPath(kRootPath);
    SetWorkPath(kWorkPath);
    SetPakOpenMode(kPakOpenDiskFirst);
}

StartupInstruction ConsumeStartupInstruction() {
    PrepareInstallationPackAccess();
    PakList packs;
    packs.Open(kPatchPackName, kAnyPackVersion);  // without the pack, only a loose file counts

    // Zero-filled, so the text always ends in a NUL.
    std::vector<char> buffer(kStartupInstructionBufferSize, '\0');
    PakFile file;
    if (!file.Open(kStartupInstructionName)) return StartupInstruction();
    uint32_t size = file.GetSize();
    if (size >= kStartupInstructionBufferSize) return StartupInstruction();
    bool fromDisk = file.PackIndex() < 0;
    bool complete = file.Read(buffer.data(), size) == size;
    file.Close();
    // Consumed only once read whole: a file that could not be read is not thrown away.
    if (fromDisk && complete) platform::RemoveFile(kStartupInstructionName);
    if (!complete) return StartupInstruction();
    return ParseStartupInstruction(buffer.data(), buffer.size());
}
