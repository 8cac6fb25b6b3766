// The Referer dialog: whether the Referer is sent, and its text.
#pragma once

#include <windows.h>

// Shows the dialog owned by the main window. After OK the Referer flag is set, the text goes
// into the Referer bar's field (which saves it) and the bar's button and field follow the
// flag, which is written as REFERER_ON. Returns true for OK. Also usable during a run.
bool RunRefererDialog(HWND mainWindow);
