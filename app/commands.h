// The command table: every WM_COMMAND of the main window (menu, accelerators, toolbar and
// path bar buttons, tray menu) is looked up here and runs its row.
#pragma once

#include <windows.h>

// What a command does while a download run is active.
enum class DuringRun {
    kAllowed,  // works as well
    kRefused,  // does nothing
    kStops,    // acts as the stop command
};

struct CommandRow;
using CommandAction = void (*)(HWND mainWindow, const CommandRow& row);

struct CommandRow {
    UINT id;
    DuringRun duringRun;
    CommandAction action;
    int barId;     // the path bar whose field the action reads, 0 when none
    int argument;  // what else the action is about: an entry state (state and selection
                   // commands) or a VIEW index (View items); 0 when nothing
};

// The row of a command id, or null for ids outside the table.
const CommandRow* FindCommand(UINT id);
// Dispatches the low word of wParam. Always handled: the window procedure returns 0.
void OnCommand(HWND mainWindow, WPARAM wParam);
