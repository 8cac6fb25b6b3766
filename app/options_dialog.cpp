#include "app/options_dialog.h"

#include "app/modal_dialog.h"
#include "app/settings.h"
#include "base/message_box.h"
#include "engine/run_state.h"
#include "res/options_dialogs_ids.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// Both up-down controls take whole numbers in this range.
constexpr int kSpinMinimum = 1;
constexpr int kSpinMaximum = 32767;

// The four switches, each with its check box.
const int kSwitchBoxes[] = {IDC_PROXY_ON, IDC_ASK_EXIT, IDC_IN_TRAY, IDC_BALLOON};
constexpr int kSwitchCount = 4;

// What the dialog shows and, after OK, what goes back into the settings.
struct OptionsDialogData {
    int connectionCount;
    int bufferKilobytes;
    int namingRule;
    int switches[kSwitchCount];  // in the order of kSwitchBoxes, 0 or 1
};

OptionsDialogData ChoicesFromSettings() {
    OptionsDialogData data = {};
    data.connectionCount = gSettings.connectionCount;
    data.bufferKilobytes = gSettings.bufferBytes / 1024;
    data.namingRule = gSettings.namingRule;
    data.switches[0] = gSettings.proxyOn;
    data.switches[1] = gSettings.askExit;
    data.switches[2] = gSettings.inTray;
    data.switches[3] = gSettings.balloon;
    return data;
}

void StoreChoices(const OptionsDialogData& data) {
    gSettings.connectionCount = data.connectionCount;
    gSettings.bufferBytes = data.bufferKilobytes * 1024;
    gSettings.namingRule = data.namingRule;
    gSettings.proxyOn = data.switches[0];
    gSettings.askExit = data.switches[1];
    gSettings.inTray = data.switches[2];
    gSettings.balloon = data.switches[3];
}

int ClampToSpin(long long value) {
    return static_cast<int>(std::clamp<long long>(value, kSpinMinimum, kSpinMaximum));
}

// The up-down control refuses a field that does not hold a number of its range and reports
// its last position instead. A field of digits (thousands separators allowed) becomes the
// nearest number of the range, so 0 gives 1 and 99999 gives 32767; anything else, an emptied
// field for instance, keeps the last position.
int NumberOfRefusedField(HWND field, int lastPosition) {
    wchar_t separator[8] = L"";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(GetWindowTextW(field, text.data(), static_cast<int>(text.size())));

    long long number = 0;
    bool anyDigit = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            number = std::min<long long>(number * 10 + (c - L'0'), kSpinMaximum + 1LL);
            anyDigit = true;
        } else if (std::wstring_view(separator).find(c) == std::wstring_view::npos) {
            return ClampToSpin(lastPosition);
        }
    }
    return ClampToSpin(anyDigit ? number : lastPosition);
}

int SpinValue(HWND dialog, int spinId, int fieldId) {
    BOOL refused = FALSE;
    int position = static_cast<int>(
        SendDlgItemMessageW(dialog, spinId, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&refused)));
    if (refused) {
        return NumberOfRefusedField(GetDlgItem(dialog, fieldId), position);
    }
    return ClampToSpin(position);
}

void SetSpin(HWND dialog, int spinId, int value) {
    SendDlgItemMessageW(dialog, spinId, UDM_SETRANGE32, kSpinMinimum, kSpinMaximum);
    SendDlgItemMessageW(dialog, spinId, UDM_SETPOS32, 0, ClampToSpin(value));
}

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The dialog shows the owner's current icon: the program's, or the busy one during a run.
void ShowOwnerIcon(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, GetClassLongPtrW(owner, GCLP_HICON));
}

// The balloon box only matters with the tray; disabled, it keeps its check mark.
void EnableBalloonWithTray(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_BALLOON), IsChecked(dialog, IDC_IN_TRAY));
}

void OnInitOptions(HWND dialog, const OptionsDialogData& data) {
    ShowOwnerIcon(dialog);
    CheckRadioButton(dialog, IDC_NAME_FILE, IDC_NAME_NUMBER_URL, IDC_NAME_FILE + data.namingRule);
    SetSpin(dialog, IDC_CONNECTION_SPIN, data.connectionCount);
    SetSpin(dialog, IDC_BUFFER_SPIN, data.bufferKilobytes);
    for (int i = 0; i < kSwitchCount; ++i) {
        CheckDlgButton(dialog, kSwitchBoxes[i], data.switches[i] ? BST_CHECKED : BST_UNCHECKED);
    }
    EnableBalloonWithTray(dialog);
}

void TakeChoices(HWND dialog, OptionsDialogData& data) {
    data.connectionCount = SpinValue(dialog, IDC_CONNECTION_SPIN, IDC_CONNECTION_COUNT);
    data.bufferKilobytes = SpinValue(dialog, IDC_BUFFER_SPIN, IDC_BUFFER_SIZE);
    for (int id = IDC_NAME_FILE; id <= IDC_NAME_NUMBER_URL; ++id) {
        if (IsChecked(dialog, id)) {
            data.namingRule = id - IDC_NAME_FILE;
            break;
        }
    }
    for (int i = 0; i < kSwitchCount; ++i) {
        data.switches[i] = IsChecked(dialog, kSwitchBoxes[i]) ? 1 : 0;
    }
}

void OnOptionsOk(HWND dialog, OptionsDialogData& data) {
    // The workers read the slot array and the settings while a run is active.
    if (IsRunActive()) {
        ShowNotice(dialog, L"ダウンロード中は設定変更できません");
        return;
    }
    TakeChoices(dialog, data);
    EndDialog(dialog, 1);
}

void OnOptionsCommand(HWND dialog, WORD id, OptionsDialogData& data) {
    if (id == IDC_IN_TRAY) {
        EnableBalloonWithTray(dialog);
    } else if (id == IDOK) {
        OnOptionsOk(dialog, data);
    }
}

constexpr DialogHandlers<OptionsDialogData> kOptionsHandlers = {OnInitOptions, OnOptionsCommand};

}  // namespace

bool RunOptionsDialog(HWND mainWindow) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
    OptionsDialogData data = ChoicesFromSettings();
    if (!RunModalDialog<OptionsDialogData, kOptionsHandlers>(mainWindow, IDD_OPTIONS, data)) {
        return false;
    }
    StoreChoices(data);
    ApplyOptions(mainWindow);
    return true;
}

void ApplyOptions(HWND mainWindow) {
    if (!AllocateConnectionSlots(gSettings.connectionCount)) {
        // The old array is untouched; the count must not promise slots that do not exist.
        gSettings.connectionCount = static_cast<int>(gConnectionSlots.size());
        ShowFailure(mainWindow,
                    L"メモリが不足しているため、同時ダウンロード数を変更できませんでした");
    }
    SaveOptions(mainWindow);
}
