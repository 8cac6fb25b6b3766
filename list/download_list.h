// The download list: a report-style list view with one row per URL, and beside each row its
// record, the one-line text the list file is made of.
//
// The list holds each row once, compactly: the URL, the state as a number and its texts as
// numbers into a table of the texts in use. The control is a virtual list that asks for a
// cell's text or image when it draws it or another program reads it, so a million rows cost
// the control nothing and every command is one pass over the rows at most.
//
// Rows and records belong to the interface thread. Workers reach them only through
// RunOnInterfaceThread, so the list needs no lock of its own.
#pragma once

#include "list/row_store.h"

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Column (subitem) indexes.
enum ListColumn {
    kColumnNumber = 0,
    kColumnState = 1,
    kColumnSpeed = 2,
    kColumnElapsed = 3,
    kColumnSize = 4,
    kColumnUrl = 5,
};

extern const wchar_t kStandbyText[];    // "スタンバイ"
extern const wchar_t kZeroSpeedText[];  // "   0Byte/s"

// How soon whoever shows the counts (RowStateCounts) wants to hear that they changed: at
// once after a command, or once the interface thread gets to it during a run, whose row
// updates change them too often to recount after each.
enum class CountsNotice { kAtOnce, kWhenIdle };
using CountsChanged = std::function<void(CountsNotice)>;

// Creates the control, its image list and columns, and fills it from the list file at
// listFilePath, which every save of the list writes. countsChanged hears of every change of
// the counts that the list's commands and UpdateRow make.
HWND CreateDownloadList(HWND mainWindow, const std::wstring& listFilePath,
                        CountsChanged countsChanged);
// Waits until the list file holds every change, then frees every record.
void DestroyDownloadList();
// Tells the one given at creation that the counts changed.
void TellCountsChanged(CountsNotice notice);
HWND DownloadListWindow();

int RowCount();
// Appends a Standby row for url with its record.
bool AddEntry(const std::wstring& url);
// Recomposes the row's record from the row, keeping its total size. With changed given, a
// record that comes out the same is left alone and changed tells which it was.
bool RebuildRowRecord(int row, bool* changed = nullptr);
// Sets (or replaces) the total size in the row's record; rounded to a whole number.
// Callable from any thread, like ReadTotalSize.
void StoreTotalSize(int row, double bytes);
// The row's stored total size, or -1 when it has none.
double ReadTotalSize(int row);
// Sets, replaces or (empty) removes the validator of the file the row's save file holds;
// ReadResumeValidator gives it back, or empty. Callable from any thread.
void StoreResumeValidator(int row, const std::wstring& validator);
std::wstring ReadResumeValidator(int row);

// The record of a row ("state|text|size|url[|total[ validator]]\n"), or empty for an unknown row.
std::wstring RowRecordText(int row);
// Every record in row order, as the list file holds them.
std::wstring AllRecordsText();
// The list file's bytes for the records: the mark, then every record in UTF-16LE with CR LF.
std::string AllRecordsFileBytes();

// The row's times, or null for a row index the list has never had room for.
RowTime* RowTimeOf(int row);

// The selected rows in row order.
std::vector<int> SelectedRows();

// Reading and writing the row itself.
int RowState(int row);
std::wstring RowText(int row, int column);
bool SetRowText(int row, int column, const std::wstring& text);
// The number column always shows row + 1; setting its text changes nothing.
bool SetRowState(int row, int state);
// Deletes the rows (indexes in ascending order) and their records in one pass; the rows
// after them move up and are numbered again. The selection is cleared.
void DeleteRows(const std::vector<int>& rows);
// Deletes every row and record.
void DeleteEveryRow();
// Puts the rows in a new order: order[i] is the index of the row that becomes row i. The
// records and the selection follow their rows.
void ReorderRows(const std::vector<int>& order);
// The control asks for a cell's text or a row's image: when drawing it, or when another
// program reads it with LVM_GETITEMTEXTW or LVM_GETITEMW.
void FillRowDisplayInfo(NMLVDISPINFOW* info);
// The control's search for typed text: the first row from start on (then from the top) whose
// number begins with the text, or -1.
int FindRowByNumberText(const wchar_t* text, int start);
// How many rows are in each state, kept up to date as rows are added, deleted and changed.
const std::array<int, kEntryStateCount>& RowStateCounts();

// While many rows change, the list is not redrawn row by row but once at the end.
class ListRedrawPause {
public:
    ListRedrawPause();
    ~ListRedrawPause();
    ListRedrawPause(const ListRedrawPause&) = delete;
    ListRedrawPause& operator=(const ListRedrawPause&) = delete;
};
