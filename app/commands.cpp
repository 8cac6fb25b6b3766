#include "app/commands.h"

#include "app/about_dialog.h"
#include "app/options_dialog.h"
#include "app/referer_dialog.h"
#include "app/run_window.h"
#include "app/settings.h"
#include "app/window_layout.h"
#include "bars/choosers.h"
#include "bars/customize_dialog.h"
#include "bars/path_bars.h"
#include "base/message_box.h"
#include "base/path_bar_text.h"
#include "base/shell.h"
#include "base/window_ids.h"
#include "engine/download_run.h"
#include "engine/run_state.h"
#include "engine/save_name.h"
#include "list/download_list.h"
#include "list/list_commands.h"
#include "list/list_selection.h"
#include "list/url_file_commands.h"
#include "res/resource.h"

#include <shlwapi.h>

#include <algorithm>
#include <iterator>

namespace {

void RequestStop(HWND, const CommandRow&) {
    gStopFlag = 1;
}

// Opens the bar's file in the program associated with it.
void EditFileOfBar(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ReadPathBarText(mainWindow, row.barId);
    if (PathFileExistsW(path.c_str())) {
        RunShellVerb(mainWindow, L"open", path);
    } else {
        ShowNotice(mainWindow, L"ファイルのパスが不正です");
    }
}

// Opens the folder that holds the bar's file.
void OpenFolderOfBar(HWND mainWindow, const CommandRow& row) {
    std::wstring folder = FolderOfPath(ReadPathBarText(mainWindow, row.barId));
    if (PathIsDirectoryW(folder.c_str())) {
        RunShellVerb(mainWindow, L"explore", folder);
    } else {
        ShowNotice(mainWindow, L"フォルダのパスが不正です");
    }
}

// The shell reports a missing Readme itself.
void OpenReadme(HWND mainWindow, const CommandRow&) {
    RunShellVerb(mainWindow, L"open", ReadmePath());
}

void OpenProgramFolder(HWND mainWindow, const CommandRow&) {
    RunShellVerb(mainWindow, L"explore", ProgramFolder());
}

// The notice for a list or log path that names no file, by path bar.
void ShowMissingUrlFile(HWND mainWindow, int barId) {
    const wchar_t* const texts[] = {
        L"指定されたパスにダウンロードリストファイルが存在しません",
        L"指定されたパスにダウンロードログファイルが存在しません",
        L"指定されたパスに中断ログファイルが存在しません",
        L"指定されたパスにエラーログファイルが存在しません",
    };
    ShowNotice(mainWindow, texts[barId - kDownloadListBarId]);
}

// The path of the row's URL file, or empty after telling the user that it names no file.
std::wstring ExistingUrlFile(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ReadPathBarText(mainWindow, row.barId);
    if (!PathFileExistsW(path.c_str())) {
        ShowMissingUrlFile(mainWindow, row.barId);
        return std::wstring();
    }
    return path;
}

UrlFileKind UrlFileOfBar(int barId) {
    return static_cast<UrlFileKind>(barId - kDownloadListBarId);
}

void AddDownloadListFile(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !AddUrlFileToList(path)) {
        ShowFailure(mainWindow, L"ダウンロードリストの追加に失敗しました");
    }
}

void AppendSelectedUrls(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !AppendSelectedToUrlFile(path, UrlFileOfBar(row.barId))) {
        ShowFailure(mainWindow, L"URLの追加に失敗しました");
    }
}

void RemoveSelectedUrls(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !RemoveSelectedFromUrlFile(path, UrlFileOfBar(row.barId))) {
        ShowFailure(mainWindow, L"ファイルの読み書きに失敗しました");
    }
}

void ToggleReferer(HWND mainWindow, const CommandRow&) {
    TakeRefererStateFromButton(mainWindow);
}

void ToggleView(HWND mainWindow, const CommandRow& row) {
    ToggleBar(mainWindow, row.id);
}

void DownloadAllEntries(HWND mainWindow, const CommandRow&) {
    StartDownloadRun(mainWindow, RunWindowOf(mainWindow), RunScope::kAllEntries);
}

void DownloadSelectedEntries(HWND mainWindow, const CommandRow&) {
    StartDownloadRun(mainWindow, RunWindowOf(mainWindow), RunScope::kSelectedEntries);
}

// The folder the files of a run go to: the save folder, or the desktop when it is none.
void OpenSaveFolder(HWND mainWindow, const CommandRow& row) {
    RunShellVerb(mainWindow, L"explore",
                 SaveFolderOrDesktop(ReadPathBarText(mainWindow, row.barId)));
}

// Applying a log: which log each path bar holds, and the message when it cannot be read.
void ApplyLogOfBar(HWND mainWindow, const CommandRow& row) {
    static const wchar_t* const failures[] = {
        L"ダウンロードログファイルの適用に失敗しました",
        L"中断ログファイルの適用に失敗しました",
        L"エラーログファイルの適用に失敗しました",
    };
    int index = row.barId - kDownloadLogBarId;
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !ApplyLogFile(path, static_cast<LogKind>(index))) {
        ShowFailure(mainWindow, failures[index]);
    }
}

// The state commands come in pairs (selected rows, all rows) in the order Standby, Done,
// Interrupted, Error.
void SetStateOfRows(HWND, const CommandRow& row) {
    struct Target {
        int state;
        const wchar_t* text;
    };
    static const Target targets[] = {{kStandby, kStandbyText},
                                     {kDone, L"ダウンロード済み"},
                                     {kInterrupted, L"ダウンロード中断"},
                                     {kError, L"エラー"}};
    int offset = static_cast<int>(row.id) - IDM_SELECTED_TO_STANDBY;
    const Target& target = targets[offset / 2];
    SetRowsState(target.state, target.text, offset % 2 == 0);
}

void DeleteSelected(HWND mainWindow, const CommandRow&) {
    if (!DeleteSelectedRows()) {
        ShowFailure(mainWindow, L"リストの削除に失敗しました");
    }
}

void DeleteAll(HWND mainWindow, const CommandRow&) {
    if (AskYesNo(mainWindow, L"全てのURLをリストから削除しますがいいですか？")) {
        DeleteAllRows();
    }
}

// Selecting by state: 1054 to 1057 select, 1058 to 1061 invert, each for Standby, Done,
// Interrupted and Error.
void SelectByState(HWND, const CommandRow& row) {
    static const int states[] = {kStandby, kDone, kInterrupted, kError};
    int offset = static_cast<int>(row.id) - IDM_SELECT_STANDBY;
    if (offset < 4) {
        SelectRowsByState(states[offset]);
    } else {
        InvertRowsByState(states[offset - 4]);
    }
}

void SelectAll(HWND, const CommandRow&) {
    SelectAllRows();
}

void InvertAll(HWND, const CommandRow&) {
    InvertAllRows();
}

void OpenOptionsDialog(HWND mainWindow, const CommandRow&) {
    RunOptionsDialog(mainWindow);
}

void OpenRefererDialog(HWND mainWindow, const CommandRow&) {
    RunRefererDialog(mainWindow);
}

void CustomizeToolbar(HWND mainWindow, const CommandRow&) {
    if (RunCustomizeDialog(mainWindow, IsRunActive)) {
        RebuildMainToolbar(mainWindow);
    }
}

void ChooseFileOfBar(HWND mainWindow, const CommandRow& row) {
    ChoosePathBarFile(mainWindow, row.barId);
}

void ChooseSaveFolderOfBar(HWND mainWindow, const CommandRow&) {
    ChooseSaveFolder(mainWindow);
}

void ShowAbout(HWND mainWindow, const CommandRow&) {
    ShowAboutDialog(mainWindow);
}

void CloseMainWindow(HWND mainWindow, const CommandRow&) {
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
}

using R = DuringRun;

// Ordered by id so a lookup can use binary search.
const CommandRow kCommandTable[] = {
    {IDM_SELECT_DL_LIST, R::kRefused, ChooseFileOfBar, kDownloadListBarId},
    {IDM_SELECT_DL_LOG, R::kRefused, ChooseFileOfBar, kDownloadLogBarId},
    {IDM_SELECT_CANCEL_LOG, R::kRefused, ChooseFileOfBar, kCancelLogBarId},
    {IDM_SELECT_ERR_LOG, R::kRefused, ChooseFileOfBar, kErrorLogBarId},
    {IDM_SELECT_DL_DIR, R::kRefused, ChooseSaveFolderOfBar, kSaveFolderBarId},
    {IDM_DOWNLOAD, R::kStops, DownloadAllEntries, 0},
    {IDM_OPEN_DL_DIR, R::kAllowed, OpenSaveFolder, kSaveFolderBarId},
    {IDM_ADD_DL_LIST, R::kRefused, AddDownloadListFile, kDownloadListBarId},
    {IDM_EDIT_DL_LIST, R::kAllowed, EditFileOfBar, kDownloadListBarId},
    {IDM_OPEN_DL_LIST_DIR, R::kAllowed, OpenFolderOfBar, kDownloadListBarId},
    {IDM_APPLY_DL_LOG, R::kAllowed, ApplyLogOfBar, kDownloadLogBarId},
    {IDM_EDIT_DL_LOG, R::kAllowed, EditFileOfBar, kDownloadLogBarId},
    {IDM_OPEN_DL_LOG_DIR, R::kAllowed, OpenFolderOfBar, kDownloadLogBarId},
    {IDM_APPLY_CANCEL_LOG, R::kAllowed, ApplyLogOfBar, kCancelLogBarId},
    {IDM_EDIT_CANCEL_LOG, R::kAllowed, EditFileOfBar, kCancelLogBarId},
    {IDM_OPEN_CANCEL_LOG_DIR, R::kAllowed, OpenFolderOfBar, kCancelLogBarId},
    {IDM_APPLY_ERR_LOG, R::kAllowed, ApplyLogOfBar, kErrorLogBarId},
    {IDM_EDIT_ERR_LOG, R::kAllowed, EditFileOfBar, kErrorLogBarId},
    {IDM_OPEN_ERR_LOG_DIR, R::kAllowed, OpenFolderOfBar, kErrorLogBarId},
    {IDM_OPTIONS, R::kRefused, OpenOptionsDialog, 0},
    {IDM_README, R::kAllowed, OpenReadme, 0},
    {IDM_ABOUT, R::kAllowed, ShowAbout, 0},
    {IDM_SELECTED_TO_STANDBY, R::kAllowed, SetStateOfRows, 0},
    {IDM_ALL_TO_STANDBY, R::kAllowed, SetStateOfRows, 0},
    {IDM_SELECTED_TO_DONE, R::kAllowed, SetStateOfRows, 0},
    {IDM_ALL_TO_DONE, R::kAllowed, SetStateOfRows, 0},
    {IDM_SELECTED_TO_INTERRUPTED, R::kAllowed, SetStateOfRows, 0},
    {IDM_ALL_TO_INTERRUPTED, R::kAllowed, SetStateOfRows, 0},
    {IDM_SELECTED_TO_ERROR, R::kAllowed, SetStateOfRows, 0},
    {IDM_ALL_TO_ERROR, R::kAllowed, SetStateOfRows, 0},
    {IDM_DELETE_SELECTED, R::kRefused, DeleteSelected, 0},
    {IDM_DELETE_ALL, R::kRefused, DeleteAll, 0},
    {IDM_ADD_TO_DL_LIST, R::kAllowed, AppendSelectedUrls, kDownloadListBarId},
    {IDM_ADD_TO_DL_LOG, R::kAllowed, AppendSelectedUrls, kDownloadLogBarId},
    {IDM_ADD_TO_CANCEL_LOG, R::kAllowed, AppendSelectedUrls, kCancelLogBarId},
    {IDM_ADD_TO_ERR_LOG, R::kAllowed, AppendSelectedUrls, kErrorLogBarId},
    {IDM_REMOVE_FROM_DL_LIST, R::kAllowed, RemoveSelectedUrls, kDownloadListBarId},
    {IDM_REMOVE_FROM_DL_LOG, R::kAllowed, RemoveSelectedUrls, kDownloadLogBarId},
    {IDM_REMOVE_FROM_CANCEL_LOG, R::kAllowed, RemoveSelectedUrls, kCancelLogBarId},
    {IDM_REMOVE_FROM_ERR_LOG, R::kAllowed, RemoveSelectedUrls, kErrorLogBarId},
    {IDM_SELECT_ALL, R::kAllowed, SelectAll, 0},
    {IDM_INVERT_ALL, R::kAllowed, InvertAll, 0},
    {IDM_OPEN_PROGRAM_DIR, R::kAllowed, OpenProgramFolder, 0},
    {IDM_REFERER_TOGGLE, R::kAllowed, ToggleReferer, kRefererBarId},
    {IDM_EXIT, R::kAllowed, CloseMainWindow, 0},
    {IDM_REFERER_DIALOG, R::kAllowed, OpenRefererDialog, 0},
    {IDM_VIEW_MAIN_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_DL_LIST_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_DL_LOG_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_CANCEL_LOG_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_ERR_LOG_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_DL_DIR_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_REF_TBAR, R::kAllowed, ToggleView, 0},
    {IDM_VIEW_STATUSBAR, R::kAllowed, ToggleView, 0},
    {IDM_SELECT_STANDBY, R::kAllowed, SelectByState, 0},
    {IDM_SELECT_DONE, R::kAllowed, SelectByState, 0},
    {IDM_SELECT_INTERRUPTED, R::kAllowed, SelectByState, 0},
    {IDM_SELECT_ERROR, R::kAllowed, SelectByState, 0},
    {IDM_INVERT_STANDBY, R::kAllowed, SelectByState, 0},
    {IDM_INVERT_DONE, R::kAllowed, SelectByState, 0},
    {IDM_INVERT_INTERRUPTED, R::kAllowed, SelectByState, 0},
    {IDM_INVERT_ERROR, R::kAllowed, SelectByState, 0},
    {IDM_DOWNLOAD_SELECTED, R::kRefused, DownloadSelectedEntries, 0},
    {IDM_CUSTOMIZE_TOOLBAR, R::kRefused, CustomizeToolbar, 0},
    {IDM_STOP, R::kAllowed, RequestStop, 0},
};

}  // namespace

const CommandRow* FindCommand(UINT id) {
    auto row = std::lower_bound(std::begin(kCommandTable), std::end(kCommandTable), id,
                                [](const CommandRow& r, UINT wanted) { return r.id < wanted; });
    return (row != std::end(kCommandTable) && row->id == id) ? row : nullptr;
}

void OnCommand(HWND mainWindow, WPARAM wParam) {
    const CommandRow* row = FindCommand(LOWORD(wParam));
    if (row == nullptr) {
        return;
    }
    // This holds whatever sent the command, accelerators included, even though the menu
    // and the toolbar also grey these out during a run.
    if (IsRunActive()) {
        if (row->duringRun == DuringRun::kRefused) {
            return;
        }
        if (row->duringRun == DuringRun::kStops) {
            RequestStop(mainWindow, *row);
            return;
        }
    }
    if (row->action != nullptr) {
        row->action(mainWindow, *row);
    }
}
