#include "app/referer_dialog.h"

#include "app/modal_dialog.h"
#include "app/settings.h"
#include "bars/path_bars.h"
#include "base/path_bar_text.h"
#include "base/window_ids.h"
#include "res/options_dialogs_ids.h"

#include <string>

namespace {

struct RefererDialogData {
    int refererOn;      // 0 or 1
    std::wstring text;  // the Referer, whole: the dialog never shortens it
};

std::wstring WholeText(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(GetWindowTextW(control, text.data(), static_cast<int>(text.size())));
    return text;
}

HWND RefererField(HWND mainWindow) {
    return GetDlgItem(GetDlgItem(mainWindow, kRefererBarId), kPathBarEditBase + kRefererBarId);
}

// The dialog shows the owner's current icon: the program's, or the busy one during a run.
void ShowOwnerIcon(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, GetClassLongPtrW(owner, GCLP_HICON));
}

void EnableTextWithFlag(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_REFERER_TEXT),
                 IsDlgButtonChecked(dialog, IDC_REFERER_ON) == BST_CHECKED);
}

void OnInitReferer(HWND dialog, const RefererDialogData& data) {
    ShowOwnerIcon(dialog);
    CheckDlgButton(dialog, IDC_REFERER_ON, data.refererOn ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(dialog, IDC_REFERER_TEXT, data.text.c_str());
    EnableTextWithFlag(dialog);
}

void OnRefererOk(HWND dialog, RefererDialogData& data) {
    data.refererOn = IsDlgButtonChecked(dialog, IDC_REFERER_ON) == BST_CHECKED ? 1 : 0;
    data.text = WholeText(GetDlgItem(dialog, IDC_REFERER_TEXT));
    EndDialog(dialog, 1);
}

void OnRefererCommand(HWND dialog, WORD id, RefererDialogData& data) {
    if (id == IDC_REFERER_ON) {
        EnableTextWithFlag(dialog);
    } else if (id == IDOK) {
        OnRefererOk(dialog, data);
    }
}

constexpr DialogHandlers<RefererDialogData> kRefererHandlers = {OnInitReferer, OnRefererCommand};

}  // namespace

bool RunRefererDialog(HWND mainWindow) {
    RefererDialogData data = {gSettings.refererOn != 0 ? 1 : 0,
                              ReadWholePathBarText(mainWindow, kRefererBarId)};
    if (!RunModalDialog<RefererDialogData, kRefererHandlers>(mainWindow, IDD_REFERER, data)) {
        return false;
    }
    gSettings.refererOn = data.refererOn;
    // The bar saves its field's text under REFERER on every change, disabled or not.
    if (HWND field = RefererField(mainWindow)) {
        SetWindowTextW(field, data.text.c_str());
    }
    ShowRefererStateOnBar(mainWindow);
    return true;
}

void TakeRefererStateFromButton(HWND mainWindow) {
    gSettings.refererOn = RefererSwitchPressed(mainWindow) ? 1 : 0;
    EnableRefererField(mainWindow, gSettings.refererOn != 0);
    WriteRefererState(mainWindow);
}

void ShowRefererStateOnBar(HWND mainWindow) {
    ShowRefererSwitch(mainWindow, gSettings.refererOn != 0);
    SaveRefererState();
}
