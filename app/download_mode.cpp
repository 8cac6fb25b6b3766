#include "app/download_mode.h"

#include "app/tray.h"
#include "app/window_identity.h"
#include "base/window_ids.h"
#include "res/resource.h"

#include <commctrl.h>

namespace {

const wchar_t kDownloadMenuText[] = L"ダウンロード実行(&D)\tF5";
const wchar_t kStopMenuText[] = L"ダウンロード中止(&D)\tF5";

// Menu commands that would change what the run reads: the list, the file paths, the
// options and the toolbar. The download command itself stays enabled; during a run the
// command table makes it the stop command.
const UINT kLockedMenuItems[] = {
    IDM_SELECT_DL_LIST, IDM_ADD_DL_LIST,       IDM_SELECT_DL_LOG,     IDM_SELECT_CANCEL_LOG,
    IDM_SELECT_ERR_LOG, IDM_SELECT_DL_DIR,     IDM_DOWNLOAD_SELECTED, IDM_DELETE_SELECTED,
    IDM_DELETE_ALL,     IDM_CUSTOMIZE_TOOLBAR, IDM_OPTIONS,
};

struct ButtonSwitch {
    int barId;
    UINT command;
    bool enabledDuringRun;
};

// The toolbar buttons of the same commands, and the stop button, which only a run enables.
// A button the user removed from the main toolbar is simply not found.
const ButtonSwitch kButtonSwitches[] = {
    {kMainToolbarId, IDM_DOWNLOAD, false},          {kMainToolbarId, IDM_STOP, true},
    {kMainToolbarId, IDM_DOWNLOAD_SELECTED, false}, {kMainToolbarId, IDM_DELETE_SELECTED, false},
    {kMainToolbarId, IDM_DELETE_ALL, false},        {kMainToolbarId, IDM_OPTIONS, false},
    {kDownloadListBarId, IDM_ADD_DL_LIST, false},   {kDownloadListBarId, IDM_SELECT_DL_LIST, false},
    {kDownloadLogBarId, IDM_SELECT_DL_LOG, false},  {kCancelLogBarId, IDM_SELECT_CANCEL_LOG, false},
    {kErrorLogBarId, IDM_SELECT_ERR_LOG, false},    {kSaveFolderBarId, IDM_SELECT_DL_DIR, false},
};

// The path bars whose fields a run reads; the Referer field stays usable.
const int kLockedFieldBars[] = {kDownloadListBarId, kDownloadLogBarId, kCancelLogBarId,
                                kErrorLogBarId, kSaveFolderBarId};

void SetMenuText(HMENU menu, UINT command, const wchar_t* text) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_TYPE;
    item.fType = MFT_STRING;
    item.dwTypeData = const_cast<wchar_t*>(text);
    SetMenuItemInfoW(menu, command, FALSE, &item);
}

void SetMenuState(HMENU menu, UINT command, UINT state) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = state;
    SetMenuItemInfoW(menu, command, FALSE, &item);
}

// The part both directions share, in one order.
void SwitchControls(HWND mainWindow, bool downloading) {
    HMENU menu = GetMenu(mainWindow);
    SetMenuText(menu, IDM_DOWNLOAD, downloading ? kStopMenuText : kDownloadMenuText);
    for (UINT command : kLockedMenuItems) {
        SetMenuState(menu, command, downloading ? MFS_GRAYED : MFS_ENABLED);
    }
    for (const ButtonSwitch& button : kButtonSwitches) {
        bool enabled = downloading == button.enabledDuringRun;
        SendMessageW(GetDlgItem(mainWindow, button.barId), TB_ENABLEBUTTON, button.command,
                     MAKELPARAM(enabled ? TRUE : FALSE, 0));
    }
    for (int barId : kLockedFieldBars) {
        HWND field = GetDlgItem(GetDlgItem(mainWindow, barId), kPathBarEditBase + barId);
        if (field != nullptr) {
            EnableWindow(field, downloading ? FALSE : TRUE);
        }
    }
}

}  // namespace

void BeginDownloadMode(HWND mainWindow) {
    SwitchControls(mainWindow, true);
}

void RestoreIdleMode(HWND mainWindow) {
    SwitchControls(mainWindow, false);
    SetWindowTextW(mainWindow, kMainWindowTitle);
    SetClassLongPtrW(mainWindow, GCLP_HICON, reinterpret_cast<LONG_PTR>(IdleIcon()));
    // The tray icon exists exactly while the window is hidden there.
    if (!IsWindowVisible(mainWindow)) {
        ModifyTrayIcon(mainWindow, IdleIcon(), kMainWindowTitle);
    }
}
