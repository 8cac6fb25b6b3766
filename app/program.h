// The program from start to exit: single instance, sockets, settings, window, message loop.
#pragma once

#include <windows.h>

// Returns the process exit code: 0 after a normal end and for a second instance, -1 when the
// mutex, the socket library or the main window cannot be had.
int RunProgram(HINSTANCE instance);
