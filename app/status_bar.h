// The status bar at the bottom of the main window: counts of the rows per state.
#pragma once

#include <windows.h>

// Recomputes the parts and texts. Nothing is computed while the bar is hidden or absent.
void RefreshStatusBar(HWND mainWindow);
