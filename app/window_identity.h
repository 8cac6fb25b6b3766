// What the main window is known by, for every part of the program that shows it: the
// program's module, the title, and the two icons.
#pragma once

#include <windows.h>

extern const wchar_t kMainWindowTitle[];
// The program's module, taken once when the window is created.
extern HINSTANCE gInstance;
// Loaded with the window's class (StartMainWindow).
extern HICON gBusyIcon;
// The program icon (resource 101) as a shared icon, loaded once from the program's module.
HICON IdleIcon();
// The icon the window shows now: busy while a run is active.
HICON CurrentIcon();
