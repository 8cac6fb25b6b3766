// Sorting the list by a column, as a click on the column's header asks.
#pragma once

// Sorts by column 0 (the state), 1 (the state text) or 5 (the URL), the direction turning with
// each click on the same column; refused for other columns. Texts are compared as lstrcmpW
// compares them; rows that compare equal keep their order. The rows are numbered again, the
// records and the selection follow the new order and the list is saved.
void SortRowsByColumn(int column);
// The direction of the last sort by each column: 0 never sorted, 1 ascending, 2 descending.
int SortDirection(int column);
