// The file and folder choosers of commands 1000 to 1004. Each opens the system's dialog at
// what its path bar holds and puts the user's choice into that bar's field; the field stores
// it in the settings file by itself. A cancelled dialog changes nothing.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <functional>

// Commands 1000 to 1003: the download list file (bar 2) or one of the three log files
// (bars 3 to 5). Each of the four remembers, for as long as the program runs, the file type
// filter that was last confirmed in it.
void ChoosePathBarFile(HWND mainWindow, int barId);
// Command 1004: the save folder (bar 6). The tree opens at the field's folder, or at the
// current directory when the field names none.
void ChooseSaveFolder(HWND mainWindow);

// The doors to the two system dialogs; tests answer them instead of a person.
// Shows the file dialog. When it returns FALSE, error holds CommDlgExtendedError (0 for a
// cancel).
using FileDialogCall = std::function<BOOL(OPENFILENAMEW& dialog, DWORD& error)>;
// Shows the folder dialog and returns the chosen item, which the caller frees, or null.
using FolderDialogCall = std::function<PIDLIST_ABSOLUTE(BROWSEINFOW& dialog)>;
// An empty call restores the system's dialog.
void SetFileDialogCall(FileDialogCall call);
void SetFolderDialogCall(FolderDialogCall call);
