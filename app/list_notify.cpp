#include "app/list_notify.h"

#include "app/settings.h"
#include "base/message_box.h"
#include "base/path_bar_text.h"
#include "base/shell.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "engine/save_name.h"
#include "list/download_list.h"
#include "list/list_sort.h"

#include <shlwapi.h>

#include <string>

namespace {

void ShowDownloadMenu(HWND mainWindow) {
    POINT cursor;
    GetCursorPos(&cursor);
    TrackPopupMenu(GetSubMenu(GetMenu(mainWindow), 1), 0, cursor.x, cursor.y, 0, mainWindow,
                   nullptr);
}

void OpenSavedFile(HWND mainWindow) {
    HWND list = DownloadListWindow();
    LVHITTESTINFO hit = {};
    GetCursorPos(&hit.pt);
    ScreenToClient(list, &hit.pt);
    SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (!(hit.flags & (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)) ||
        hit.iItem < 0) {
        return;
    }
    std::wstring path;
    SavePathSource source;
    if (ReadSavePathSource(hit.iItem, ReadPathBarText(mainWindow, kSaveFolderBarId),
                           gSettings.namingRule, source)) {
        BuildSavePath(source, path);
    }
    if (!path.empty() && PathFileExistsW(path.c_str())) {
        RunShellVerb(mainWindow, L"open", path);
    } else if (RowState(hit.iItem) == kDone) {
        ShowFailure(mainWindow,
                    L"保存ファイル名の設定が変更されたか、或いはファイルが削除等された為、"
                    L"保存先のファイルが存在しません。");
    }
}

}  // namespace

LRESULT OnListNotify(HWND mainWindow, NMHDR* header) {
    switch (header->code) {
        case LVN_GETDISPINFOW:
            FillRowDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
            break;
        case LVN_DELETEALLITEMS:
            return TRUE;  // the rows are the list's own: no notice for each one
        case LVN_ODFINDITEMW: {
            auto* find = reinterpret_cast<NMLVFINDITEMW*>(header);
            return (find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL))
                       ? FindRowByNumberText(find->lvfi.psz, find->iStart)
                       : -1;
        }
        case NM_RCLICK:
            ShowDownloadMenu(mainWindow);
            break;
        case NM_DBLCLK:
            OpenSavedFile(mainWindow);
            break;
        case LVN_COLUMNCLICK:
            if (!IsRunActive()) {
                SortRowsByColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            }
            break;
        default:
            break;
    }
    return 0;
}
