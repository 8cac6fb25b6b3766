// What the list view reports to the main window: a right click opens the Download menu, a
// double click opens a row's saved file, a click on a column header sorts the list (refused
// during a run, whose workers address rows by their index). The list also asks here for the
// texts and images of its rows.
#pragma once

#include <windows.h>
#include <commctrl.h>

LRESULT OnListNotify(HWND mainWindow, NMHDR* header);
