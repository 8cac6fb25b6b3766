#include "list/list_sort.h"

#include "list/download_list.h"
#include "list/list_file.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

constexpr int kColumnCount = 6;
int gSortDirection[kColumnCount] = {};

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
    int direction = gSortDirection[column];
    int count = RowCount();
    // Each row's key is read once before the sort, so the comparisons only compare.
    std::vector<RowSortKey> keys;
    keys.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        keys.push_back({RowState(row), column != kColumnNumber ? RowText(row, column) : L""});
    }
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return CompareRowKeys(keys[a], keys[b], column, direction) < 0;
    });
    ListRedrawPause pause;
    ReorderRows(order);
    SaveListFile();
}
