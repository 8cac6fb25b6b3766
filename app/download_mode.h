// The two faces of the main window: idle mode, and download mode while a run is active.
//
// Download mode locks what a run depends on (the list, the file paths, the options) and
// offers the stop command in place of the start command. The running title and the busy
// icon are set by the run start itself; going back to idle mode puts the idle ones back.
#pragma once

#include <windows.h>

// Locks the controls for a run. Interface thread, first step of a run start.
void BeginDownloadMode(HWND mainWindow);
// Unlocks them again and puts back the idle title and icon, in the tray too while the window
// sits there. Interface thread.
void RestoreIdleMode(HWND mainWindow);
