// The game's editions and the switch between 800 and 1024. The edition is a word in
// curver.dat inside patch.dat: "null" for 800, "Vela1024" for 1024, and a word naming the
// classic edition ("经典") for 2048, which cannot be switched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int32_t kEditionNone = 0;  // patch.dat could not be opened
constexpr int32_t kEdition800 = 800;
constexpr int32_t kEdition1024 = 1024;
constexpr int32_t kEditionClassic = 2048;

// Bytes of curver.dat that are looked at.
constexpr size_t kEditionWordBufferSize = 250;
constexpr const char* kEditionWord800 = "null";
constexpr const char* kEditionWord1024 = "Vela1024";

// Texts of the switch (boxes owned by the window, OK only, the application name as caption).
constexpr const char* kEditionQuestionFormat =
    "注意当前是--[[%d]]--版本,你确定要切换到--[[%d]]--版本吗?\n\n\n注意切换之后需要重新进去游戏";
constexpr const char* kTextSwitchStillUpdating = "切换失败!#0,当前正在更新资源,请等待更新完毕后,在切换吧";
constexpr const char* kTextSwitchClassic = "切换失败!经典版不能进行切换";
constexpr const char* kTextSwitchCannotOpen = "切换失败!#1,请重新启动客服端,如果再次失败请联系客服!";
constexpr const char* kTextSwitchCannotAdd = "切换失败!#2,请重新启动客服端,如果再次失败请联系客服!";
constexpr const char* kTextSwitchCannotRebuild = "切换失败!#3,请重新启动客服端,如果再次失败请联系客服!";
constexpr const char* kTextSwitchDone = "切换完成,当前客户端会关闭,请重新启动客服端";
// How long the switch waits before its completion box.
constexpr uint32_t kSwitchDoneDelayMs = 1000;

// The edition a curver.dat word names (GBK, read up to its first NUL and at most
// kEditionWordBufferSize bytes): "1024" after the first character → 1024; else "经典"
// after the first character → 2048; else 800. Matches start only at character starts.
int32_t EditionOfWord(const char* bytes, size_t size);

// The installation's edition from curver.dat (a loose file beside the tool first, then the
// copy in patch.dat); kEditionNone when patch.dat cannot be opened.
int32_t GetEdition();

// The edition a switch from `edition` goes to: 800 from 1024, else 1024.
int32_t SwitchTarget(int32_t edition);
// The Yes/No question before a switch from `edition`.
std::string EditionQuestion(int32_t edition);

// Shows the switch's boxes.
class EditionSwitchUi {
public:
    virtual void Box(const char* text) = 0;
    virtual ~EditionSwitchUi() = default;
};

// Writes the other edition's word as curver.dat into patch.dat and rebuilds the pack.
// Refuses (with a box) while the bar is not full, for the classic edition, and when
// patch.dat cannot be opened, the word added or the pack rebuilt. True on success; the
// caller then waits kSwitchDoneDelayMs, shows kTextSwitchDone and ends the process.
bool SwitchEdition(int32_t edition, bool barFull, EditionSwitchUi& ui);

class PakUpdateTask;
// The same over a given pack update task (the one above makes a PakUpdaterTask).
bool SwitchEdition(int32_t edition, bool barFull, EditionSwitchUi& ui, PakUpdateTask& task);
