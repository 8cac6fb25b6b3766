// The door a run goes through to the main window (see engine/run_window.h): the application
// reads the window's fields and settings for the run and carries out its window effects.
#pragma once

#include <windows.h>

#include "engine/run_window.h"

// The door of the main window; the same one for every run of that window.
RunWindow& RunWindowOf(HWND mainWindow);
