// The main toolbar's customization dialog: the upper pane shows the current buttons, the
// lower pane the buttons that can be added. A click on a current button takes it off, a click
// on an available button appends it. Separators are shown as marker buttons (image 35); the
// lower pane's marker stays and appends a new separator each time it is clicked.
#pragma once

#include <windows.h>

// Runs the modal dialog owned by the main window. On OK (refused with a notice while
// runActive says a download run is active, the dialog staying open) the current pane becomes the
// layout and is written to the layout file, and true is returned: the caller then rebuilds the main
// toolbar. Every other way out changes nothing and returns false.
bool RunCustomizeDialog(HWND mainWindow, bool (*runActive)());

// The command id the next separator marker put into the current pane takes. The count runs
// on over the whole process, from 3001; toolbars report clicks in 16 bits, so after 65535 it
// starts again at 3001, skipping ids still on the pane.
int NextSeparatorMarkerId();
void SetNextSeparatorMarkerId(int id);
