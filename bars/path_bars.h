// The seven toolbars of the main window: the main toolbar and the six path bars below it
// (download list file, the three logs, save folder, Referer).
//
// A path bar's edit field is the only home of its value while the program runs; every
// change of the field is written to the settings file at once.
#pragma once

#include <windows.h>

// Loads the toolbar layout, prepares the image strips and creates the seven toolbars with
// their captions and fields. A window that cannot be created is simply missing.
void CreateBars(HWND mainWindow);

// Creates a new main toolbar from the current layout in place of the old one, which is
// closed. The caller lays the window out again.
void ReplaceMainToolbar(HWND mainWindow);

// The prepared image strip of the main toolbar (bitmap 300), shared with the customization
// dialog. Null until the bars have been created.
HBITMAP MainToolbarImages();

// The caption of a path bar (bars 2 to 7) and its TOOLBAR key.
const wchar_t* PathBarCaption(int barId);
const wchar_t* PathBarKey(int barId);
HWND PathBarCaptionWindow(int barId);

// The Referer bar's toggle button was clicked: the Referer flag follows the button, the
// Referer field is enabled with it, and REFERER_ON is written (failure reported).
void TakeRefererStateFromButton(HWND mainWindow);
// After the Referer dialog: the button and the field follow the Referer flag, and
// REFERER_ON is written (failure not reported).
void ShowRefererStateOnBar(HWND mainWindow);
