#include "list/list_sort.h"

#include "list/download_list.h"
#include "list/list_file.h"

#include <commctrl.h>

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
    if (column != kColumnNumber && column != kColumnState && column != kColumnUrl) {
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
