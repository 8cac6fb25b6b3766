// Commands that change many rows at once: applying a log, setting states, deleting rows.
// All run on the interface thread.
#pragma once

#include <windows.h>

#include <string>

enum class LogKind { kDownload, kCancel, kError };

// Every row whose URL stands in the log takes the log's state: Done, Interrupted (with its
// stored total in the text) or Error. False, with the list unchanged, when the log cannot be
// read. The list is saved once at the end, and only when a row matched.
bool ApplyLogFile(const std::wstring& path, LogKind log);

// The selected rows, or all rows, take the state and its text; their size text and stored
// total stay. The list is saved and the counts told even when no row changed.
void SetRowsState(int state, const wchar_t* stateText, bool selectedOnly);

// Deletes the selected rows and numbers the rest 1, 2, 3, ... again. False, with the list
// unchanged, when there is no memory for the work.
bool DeleteSelectedRows();
// Deletes every row; the list file then holds only its byte order mark.
void DeleteAllRows();
