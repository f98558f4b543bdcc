#include "app/edition.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/startup_instruction.h"
#include "app/startup_rules.h"
#include "common/gbk.h"
#include "pak/pak_file.h"
#include "pak/pak_list.h"
#include "pak/pak_update_task.h"

namespace {

constexpr const char* kMark1024 = "1024";
constexpr const char* kMarkClassic = "经典";  // GBK at run time
constexpr int kAnyPackVersion = 0;
constexpr int kMayNotCreate = 0;
constexpr size_t kQuestionBytes = 512;

// True when `mark` starts at a character start after the first character.
bool HasMarkAfterStart(const char* text, size_t size, const char* mark) {
    const size_t markSize = std::strlen(mark);
    size_t i = gbk::CharLength(text, 0, size);
    for (; i + markSize <= size; i += gbk::CharLength(text, i, size)) {
        if (std::memcmp(text + i, mark, markSize) == 0) return true;
    }
    return false;
}

}  // namespace

int32_t EditionOfWord(const char* bytes, size_t size) {
    if (bytes == nullptr) return kEdition800;
    const size_t limit = std::min(size, kEditionWordBufferSize);
    const size_t length = static_cast<size_t>(std::find(bytes, bytes + limit, '\0') - bytes);
    if (length == 0) return kEdition800;
    if (HasMarkAfterStart(bytes, length, kMark1024)) return kEdition1024;
    if (HasMarkAfterStart(bytes, length, kMarkClassic)) return kEditionClassic;
    return kEdition800;
}

int32_t GetEdition() {
    PrepareInstallationPackAccess();
    PakList packs;
    if (!packs.Open(kPatchPackName, kAnyPackVersion)) return kEditionNone;
    std::vector<char> word(kEditionWordBufferSize, '\0');
    PakFile file;
    if (file.Open(kStartupInstructionName)) {
        // A longer file is cut: only its first bytes name the edition.
        const uint32_t size = std::min<uint32_t>(file.GetSize(), static_cast<uint32_t>(word.size()));
        file.Read(word.data(), size);
        file.Close();
    }
    return EditionOfWord(word.data(), word.size());
}

int32_t SwitchTarget(int32_t edition) { return edition == kEdition1024 ? kEdition800 : kEdition1024; }

std::string EditionQuestion(int32_t edition) {
    char text[kQuestionBytes];
    std::snprintf(text, sizeof(text), kEditionQuestionFormat, static_cast<int>(edition),
                  static_cast<int>(SwitchTarget(edition)));
    return text;
}

bool SwitchEdition(int32_t edition, bool barFull, EditionSwitchUi& ui) {
    // Destroyed on every way out, which closes the pack.
    std::unique_ptr<PakUpdateTask> task = CreatePakUpdateTask();
    return SwitchEdition(edition, barFull, ui, *task);
}

bool SwitchEdition(int32_t edition, bool barFull, EditionSwitchUi& ui, PakUpdateTask& task) {
    if (!barFull) {
        ui.Box(kTextSwitchStillUpdating);
        return false;
    }
    if (edition == kEditionClassic) {
        ui.Box(kTextSwitchClassic);
        return false;
    }
    if (!task.OpenOrCreate(kPatchPackName, kMayNotCreate)) {
        ui.Box(kTextSwitchCannotOpen);
        return false;
    }
    const char* word = edition == kEdition1024 ? kEditionWord800 : kEditionWord1024;
    if (!task.AddBuffer(kStartupInstructionName, word, static_cast<uint32_t>(std::strlen(word)))) {
        ui.Box(kTextSwitchCannotAdd);
        task.Rebuild(nullptr);  // its answer does not matter: the switch has failed
        return false;
    }
    if (!task.Rebuild(nullptr)) {
        ui.Box(kTextSwitchCannotRebuild);
        return false;
    }
    return true;
}
