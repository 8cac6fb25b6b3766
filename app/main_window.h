// The program's one top-level window: its class, creation, message loop step and procedure.
#pragma once

#include <windows.h>

#include "app/window_identity.h"

extern const wchar_t kMainWindowClass[];

// Loads the busy icon, registers the class and creates the visible main window.
// Returns null when the class or the window cannot be created.
HWND StartMainWindow(HINSTANCE instance);

// One message of the loop: accelerators first, then the ordinary translation and dispatch.
void DispatchMainWindowMessage(HWND mainWindow, HACCEL accelerators, MSG& message);

// The thread that a close during a run waits on, or null when none was started. The window's
// destruction ends it before the slots it reads are freed.
HANDLE ExitWaitThreadHandle();

// The main window's menu, loaded once with the window.
extern HMENU gMainMenu;
// The message the shell broadcasts when the taskbar comes back, registered once.
extern UINT gTaskbarCreatedMessage;
