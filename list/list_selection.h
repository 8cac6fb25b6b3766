// Selecting rows by state, and selecting or inverting all rows. Only the selected bit of a
// row changes; the focused row stays where it is. All are allowed during a run.
#pragma once

void SelectRowsByState(int state);
void InvertRowsByState(int state);
void SelectAllRows();
void InvertAllRows();
