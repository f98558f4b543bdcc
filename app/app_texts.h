// Texts the start-up shows (GBK at run time).
#pragma once

constexpr const char* kTextAlreadyRunning = "当前系统中还有“更新工具”正在运行，请先关闭！！！";
constexpr const char* kTextRenamed = "请不要将Update.exe改名！";
constexpr const char* kCaptionRenamed = "无法启动";
constexpr const char* kTextNoPlugin = "未加载平台接口";
constexpr const char* kTextParentStillRunning = "父进程未退出";
