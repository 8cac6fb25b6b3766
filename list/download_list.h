// The download list: a report-style list view with one row per URL, and beside each row its
// record, the one-line text the list file is made of.
//
// Rows and records belong to the interface thread. Workers reach them only through
// RunOnInterfaceThread, so the list needs no lock of its own.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The state of an entry: the row's image index, and the only thing any code tests.
enum EntryState {
    kStandby = 0,
    kPreparing = 1,
    kDownloading = 2,
    kDone = 3,
    kInterrupted = 4,
    kError = 5,
};
constexpr int kEntryStateCount = 6;

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

// Per row: the tick of the last shown and of the last saved update while Downloading.
struct RowTime {
    uint32_t shown;
    uint32_t saved;
};

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
// Frees the row's record and moves every later record one place down.
void RemoveRowRecord(int row);
// Removes the records of rows already deleted from the control (indexes of the rows as they
// were, in any order) in one pass.
void RemoveRowRecords(std::vector<int> rows);
// Frees every record (the control has no rows left).
void ClearRowRecords();
// After the control has reordered its rows: the records follow, entry i being row i's.
void ReorderRecordsLikeRows();
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

// The row's times, or null for a row index the list has never had room for.
RowTime* RowTimeOf(int row);

// The selected rows in row order.
std::vector<int> SelectedRows();

// Reading and writing the row itself.
int RowState(int row);
std::wstring RowText(int row, int column);
bool SetRowText(int row, int column, const std::wstring& text);
// Sets the number (row + 1) and the state icon in one update.
bool SetRowNumberAndState(int row, int state);
bool SetRowState(int row, int state);
// Deleting rows from the control; their records are the caller's to remove.
bool DeleteListRow(int row);
bool DeleteAllListRows();
// How many rows are in each state, kept up to date as rows are added, deleted and changed.
const std::array<int, kEntryStateCount>& RowStateCounts();

// Turning redraw off for a bulk fill makes 100,000 rows a matter of a second instead of
// minutes: otherwise every insertion updates the scroll bars.
class ListRedrawPause {
public:
    ListRedrawPause();
    ~ListRedrawPause();
    ListRedrawPause(const ListRedrawPause&) = delete;
    ListRedrawPause& operator=(const ListRedrawPause&) = delete;
};
