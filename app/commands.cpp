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
    gRunStop.Request();
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

// What each URL file's path bar stands for: the file's kind, the notice when its path names
// no file, and, for the logs, what applying it means and the message when that fails.
struct UrlFileBar {
    int barId;
    UrlFileKind file;
    const wchar_t* missing;
    LogKind log;
    const wchar_t* applyFailure;
};
constexpr UrlFileBar kUrlFileBars[] = {
    {kDownloadListBarId, kDownloadListFile,
     L"指定されたパスにダウンロードリストファイルが存在しません", LogKind::kDownload, nullptr},
    {kDownloadLogBarId, kDownloadLogFile, L"指定されたパスにダウンロードログファイルが存在しません",
     LogKind::kDownload, L"ダウンロードログファイルの適用に失敗しました"},
    {kCancelLogBarId, kCancelLogFile, L"指定されたパスに中断ログファイルが存在しません",
     LogKind::kCancel, L"中断ログファイルの適用に失敗しました"},
    {kErrorLogBarId, kErrorLogFile, L"指定されたパスにエラーログファイルが存在しません",
     LogKind::kError, L"エラーログファイルの適用に失敗しました"},
};

const UrlFileBar& UrlFileBarOf(const CommandRow& row) {
    return *std::find_if(std::begin(kUrlFileBars), std::end(kUrlFileBars),
                         [&](const UrlFileBar& bar) { return bar.barId == row.barId; });
}

// The path of the row's URL file, or empty after telling the user that it names no file.
std::wstring ExistingUrlFile(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ReadPathBarText(mainWindow, row.barId);
    if (!PathFileExistsW(path.c_str())) {
        ShowNotice(mainWindow, UrlFileBarOf(row).missing);
        return std::wstring();
    }
    return path;
}

void AddDownloadListFile(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !AddUrlFileToList(path)) {
        ShowFailure(mainWindow, L"ダウンロードリストの追加に失敗しました");
    }
}

void AppendSelectedUrls(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !AppendSelectedToUrlFile(path, UrlFileBarOf(row).file)) {
        ShowFailure(mainWindow, L"URLの追加に失敗しました");
    }
}

void RemoveSelectedUrls(HWND mainWindow, const CommandRow& row) {
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !RemoveSelectedFromUrlFile(path, UrlFileBarOf(row).file)) {
        ShowFailure(mainWindow, L"ファイルの読み書きに失敗しました");
    }
}

void ToggleReferer(HWND mainWindow, const CommandRow&) {
    TakeRefererStateFromButton(mainWindow);
}

void ToggleView(HWND mainWindow, const CommandRow& row) {
    ToggleBar(mainWindow, static_cast<ViewBar>(row.argument));
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

void ApplyLogOfBar(HWND mainWindow, const CommandRow& row) {
    const UrlFileBar& bar = UrlFileBarOf(row);
    std::wstring path = ExistingUrlFile(mainWindow, row);
    if (!path.empty() && !ApplyLogFile(path, bar.log)) {
        ShowFailure(mainWindow, bar.applyFailure);
    }
}

// The text a row shows after a state command sets its state.
const wchar_t* StateCommandText(int state) {
    switch (state) {
        case kDone:
            return L"ダウンロード済み";
        case kInterrupted:
            return L"ダウンロード中断";
        case kError:
            return L"エラー";
        default:
            return kStandbyText;
    }
}

void SetStateOfSelectedRows(HWND, const CommandRow& row) {
    SetRowsState(row.argument, StateCommandText(row.argument), true);
}

void SetStateOfAllRows(HWND, const CommandRow& row) {
    SetRowsState(row.argument, StateCommandText(row.argument), false);
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

void SelectByState(HWND, const CommandRow& row) {
    SelectRowsByState(row.argument);
}

void InvertByState(HWND, const CommandRow& row) {
    InvertRowsByState(row.argument);
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
    {IDM_SELECT_DL_LIST, R::kRefused, ChooseFileOfBar, kDownloadListBarId, 0},
    {IDM_SELECT_DL_LOG, R::kRefused, ChooseFileOfBar, kDownloadLogBarId, 0},
    {IDM_SELECT_CANCEL_LOG, R::kRefused, ChooseFileOfBar, kCancelLogBarId, 0},
    {IDM_SELECT_ERR_LOG, R::kRefused, ChooseFileOfBar, kErrorLogBarId, 0},
    {IDM_SELECT_DL_DIR, R::kRefused, ChooseSaveFolderOfBar, kSaveFolderBarId, 0},
    {IDM_DOWNLOAD, R::kStops, DownloadAllEntries, 0, 0},
    {IDM_OPEN_DL_DIR, R::kAllowed, OpenSaveFolder, kSaveFolderBarId, 0},
    {IDM_ADD_DL_LIST, R::kRefused, AddDownloadListFile, kDownloadListBarId, 0},
    {IDM_EDIT_DL_LIST, R::kAllowed, EditFileOfBar, kDownloadListBarId, 0},
    {IDM_OPEN_DL_LIST_DIR, R::kAllowed, OpenFolderOfBar, kDownloadListBarId, 0},
    {IDM_APPLY_DL_LOG, R::kAllowed, ApplyLogOfBar, kDownloadLogBarId, 0},
    {IDM_EDIT_DL_LOG, R::kAllowed, EditFileOfBar, kDownloadLogBarId, 0},
    {IDM_OPEN_DL_LOG_DIR, R::kAllowed, OpenFolderOfBar, kDownloadLogBarId, 0},
    {IDM_APPLY_CANCEL_LOG, R::kAllowed, ApplyLogOfBar, kCancelLogBarId, 0},
    {IDM_EDIT_CANCEL_LOG, R::kAllowed, EditFileOfBar, kCancelLogBarId, 0},
    {IDM_OPEN_CANCEL_LOG_DIR, R::kAllowed, OpenFolderOfBar, kCancelLogBarId, 0},
    {IDM_APPLY_ERR_LOG, R::kAllowed, ApplyLogOfBar, kErrorLogBarId, 0},
    {IDM_EDIT_ERR_LOG, R::kAllowed, EditFileOfBar, kErrorLogBarId, 0},
    {IDM_OPEN_ERR_LOG_DIR, R::kAllowed, OpenFolderOfBar, kErrorLogBarId, 0},
    {IDM_OPTIONS, R::kRefused, OpenOptionsDialog, 0, 0},
    {IDM_README, R::kAllowed, OpenReadme, 0, 0},
    {IDM_ABOUT, R::kAllowed, ShowAbout, 0, 0},
    {IDM_SELECTED_TO_STANDBY, R::kAllowed, SetStateOfSelectedRows, 0, kStandby},
    {IDM_ALL_TO_STANDBY, R::kAllowed, SetStateOfAllRows, 0, kStandby},
    {IDM_SELECTED_TO_DONE, R::kAllowed, SetStateOfSelectedRows, 0, kDone},
    {IDM_ALL_TO_DONE, R::kAllowed, SetStateOfAllRows, 0, kDone},
    {IDM_SELECTED_TO_INTERRUPTED, R::kAllowed, SetStateOfSelectedRows, 0, kInterrupted},
    {IDM_ALL_TO_INTERRUPTED, R::kAllowed, SetStateOfAllRows, 0, kInterrupted},
    {IDM_SELECTED_TO_ERROR, R::kAllowed, SetStateOfSelectedRows, 0, kError},
    {IDM_ALL_TO_ERROR, R::kAllowed, SetStateOfAllRows, 0, kError},
    {IDM_DELETE_SELECTED, R::kRefused, DeleteSelected, 0, 0},
    {IDM_DELETE_ALL, R::kRefused, DeleteAll, 0, 0},
    {IDM_ADD_TO_DL_LIST, R::kAllowed, AppendSelectedUrls, kDownloadListBarId, 0},
    {IDM_ADD_TO_DL_LOG, R::kAllowed, AppendSelectedUrls, kDownloadLogBarId, 0},
    {IDM_ADD_TO_CANCEL_LOG, R::kAllowed, AppendSelectedUrls, kCancelLogBarId, 0},
    {IDM_ADD_TO_ERR_LOG, R::kAllowed, AppendSelectedUrls, kErrorLogBarId, 0},
    {IDM_REMOVE_FROM_DL_LIST, R::kAllowed, RemoveSelectedUrls, kDownloadListBarId, 0},
    {IDM_REMOVE_FROM_DL_LOG, R::kAllowed, RemoveSelectedUrls, kDownloadLogBarId, 0},
    {IDM_REMOVE_FROM_CANCEL_LOG, R::kAllowed, RemoveSelectedUrls, kCancelLogBarId, 0},
    {IDM_REMOVE_FROM_ERR_LOG, R::kAllowed, RemoveSelectedUrls, kErrorLogBarId, 0},
    {IDM_SELECT_ALL, R::kAllowed, SelectAll, 0, 0},
    {IDM_INVERT_ALL, R::kAllowed, InvertAll, 0, 0},
    {IDM_OPEN_PROGRAM_DIR, R::kAllowed, OpenProgramFolder, 0, 0},
    {IDM_REFERER_TOGGLE, R::kAllowed, ToggleReferer, kRefererBarId, 0},
    {IDM_EXIT, R::kAllowed, CloseMainWindow, 0, 0},
    {IDM_REFERER_DIALOG, R::kAllowed, OpenRefererDialog, 0, 0},
    {IDM_VIEW_MAIN_TBAR, R::kAllowed, ToggleView, 0, kViewMainToolbar},
    {IDM_VIEW_DL_LIST_TBAR, R::kAllowed, ToggleView, 0, kViewDownloadListBar},
    {IDM_VIEW_DL_LOG_TBAR, R::kAllowed, ToggleView, 0, kViewDownloadLogBar},
    {IDM_VIEW_CANCEL_LOG_TBAR, R::kAllowed, ToggleView, 0, kViewCancelLogBar},
    {IDM_VIEW_ERR_LOG_TBAR, R::kAllowed, ToggleView, 0, kViewErrorLogBar},
    {IDM_VIEW_DL_DIR_TBAR, R::kAllowed, ToggleView, 0, kViewSaveFolderBar},
    {IDM_VIEW_REF_TBAR, R::kAllowed, ToggleView, 0, kViewRefererBar},
    {IDM_VIEW_STATUSBAR, R::kAllowed, ToggleView, 0, kViewStatusBar},
    {IDM_SELECT_STANDBY, R::kAllowed, SelectByState, 0, kStandby},
    {IDM_SELECT_DONE, R::kAllowed, SelectByState, 0, kDone},
    {IDM_SELECT_INTERRUPTED, R::kAllowed, SelectByState, 0, kInterrupted},
    {IDM_SELECT_ERROR, R::kAllowed, SelectByState, 0, kError},
    {IDM_INVERT_STANDBY, R::kAllowed, InvertByState, 0, kStandby},
    {IDM_INVERT_DONE, R::kAllowed, InvertByState, 0, kDone},
    {IDM_INVERT_INTERRUPTED, R::kAllowed, InvertByState, 0, kInterrupted},
    {IDM_INVERT_ERROR, R::kAllowed, InvertByState, 0, kError},
    {IDM_DOWNLOAD_SELECTED, R::kRefused, DownloadSelectedEntries, 0, 0},
    {IDM_CUSTOMIZE_TOOLBAR, R::kRefused, CustomizeToolbar, 0, 0},
    {IDM_STOP, R::kAllowed, RequestStop, 0, 0},
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
