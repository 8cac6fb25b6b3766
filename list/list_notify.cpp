#include "list/list_notify.h"

#include "app/settings.h"
#include "base/message_box.h"
#include "base/path_bar_text.h"
#include "base/shell.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "engine/save_name.h"
#include "list/download_list.h"
#include "list/list_file.h"

#include <shlwapi.h>

#include <unordered_map>

namespace {

constexpr int kColumnCount = 6;
int gSortDirection[kColumnCount] = {};

struct SortContext {
    int column;
    int direction;
    std::unordered_map<LPARAM, RowSortKey> keys;  // by the row's item data
};

// Each row's key is read once before the sort: the comparison then costs no window message,
// which keeps a sort of 100,000 rows to a fraction of a second.
int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM parameter) {
    const auto& context = *reinterpret_cast<const SortContext*>(parameter);
    return CompareRowKeys(context.keys.at(a), context.keys.at(b), context.column,
                          context.direction);
}

LPARAM ItemData(HWND list, int row) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

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

int CompareRowKeys(const RowSortKey& a, const RowSortKey& b, int column, int direction) {
    const RowSortKey& first = direction == 1 ? a : b;
    const RowSortKey& second = direction == 1 ? b : a;
    if (column == kColumnNumber) {
        return first.state - second.state;
    }
    return lstrcmpW(first.text.c_str(), second.text.c_str());
}

int SortDirection(int column) {
    return column >= 0 && column < kColumnCount ? gSortDirection[column] : 0;
}

void SortRowsByColumn(int column) {
    if (IsRunActive() ||
        (column != kColumnNumber && column != kColumnState && column != kColumnUrl)) {
        return;
    }
    gSortDirection[column] = gSortDirection[column] == 1 ? 2 : 1;
    HWND list = DownloadListWindow();
    SortContext context = {column, gSortDirection[column], {}};
    int count = RowCount();
    for (int row = 0; row < count; ++row) {
        RowSortKey key = {RowState(row), std::wstring()};
        if (column != kColumnNumber) {
            key.text = RowText(row, column);
        }
        context.keys.emplace(ItemData(list, row), std::move(key));
    }
    ListRedrawPause pause;
    SendMessageW(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context),
                 reinterpret_cast<LPARAM>(CompareRows));
    ReorderRecordsLikeRows();
    for (int row = 0; row < count; ++row) {
        SetRowText(row, kColumnNumber, std::to_wstring(row + 1));
    }
    SaveListFile();
}

void OnListNotify(HWND mainWindow, NMHDR* header) {
    switch (header->code) {
        case NM_RCLICK:
            ShowDownloadMenu(mainWindow);
            break;
        case NM_DBLCLK:
            OpenSavedFile(mainWindow);
            break;
        case LVN_COLUMNCLICK:
            SortRowsByColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            break;
        default:
            break;
    }
}
