// The list file beside the program: every row's record, one per line, in row order, UTF-16LE
// with its mark. Read once at start-up and replaced whole after every change of the list.
//
// Saving runs behind the changes, on a thread of its own: a change marks the list as changed,
// and a save starts once none is running, carrying every change made before it. So a burst of
// changes costs one or two saves, not one each, and the interface thread never waits for the
// disk. Saves take at most about a tenth of the time: after each one the next waits about nine
// times as long as it took, within bounds, so a long list is not written back to back for a
// whole run. A save that fails is tried again after a short pause.
#pragma once

#include <windows.h>

#include "list/row_record.h"

#include <functional>
#include <string>
#include <vector>

// A line of the file as the list takes it: its fields, and the line itself as the row's record.
struct LoadedRow {
    ListLine fields;
    std::wstring record;
};

// Reads the file at path and hands each row it describes to takeRow, in file order, as it
// goes; a missing file gives none. Lines with a state outside 0-5, fewer than three "|" or no
// URL are skipped. A file that is there but cannot be read (not to be opened or decoded) is
// moved aside under a name that says so, and the list starts empty; so is a file whose rows
// the list cannot all take (takeRow returns false), after the rows it took. Where the move
// fails, nothing is saved for the rest of the session. Every later save writes what fileBytes
// gives at that moment (the mark and every record, as AllRecordsFileBytes makes them) to path.
using ListFileBytes = std::function<std::string()>;
void LoadListFile(const std::wstring& path, ListFileBytes fileBytes,
                  const std::function<bool(LoadedRow&)>& takeRow);
// Once the main window is up: tells the user where a list file that could not be read went.
void TellOfUnreadListFile(HWND owner);
// After a change of the list: brings the file up to date with the records of every row. A
// crash at any instant leaves the old file or the new one. Returns at once; the file follows
// within about eleven save durations, and within a second for a list of ten thousand rows.
// False when saving is refused (see LoadListFile). On the interface thread.
bool SaveListFile();
// Waits until the file holds every change made so far (the end of a run, closing the window).
// False when it could not be written within a few seconds. On the interface thread.
bool FlushListFile();
// Flushes, then ends the saving thread: the list is going away.
void CloseListFile();
