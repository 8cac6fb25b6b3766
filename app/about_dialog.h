// The about box (dialog 200): the program's name, version and icon, a notice line and a link
// to the program's web page that behaves like a hyperlink.
#pragma once

#include <windows.h>

// The page the link opens; the dialog shows it after "URL : ".
extern const wchar_t kAboutPageUrl[];

// Shows the modal about box owned by the main window and returns when it is closed.
void ShowAboutDialog(HWND mainWindow);
