#include "bars/choosers.h"

#include "base/window_ids.h"

#include <cderr.h>
#include <shlwapi.h>

#include <memory>
#include <utility>

namespace {

// Both dialogs take and give paths in buffers of this many characters, the terminator
// included.
constexpr int kPathChars = 520;

// Two pairs of name and pattern, each string ending with NUL, the list with an empty string.
const wchar_t kFileFilter[] = L"TXT ファイル (*.txt)\0*.txt\0全て (*.*)\0*.*\0";

const wchar_t* const kFileChooserTitles[] = {
    L"ダウンロードリストファイルを選択",
    L"ダウンロードログファイルを選択",
    L"中断ログファイルを選択",
    L"エラーログファイルを選択",
};
constexpr int kFileChooserCount = 4;

// The filter pair (1-based) last confirmed in each file chooser; 0 lets the dialog take the
// first pair. Process memory only.
DWORD gChosenFilter[kFileChooserCount] = {};

// The system's dialogs, or a test's stand-ins for them.
FileDialogCall gFileDialogCall;
FolderDialogCall gFolderDialogCall;

struct ItemListFree {
    void operator()(ITEMIDLIST* items) const { CoTaskMemFree(items); }
};

HWND PathField(HWND mainWindow, int barId) {
    return GetDlgItem(GetDlgItem(mainWindow, barId), kPathBarEditBase + barId);
}

BOOL CallFileDialog(OPENFILENAMEW& dialog, DWORD& error) {
    if (gFileDialogCall) {
        return gFileDialogCall(dialog, error);
    }
    BOOL confirmed = GetOpenFileNameW(&dialog);
    error = confirmed ? 0 : CommDlgExtendedError();
    return confirmed;
}

BOOL ShowFileDialog(OPENFILENAMEW& dialog) {
    DWORD error = 0;
    BOOL confirmed = CallFileDialog(dialog, error);
    // The dialog does not open at all for a proposed name it cannot parse (a quoted path, a
    // URL, "<" or "|"). The user asked for a dialog, so it opens once more without one.
    if (!confirmed && error == FNERR_INVALIDFILENAME) {
        dialog.lpstrFile[0] = L'\0';
        confirmed = CallFileDialog(dialog, error);
    }
    return confirmed;
}

// The folder dialog wants COM on its thread, which nothing else in the program needs.
PIDLIST_ABSOLUTE ShowSystemFolderDialog(BROWSEINFOW& browse) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return item;
}

PIDLIST_ABSOLUTE ShowFolderDialog(BROWSEINFOW& browse) {
    return gFolderDialogCall ? gFolderDialogCall(browse) : ShowSystemFolderDialog(browse);
}

// Opens the tree at the starting folder, whose text comes as the callback's data.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

}  // namespace

void ChoosePathBarFile(HWND mainWindow, int barId) {
    int chooser = barId - kDownloadListBarId;
    if (chooser < 0 || chooser >= kFileChooserCount) {
        return;
    }
    HWND field = PathField(mainWindow, barId);
    // The dialog starts in the folder of the current text and proposes its file name.
    wchar_t name[kPathChars] = L"";
    GetWindowTextW(field, name, kPathChars);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mainWindow;
    dialog.lpstrFilter = kFileFilter;
    dialog.nFilterIndex = gChosenFilter[chooser];
    dialog.lpstrFile = name;
    dialog.nMaxFile = kPathChars;
    dialog.lpstrTitle = kFileChooserTitles[chooser];
    // No existence checks: a log the run will create may be named before it exists.
    dialog.Flags = OFN_HIDEREADONLY;
    if (!ShowFileDialog(dialog)) {
        return;
    }
    gChosenFilter[chooser] = dialog.nFilterIndex;
    SetWindowTextW(field, name);
}

void ChooseSaveFolder(HWND mainWindow) {
    HWND field = PathField(mainWindow, kSaveFolderBarId);
    wchar_t start[kPathChars] = L"";
    GetWindowTextW(field, start, kPathChars);
    if (!PathIsDirectoryW(start)) {
        DWORD length = GetCurrentDirectoryW(kPathChars, start);
        if (length == 0 || length >= kPathChars) {
            start[0] = L'\0';  // too long for the buffer: the tree opens at its top
        }
    }

    wchar_t chosen[kPathChars] = L"";
    BROWSEINFOW browse = {};
    browse.hwndOwner = mainWindow;
    browse.pszDisplayName = chosen;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(start);
    std::unique_ptr<ITEMIDLIST, ItemListFree> item(ShowFolderDialog(browse));
    // An item without a file system path leaves the field as it is.
    if (item != nullptr && SHGetPathFromIDListW(item.get(), chosen)) {
        SetWindowTextW(field, chosen);
    }
}

void SetFileDialogCall(FileDialogCall call) {
    gFileDialogCall = std::move(call);
}

void SetFolderDialogCall(FolderDialogCall call) {
    gFolderDialogCall = std::move(call);
}
