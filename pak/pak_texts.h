// Status texts of the pack rebuild (GBK at run time).
#pragma once

constexpr const char* kRebuildTextCannotCreate = "无法创建文件，可能是磁盘空间不足！";
constexpr const char* kRebuildTextCannotWrite = "无法写入，可能是磁盘空间不足";
constexpr const char* kRebuildTextBadReplacement = "更新的文件出现异常，请通知我们！";
constexpr const char* kRebuildTextCannotReplace = "无法替换现有的包文件，目标文件可能在使用中！";
constexpr const char* kRebuildTextRebuilding = "正在重组文件包";
// The rebuild text followed by how far it is, e.g. "正在重组文件包 45%".
constexpr const char* kRebuildTextPercentFormat = "%s %d%%";
// The old pack could not be read back while its kept entries were copied.
constexpr const char* kRebuildTextDamagedPack = "文件包已损坏，无法重组！";
// Entries of the old pack whose bytes do not lie whole in it, left out of the new pack.
constexpr const char* kRebuildTextDroppedFormat = "文件包中有%u个文件已损坏，已从中移除";
// Standard output line for a replacement of 1024 or more blocks.
constexpr const char* kRebuildTooBigLine = "update : Too big file to pack\r\n";
