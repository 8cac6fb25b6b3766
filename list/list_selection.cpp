#include "list/list_selection.h"

#include "list/download_list.h"

#include <windows.h>
#include <commctrl.h>

namespace {

constexpr int kAnyState = -1;

void SetSelected(HWND list, int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

bool IsSelected(HWND list, int row) {
    return (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

// The selection shows as active only while the list has the focus.
HWND FocusedList() {
    HWND list = DownloadListWindow();
    SetFocus(list);
    return list;
}

void ChangeRows(int state, bool invert) {
    HWND list = FocusedList();
    int count = RowCount();
    ListRedrawPause pause;
    for (int row = 0; row < count; ++row) {
        if (state == kAnyState || RowState(row) == state) {
            SetSelected(list, row, invert ? !IsSelected(list, row) : true);
        }
    }
}

}  // namespace

void SelectRowsByState(int state) {
    ChangeRows(state, false);
}

void InvertRowsByState(int state) {
    ChangeRows(state, true);
}

void SelectAllRows() {
    SetSelected(FocusedList(), -1, true);
}

void InvertAllRows() {
    ChangeRows(kAnyState, true);
}
