// The two faces of the main window: idle mode, and download mode while a run is active.
//
// Download mode locks what a run depends on (the list, the file paths, the options) and
// offers the stop command in place of the start command. The running title and the busy
// icon are set by the run start itself; going back to idle mode puts the idle ones back.
#pragma once

#include <windows.h>

#include "engine/run_state.h"

#include <cstdint>

// The program icon (resource 101) as a shared icon, loaded once from the program's module.
HICON IdleIcon();

// Locks the controls for a run. Interface thread, first step of a run start.
void BeginDownloadMode(HWND mainWindow);
// Unlocks them again and puts back the idle title and icon, in the tray too while the window
// sits there. Interface thread.
void RestoreIdleMode(HWND mainWindow);

// The last step of slot 0's worker, on its own thread: waits until every other worker has
// ended, returns the window to idle mode, resets the run's cursor, ends the run (slot 0's
// busy flag) and then, unless the run was stopped, tells the user that it is complete. Returns
// when that notice has been closed.
void EndOfRun(ConnectionSlot& slot0, int32_t& cursor);
