// The publication number of the last signed update applied to an installation, kept as a
// member of its patch pack so it changes only with the rebuild that applies the update. A
// signed update whose number is lower than it is an older publication served again.
#pragma once

#include <cstdint>
#include <string>

#include "net/server_name.h"

// The status line refusing a signed file of an older publication (GBK; %s: the file).
constexpr const char* kTextOlderPublication = "更新数据的发布编号低于本机已安装的更新，已拒绝：%s";

// The number recorded in the pack at `packPath`; 0 when there is no pack, no such member,
// or its text is no plain decimal number.
uint64_t InstalledPublication(const std::string& packPath);

// The member's content for `number` (decimal digits).
std::string PublicationText(uint64_t number);
