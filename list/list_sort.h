// Sorting the list by a column, as a click on the column's header asks.
#pragma once

#include <string>

// The comparison behind a sort by column 0 (state), 1 (state text) or 5 (URL): what each
// row shows in that column, compared in the column's direction (1 ascending, 2 descending).
struct RowSortKey {
    int state;
    std::wstring text;  // the state text or the URL
};
int CompareRowKeys(const RowSortKey& a, const RowSortKey& b, int column, int direction);

// Sorts by the column, the direction turning with each click on the same column; refused
// for columns other than 0, 1 and 5. The rows are numbered again, the
// records follow the new order and the list is saved.
void SortRowsByColumn(int column);
// The direction of the last sort by each column: 0 never sorted, 1 ascending, 2 descending.
int SortDirection(int column);
