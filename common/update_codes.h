// Window notifications posted by the worker side and the result codes of an update run.
// Every layer may use them: they sit in the bottom module.
// The numbers are shared with the main window, so they never change.
#pragma once

#include <cstdint>

// Notifications: WM_USER (1024) + n.
constexpr uint32_t UM_FILE_BEGIN = 1124;
constexpr uint32_t UM_FILE_PROGRESS = 1125;
constexpr uint32_t UM_FILE_END = 1126;
constexpr uint32_t UM_UPDATE_DONE = 1127;
constexpr uint32_t UM_PHASE_BEGIN = 1129;
constexpr uint32_t UM_STEP_BEGIN = 1130;
constexpr uint32_t UM_STEP = 1131;
constexpr uint32_t UM_STEP_END = 1132;
// wParam: a heap status copy (text, CR, LF, NUL) that the window frees with FreeStatusCopy;
// lParam: the text length including CR LF.
constexpr uint32_t UM_STATUS_TEXT = 1133;
constexpr uint32_t UM_RESTART = 1134;
constexpr uint32_t UM_FILES_LEFT = 1135;

// Run results (signed 32-bit; negative = failure).
constexpr int32_t UPD_DONE = 0;
constexpr int32_t UPD_UP_TO_DATE = 1;
constexpr int32_t UPD_PACKAGE_APPLIED = 2;
constexpr int32_t UPD_E_FETCH = static_cast<int32_t>(0x80000001u);
constexpr int32_t UPD_E_DATA = static_cast<int32_t>(0x80000003u);
constexpr int32_t UPD_E_OPEN_PACK = static_cast<int32_t>(0x80000004u);
constexpr int32_t UPD_E_REBUILD_PACK = static_cast<int32_t>(0x80000005u);
constexpr int32_t UPD_INTERRUPTED = static_cast<int32_t>(0x80000006u);
// The installation's volume has too little free space for the run; nothing was changed and
// the status line says how much more is needed.
constexpr int32_t UPD_E_DISK_SPACE = static_cast<int32_t>(0x80000008u);
// A restart was requested (new tool or plug-in written); the sender showed its own text.
constexpr int32_t UPD_RESTART_REQUESTED = -1;

// Codes of the transfer layer and the manifest store.
constexpr int32_t kResultSkipped = static_cast<int32_t>(0x80000007u);
constexpr int32_t kResultFail = static_cast<int32_t>(0x80004005u);  // E_FAIL
constexpr int32_t kStoreBadName = static_cast<int32_t>(0x80000000u);
constexpr int32_t kStoreCannotOpen = static_cast<int32_t>(0x80000002u);

// The tool's own version (2.23 x 100).
constexpr int32_t kToolVersion = 223;

// Name of a result code for logs and paktool ("UPD_DONE", ...); "?" for other values.
const char* UpdateResultName(int32_t code);
