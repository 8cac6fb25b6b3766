// The options dialog: connection count, buffer size, naming rule and the four switches of the
// OPTION section.
#pragma once

#include <windows.h>

// Shows the dialog owned by the main window; after OK puts its choices into gSettings and
// applies them (ApplyOptions). Returns true for OK. OK is refused while a run is active.
bool RunOptionsDialog(HWND mainWindow);

// Resizes the slot array to the connection count in gSettings, then writes the seven OPTION
// keys. When the array cannot grow, the count goes back to the slots that exist and the user
// is told.
void ApplyOptions(HWND mainWindow);
