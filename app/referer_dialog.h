// The Referer dialog and the Referer bar's switch: whether the Referer is sent, and its text.
#pragma once

#include <windows.h>

// Shows the dialog owned by the main window. After OK the Referer flag is set, the text goes
// into the Referer bar's field (which saves it) and the bar's button and field follow the
// flag, which is written as REFERER_ON. Returns true for OK. Also usable during a run.
bool RunRefererDialog(HWND mainWindow);

// The Referer bar's switch was clicked: the Referer flag follows the switch, the Referer field
// is enabled with it, and REFERER_ON is written (failure reported).
void TakeRefererStateFromButton(HWND mainWindow);
// After the Referer dialog: the switch and the field follow the Referer flag, and
// REFERER_ON is written (failure not reported).
void ShowRefererStateOnBar(HWND mainWindow);
