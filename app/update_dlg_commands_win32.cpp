// CUpdateDlg's commands: the painted buttons (through the system's move command), the stop
// request, and starting a later update run. The decisions are UpdateDlgState's and
// update_commands'; here they are carried out with boxes, dialogs and the engine.
#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "app/edition.h"
#include "app/skin_layout.h"
#include "app/update_commands.h"
#include "app/update_dlg.h"
#include "app/update_run.h"
#include "common/show_status.h"
#include "common/update_codes.h"
#include "engine/game_launch.h"
#include "engine/update_engine.h"
#include "text/text_convert.h"

namespace {

constexpr DWORD kPickedPathChars = MAX_PATH;
constexpr wchar_t kFilterSeparator = L'|';
constexpr const wchar_t* kOpenVerb = L"open";

std::wstring Wide(const char* text) { return NarrowToWide(text, kTextOwn); }

// A message box owned by `owner`, its GBK text and caption converted for the wide call.
int OwnedBox(HWND owner, const char* text, const char* caption, UINT flags) {
    const std::wstring wideText = Wide(text);
    const std::wstring wideCaption = Wide(caption);
    return ::MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(), flags);
}

// The switch's boxes: owned by the window, OK only, the application name as caption.
class WindowSwitchUi : public EditionSwitchUi {
public:
    explicit WindowSwitchUi(HWND owner) : owner_(owner) {}
    void Box(const char* text) override { OwnedBox(owner_, text, kAppCaption, MB_OK); }

private:
    HWND owner_;
};

// The filter in the common dialog's form: pairs of NUL-ended texts, an empty one last.
std::wstring DialogFilter(const char* barSeparated) {
    std::wstring filter = Wide(barSeparated);
    for (wchar_t& c : filter) {
        if (c == kFilterSeparator) c = L'\0';
    }
    return filter;
}

}  // namespace

int CUpdateDlg::Box(const char* text, const char* caption, UINT flags) {
    return OwnedBox(window_, text, caption, flags);
}

bool CUpdateDlg::OnMoveCommand() {
    const POINT cursor = CursorInClient();
    switch (ButtonAt(cursor.x, cursor.y)) {
        case SkinButton::kEditionSwitch:
            return SwitchEditionCommand();
        case SkinButton::kOfflinePackage:
            OfflinePackageCommand();
            return false;
        case SkinButton::kWebsite:
            WebsiteCommand();
            return false;
        case SkinButton::kMinimise:
            ::ShowWindow(window_, SW_MINIMIZE);
            return true;
        case SkinButton::kClose:
            ::EndDialog(window_, IDCANCEL);
            return true;
        case SkinButton::kStart:
            return StartCommand();
        case SkinButton::kNone:
            return false;
    }
    return false;
}

int32_t CUpdateDlg::CurrentEdition() { return state_.workerRunning ? openingEdition_ : GetEdition(); }

bool CUpdateDlg::SwitchEditionCommand() {
    const int32_t edition = CurrentEdition();
    if (edition == kEditionClassic) {
        Box(kTextSwitchClassic, kAppCaption, MB_OK);
        return true;  // the refusal ends the command without the move
    }
    if (Box(EditionQuestion(edition).c_str(), kAppCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    WindowSwitchUi ui(window_);
    // A run still going on (its bar can be full while it ends) counts as an update not done:
    // the pack is not rewritten under the worker.
    if (!SwitchEdition(edition, state_.progress.full() && !state_.workerRunning, ui)) return false;
    ::Sleep(kSwitchDoneDelayMs);
    // The rebuild's own status lines ("正在重组文件包") are over: the line says what happened.
    ShowStatus(kTextSwitchDone);
    Box(kTextSwitchDone, kAppCaption, MB_OK);
    // The installation changed edition under the running client: the process ends at once.
    ::ExitProcess(0);
}

void CUpdateDlg::OfflinePackageCommand() {
    std::wstring path = Wide(kOfflinePackageInitialName);
    path.resize(kPickedPathChars, L'\0');
    const std::wstring filter = DialogFilter(kOfflinePackageFilter);
    const std::wstring defaultExt = Wide(kOfflinePackageDefaultExt);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = &path[0];
    dialog.nMaxFile = kPickedPathChars;
    dialog.lpstrDefExt = defaultExt.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_EXPLORER;
    fileDialogOpen_ = true;
    const BOOL chosen = ::GetOpenFileNameW(&dialog);
    fileDialogOpen_ = false;
    if (!chosen) return;
    WindowRuns::Get().SetOfflinePackage(path.c_str());
    if (state_.workerRunning) {
        // The stopped run ends interrupted; its end then starts the package's run.
        PrepareOfflinePackageStop();
        UpdateEngine::StopCurrent(false);
        return;
    }
    StartUpdateRun();
}

void CUpdateDlg::RepairCommand() {
    if (state_.workerRunning) {
        Box(kTextRepairBusy, kAppCaption, MB_OK);
        return;
    }
    WindowRuns::Get().RequestRepair();
    StartUpdateRun();
}

void CUpdateDlg::WebsiteCommand() {
    // No parameters or directory; a failure is not reported.
    ::ShellExecuteW(window_, kOpenVerb, Wide(kWebsiteAddress).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

bool CUpdateDlg::StartCommand() {
    switch (DecideStart(state_)) {
        case StartAction::kMoveOnly:
            return false;
        case StartAction::kUpdateAgain:
            StartUpdateRun();
            return true;
        case StartAction::kLaunchGame:
            LaunchGame();
            return true;
        case StartAction::kAskGameOrRun:
            switch (Box(kGameOrRunPromptText, kGameOrRunPromptCaption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
                case IDYES:
                    LaunchGame();
                    return true;
                case IDNO:
                    StartUpdateRun();
                    return true;
                default:
                    return true;  // Cancel: the window stays as it is
            }
    }
    return false;
}

void CUpdateDlg::LaunchGame() {
    if (!StartGameClient()) Box(kTextLaunchFailed, kAppCaption, MB_OK);
    ::EndDialog(window_, IDOK);
}

void CUpdateDlg::OnCancel() {
    switch (DecideStop(state_, UpdateEngine::IsCurrentStopping())) {
        case StopAction::kEndDialog:
            ::EndDialog(window_, IDCANCEL);
            return;
        case StopAction::kNothing:
            return;
        case StopAction::kAskHowToStop:
            switch (Box(kStopPromptText, kStopPromptCaption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
                case IDYES:
                    ApplyStopAnswerKeep();
                    UpdateEngine::StopCurrent(true);
                    return;
                case IDNO:
                    ApplyStopDiscard();
                    UpdateEngine::StopCurrent(false);
                    return;
                default:
                    return;  // Cancel: the run goes on
            }
        case StopAction::kStopDiscard:
            ApplyStopDiscard();
            UpdateEngine::StopCurrent(false);
            return;
    }
}

void CUpdateDlg::StartUpdateRun() {
    state_.StartRun();
    StartWorker();
}

void CUpdateDlg::StartWorker() {
    // Without a worker no result would come: end the run at once with a code that shows no text.
    if (!WindowRuns::Get().Start()) ::PostMessageW(window_, UM_UPDATE_DONE, static_cast<WPARAM>(kResultFail), 0);
}
