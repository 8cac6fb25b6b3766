// The vertical stack of the main window: main toolbar, the six path bars, the list view
// and the status bar; the View menu that shows and hides the bars.
#pragma once

#include <windows.h>

#include "app/settings.h"

// The width a path bar's field separator gets: what the caption (captionWidth) and the bar's
// buttons leave of the window width. In a window narrower than a bar's caption and buttons
// the field shrinks away and the caption and buttons stay whole: the separator keeps just
// the field's margins (a toolbar would draw a separator of width 0 at its default width).
int FieldSeparatorWidth(int windowWidth, int captionWidth, int buttonCount, int buttonWidth,
                        int gap);

// Sizes each path bar's caption and field for the client width, stacks the visible bars
// from the top and returns their summed height.
int LayOutBars(HWND mainWindow, int clientWidth);
// The list view fills what the bars above and the visible status bar below leave.
void PlaceListView(HWND mainWindow, int clientWidth, int clientHeight);
// Both of the above for the current client area.
void LayOutWindow(HWND mainWindow);

// The View menu items: a visible bar is hidden, a hidden one shown; the VIEW key follows.
void ToggleBar(HWND mainWindow, ViewBar view);
// Check marks of the bars that were visible when the program started.
void CheckViewMenuAtStartup(HMENU menu);

// A new main toolbar from the current layout, used at once for the stack.
void RebuildMainToolbar(HWND mainWindow);
