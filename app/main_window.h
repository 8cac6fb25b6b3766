// The program's one top-level window: its class, creation, message loop step and procedure.
#pragma once

#include <windows.h>

extern const wchar_t kMainWindowClass[];
extern const wchar_t kMainWindowTitle[];

// Loads the busy icon, registers the class and creates the visible main window.
// Returns null when the class or the window cannot be created.
HWND StartMainWindow(HINSTANCE instance);

// One message of the loop: accelerators first, then the ordinary translation and dispatch.
void DispatchMainWindowMessage(HWND mainWindow, HACCEL accelerators, MSG& message);

extern HINSTANCE gInstance;
extern HMENU gMainMenu;
extern HICON gBusyIcon;
extern UINT gTaskbarCreatedMessage;
