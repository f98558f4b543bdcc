// CUpdateDlg: the updater's skinned main window (Windows only). A modal dialog from
// template 102 without a frame, its outline cut from the background picture, its buttons,
// progress bar and status line painted from bitmaps, a web page, and the update runs on a
// worker thread. It feeds the worker's notifications, its timer and the player's presses
// to UpdateDlgState and the command decisions, and draws what they say.
#pragma once

#include <windows.h>

#include "app/browser_host.h"
#include "app/skin_paint.h"
#include "app/update_dlg_state.h"
#include "app/win32_handles.h"

class CUpdateDlg {
public:
    CUpdateDlg();
    ~CUpdateDlg();
    CUpdateDlg(const CUpdateDlg&) = delete;
    CUpdateDlg& operator=(const CUpdateDlg&) = delete;

    // Runs the dialog until it ends; IDOK after the game was started, IDCANCEL otherwise
    // (-1 when the template cannot be made into a window).
    INT_PTR DoModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Sets the answer of a handled message and reports it handled.
    INT_PTR Answer(LRESULT result);

    // Initialisation, in its order; LoadSkin and PrepareSurfaces answer false when it ends
    // there (the window then stays without worker, timer or page).
    void OnInitDialog();
    void AddAboutMenuItem();
    void SetIcons();
    void SetTitle();
    bool LoadSkin();
    bool PrepareSurfaces();
    void PlaceWindow();
    void OpenWebPage();
    void OnDestroy();

    // Drawing.
    void RefreshSkin();
    void RedrawStatusLine();
    POINT CursorInClient() const;

    // Worker notifications (UM_FILE_BEGIN .. UM_FILES_LEFT); false for other messages.
    bool OnRunNotification(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* answer);
    void Apply(const DlgReaction& reaction);
    uint64_t NowMs();

    // Commands (update_dlg_commands_win32.cpp).
    // The system's move command: the button under the cursor; true when the move is not to
    // follow (the command handled it all).
    bool OnMoveCommand();
    void OnCancel();
    // True when the move is not to follow (the classic edition's refusal).
    bool SwitchEditionCommand();
    int32_t CurrentEdition();
    void OfflinePackageCommand();
    // A repair run (the system menu's item), unless a run goes on.
    void RepairCommand();
    void WebsiteCommand();
    // True when the dialog ended (the game was launched).
    bool StartCommand();
    // Starts the game client (a box when it cannot) and ends the dialog.
    void LaunchGame();
    // A later run: the counters and run words reset, a new worker started.
    void StartUpdateRun();
    void StartWorker();
    int Box(const char* text, const char* caption, UINT flags);

    // First member: the web page's control lives in this thread's apartment, which must
    // outlive it, so OLE is ended only after every other member is gone.
    OleScope ole_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;  // shared resource icon: not destroyed
    UpdateDlgState state_;
    SkinImages images_;
    WindowDc windowDc_;    // kept for the window's life; every element is drawn on it
    MemoryDc imageDc_;     // source of the bitmap copies
    Bitmap offscreen_;     // 800 x 600, tells the screen's colour depth
    int colourDepth_ = 0;
    BrowserHost browser_;
    bool timerStarted_ = false;
    bool fileDialogOpen_ = false;  // the offline package picker is shown: no cursor reset
    // The edition read when the window opened, before the first run: the edition command
    // uses it while a run reads the packs, since reading patch.dat here then would take the
    // pack library's current list from under the worker.
    int32_t openingEdition_ = 0;
    HCURSOR arrow_ = nullptr;
    HCURSOR hand_ = nullptr;
    uint32_t lastTick_ = 0;    // NowMs: the 32-bit tick extended past its wrap
    uint64_t tickHigh_ = 0;
};
