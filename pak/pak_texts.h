// Status texts of the pack rebuild (GBK at run time).
#pragma once

constexpr const char* kRebuildTextCannotCreate = "无法创建文件，可能是磁盘空间不足！";
constexpr const char* kRebuildTextCannotWrite = "无法写入，可能是磁盘空间不足";
constexpr const char* kRebuildTextBadReplacement = "更新的文件出现异常，请通知我们！";
constexpr const char* kRebuildTextCannotReplace = "无法替换现有的包文件，目标文件可能在使用中！";
constexpr const char* kRebuildTextRebuilding = "正在重组文件包";
// The rebuild text followed by how far it is, e.g. "正在重组文件包 45%".
constexpr const char* kRebuildTextPercentFormat = "%s %d%%";
// The old pack's data does not match its index: nothing can be copied from it.
constexpr const char* kRebuildTextDamagedPack = "文件包已损坏，无法重组！";
// Standard output line for a replacement of 1024 or more blocks.
constexpr const char* kRebuildTooBigLine = "update : Too big file to pack\r\n";
