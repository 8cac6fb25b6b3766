// Reading a path bar's edit field. Paths and the Referer are never cached: every operation
// reads the field at the moment it needs the text.
#pragma once

#include <windows.h>

#include <string>

// The text of edit field 3000 + barId inside path bar barId, at most 1023 characters;
// empty when the bar does not exist.
std::wstring ReadPathBarText(HWND mainWindow, int barId);
// The field's whole text, however long (the Referer is sent as it stands).
std::wstring ReadWholePathBarText(HWND mainWindow, int barId);
