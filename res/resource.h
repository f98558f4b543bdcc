// Resource numbers of update.exe: shared by the resource script and the window code.
// Plain #defines, since windres reads this file too.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_UPDATE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_EXPLORER 1011

// Skin bitmaps (res/skin/, made by res/skin/make_skin.py).
#define IDB_BACKGROUND 215
#define IDB_BAR_BACK 216
#define IDB_BAR_FILL 217
#define IDB_CLOSE_HOVER 218
#define IDB_CLOSE 219
#define IDB_MINIMISE_HOVER 220
#define IDB_MINIMISE 221
#define IDB_WEBSITE_HOVER 222
#define IDB_WEBSITE 223
#define IDB_OFFLINE_HOVER 225
#define IDB_OFFLINE 226
#define IDB_EDITION_HOVER 228
#define IDB_EDITION 229
#define IDB_START_UNAVAILABLE 231
#define IDB_START 232
#define IDB_START_HOVER 233
#define IDB_START_RETRY 242
#define IDB_START_RETRY_HOVER 243
