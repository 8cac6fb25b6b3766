// The list file beside the program: every row's record, one per line, in row order, UTF-16LE
// with its mark. Read once at start-up and replaced whole after every change of the list.
//
// Saving runs behind the changes, on a thread of its own: a change marks the list as changed,
// and a save starts as soon as none is running, carrying every change made before it. So a
// burst of changes costs one or two saves, not one each, and the interface thread never waits
// for the disk. A save that fails is tried again after a short pause.
#pragma once

#include <windows.h>

// Fills the empty list from the file; a missing file leaves it empty. Lines with a state
// outside 0-5, fewer than three "|" or no URL are skipped. A file that is there but cannot be
// read whole (not to be opened or decoded, or more rows than the list can take) is moved
// aside under a name that says so, and the list starts with what could be read; where the
// move fails too, nothing is saved for the rest of the session.
void LoadListFile();
// Once the main window is up: tells the user where a list file that could not be read went.
void TellOfUnreadListFile(HWND owner);
// After a change of the list: brings the file up to date with the records of every row. A
// crash at any instant leaves the old file or the new one. Returns at once; the file follows
// within about two save durations. False when saving is refused (see LoadListFile). On the
// interface thread.
bool SaveListFile();
// Waits until the file holds every change made so far (the end of a run, closing the window).
// False when it could not be written within a few seconds. On the interface thread.
bool FlushListFile();
// Flushes, then ends the saving thread: the list is going away.
void CloseListFile();
