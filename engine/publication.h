// The publication number of the last signed update applied to an installation, kept as a
// member of its patch pack so it changes only with the rebuild that applies the update. A
// signed update whose number is lower than it is an older publication served again.
#pragma once

#include <cstdint>
#include <string>

#include "net/server_name.h"

// The status line refusing a signed file of an older publication (GBK; %s: the file).
constexpr const char* kTextOlderPublication = "更新数据的发布编号低于本机已安装的更新，已拒绝：%s";
// The status line refusing a tool or plug-in signed in another publication than the version
// information that announces it (GBK; %s: the file).
constexpr const char* kTextOtherPublication = "文件与版本信息不属于同一次发布，已拒绝：%s";

// The one rule for signed files. Version information (a version file, an update list, an
// offline package) numbered `announced` is refused when it is below the installation's
// recorded number `installed`; a file it announces (a tool, a plug-in) numbered `number`
// is refused unless it belongs to that very publication, so no older genuine release can be
// mixed in. The refusal line (one "%s" for the file), or null when the file may be used.
// Version information is checked as its own announcement (number == announced).
const char* PublicationRefusal(uint64_t number, uint64_t announced, uint64_t installed);

// Shows a refusal PublicationRefusal gave for the file `name` and notes its cause for the run
// (an older publication is a rollback; a file of another publication, a signature refusal).
void ShowPublicationRefusal(const char* refusal, const std::string& name);
// The number recorded in the pack at `packPath`; 0 when there is no pack, no such member,
// or its text is no plain decimal number.
uint64_t InstalledPublication(const std::string& packPath);

// The member's content for `number` (decimal digits).
std::string PublicationText(uint64_t number);
