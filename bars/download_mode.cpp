#include "bars/download_mode.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "app/tray.h"
#include "base/interface_thread.h"
#include "base/locks.h"
#include "base/message_box.h"
#include "base/window_ids.h"
#include "list/list_file.h"
#include "res/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>

namespace {

// How often the end of a run looks whether the other workers have ended.
constexpr DWORD kOtherWorkersPollMs = 250;

const wchar_t kDownloadMenuText[] = L"ダウンロード実行(&D)\tF5";
const wchar_t kStopMenuText[] = L"ダウンロード中止(&D)\tF5";
const wchar_t kCompletionText[] = L"ダウンロードが完了しました";

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

std::atomic<HICON> gIdleIcon{nullptr};

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

// CONNECT_NUM as held in memory, never more than the slots that exist.
size_t ConnectionCount() {
    return std::min(static_cast<size_t>(std::max(gSettings.connectionCount, 1)),
                    gConnectionSlots.size());
}

bool OtherWorkersIdle() {
    size_t count = ConnectionCount();
    for (size_t number = 1; number < count; ++number) {
        if (ReadSlotBusy(gConnectionSlots[number]) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

HICON IdleIcon() {
    HICON icon = gIdleIcon.load();
    if (icon == nullptr) {
        // A shared icon is the same handle however often it is loaded, so two threads that
        // race here store the same value.
        icon = static_cast<HICON>(LoadImageW(gInstance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, 0,
                                             0, LR_DEFAULTSIZE | LR_SHARED));
        gIdleIcon.store(icon);
    }
    return icon;
}

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

void EndOfRun(ConnectionSlot& slot0, int32_t& cursor) {
    HWND mainWindow = slot0.owner;

    // The other workers set their busy flags to 0 as their last action; they may still be
    // handing their last row updates to the interface thread, which this sleep never blocks.
    while (!OtherWorkersIdle()) {
        Sleep(kOtherWorkersPollMs);
    }

    // The windows belong to the interface thread, which carries the change out in one sent
    // message while this thread holds no lock.
    // The list file is current before the user hears that the run is over.
    RunOnInterfaceThread([mainWindow] {
        FlushListFile();
        RestoreIdleMode(mainWindow);
    });

    {
        // No worker is left to claim from the cursor; the lock only keeps the rule that
        // the cursors are touched under it.
        LockGuard guard(gCursorLock);
        cursor = 0;
    }
    // Read while the run still blocks the options dialog, which may change it afterwards.
    bool balloon = gSettings.balloon != 0;
    // From here on a new run may start, and the slot array may change: slot 0 is not
    // touched again.
    WriteSlotBusy(slot0, 0);

    if (gStopFlag != 0) {
        return;
    }
    if (balloon && !IsWindowVisible(mainWindow)) {
        ShowTrayBalloon(mainWindow, kCaptionConfirm, kCompletionText);
    } else {
        // Runs its own modal loop on this thread; the user may already start the next run.
        ShowNotice(mainWindow, kCompletionText);
    }
}
