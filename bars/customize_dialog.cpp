#include "bars/customize_dialog.h"

#include "bars/main_toolbar.h"
#include "bars/path_bars.h"
#include "base/display_scale.h"
#include "base/exception_boundary.h"
#include "base/message_box.h"
#include "res/customize_dialog_ids.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

// Command ids from here up are separator markers; below are the catalogue's commands. The
// lower pane's one marker always has this id.
constexpr int kFirstSeparatorId = 3001;
// A toolbar reports a click with the command id in the low word of WM_COMMAND.
constexpr int kLastSeparatorId = 0xFFFF;
// Between the two panes, at 96 DPI.
constexpr int kPaneGap = 50;
// A toolbar reports a click while it is still handling the mouse, and taking the clicked
// button away at that moment leaves it working on a button that is gone (under Wine it never
// returns when that was the last one). The pane posts itself the click and moves the button
// once the toolbar is done.
constexpr UINT kClickedMessage = WM_APP + 1;

const wchar_t kCurrentPaneClass[] = L"TBB_REMOVE";
const wchar_t kAvailablePaneClass[] = L"TBB_ADD";

// Both live as long as the process: marker ids stay distinct across openings.
int gSeparatorIdCounter = kFirstSeparatorId;
bool gPaneClassesRegistered = false;

struct CustomizeDialog {
    // Top-left corners of OK and Cancel relative to the client area's bottom-right corner,
    // measured once per opening: the buttons keep them when the dialog is resized.
    POINT okOffset;
    POINT cancelOffset;
    // Twice OK's vertical offset plus its height: what the panes give up to the buttons.
    int buttonRoom;
    // Asked at each OK: a run may start or end while the dialog is open.
    bool (*runActive)();
};

bool IsSeparatorMarker(int command) {
    return command >= kFirstSeparatorId;
}

TBBUTTON SeparatorMarker(int command) {
    TBBUTTON marker = kButtonCatalogue[kSeparatorMarkerImage];
    marker.idCommand = command;
    return marker;
}

// The catalogue's command button with this command id, or null.
const TBBUTTON* CatalogueEntryOf(int command) {
    for (int image = 0; image < kSeparatorMarkerImage; ++image) {
        if (kButtonCatalogue[image].idCommand == command) {
            return &kButtonCatalogue[image];
        }
    }
    return nullptr;
}

// Hands out the next marker id. While the current pane is being built there is no toolbar
// yet (null) and its few markers are consecutive ids; afterwards an id that has come round
// again and is still on the pane is skipped. 0 only when every id is in use.
int TakeSeparatorId(HWND currentToolbar) {
    for (int tries = kFirstSeparatorId; tries <= kLastSeparatorId; ++tries) {
        int id = gSeparatorIdCounter;
        gSeparatorIdCounter = id >= kLastSeparatorId ? kFirstSeparatorId : id + 1;
        if (currentToolbar == nullptr ||
            SendMessageW(currentToolbar, TB_COMMANDTOINDEX, id, 0) < 0) {
            return id;
        }
    }
    return 0;
}

// The current pane starts as the layout, each separator a fresh marker. The stop button is
// disabled in the layout but must be clickable here.
std::vector<TBBUTTON> CurrentPaneButtons() {
    std::vector<TBBUTTON> buttons;
    for (const TBBUTTON& record : gMainToolbarLayout) {
        if (record.fsStyle & BTNS_SEP) {
            buttons.push_back(SeparatorMarker(TakeSeparatorId(nullptr)));
            continue;
        }
        TBBUTTON button = record;
        if (button.fsState == 0) {
            button.fsState = TBSTATE_ENABLED;
        }
        buttons.push_back(button);
    }
    return buttons;
}

// The marker, then every command button the layout lacks, in catalogue order.
std::vector<TBBUTTON> AvailablePaneButtons() {
    bool placed[kSeparatorMarkerImage] = {};
    for (const TBBUTTON& record : gMainToolbarLayout) {
        if (!(record.fsStyle & BTNS_SEP) && record.iBitmap >= 0 &&
            record.iBitmap < kSeparatorMarkerImage) {
            placed[record.iBitmap] = true;
        }
    }
    std::vector<TBBUTTON> buttons = {SeparatorMarker(kFirstSeparatorId)};
    for (int image = 0; image < kSeparatorMarkerImage; ++image) {
        if (!placed[image]) {
            buttons.push_back(kButtonCatalogue[image]);
        }
    }
    return buttons;
}

HWND PaneToolbar(HWND dialog, int paneId, int toolbarId) {
    return GetDlgItem(GetDlgItem(dialog, paneId), toolbarId);
}

HWND CurrentToolbar(HWND dialog) {
    return PaneToolbar(dialog, IDC_CUSTOMIZE_CURRENT_PANE, IDC_CUSTOMIZE_CURRENT_TOOLBAR);
}

HWND AvailableToolbar(HWND dialog) {
    return PaneToolbar(dialog, IDC_CUSTOMIZE_AVAILABLE_PANE, IDC_CUSTOMIZE_AVAILABLE_TOOLBAR);
}

// The toolbar is refitted after every change of its buttons, so a row that a button wraps
// into, or that empties, shows at once.
void InsertButton(HWND toolbar, int index, const TBBUTTON& button) {
    SendMessageW(toolbar, TB_INSERTBUTTONW, index, reinterpret_cast<LPARAM>(&button));
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
}

bool DeleteButton(HWND toolbar, int command) {
    LRESULT index = SendMessageW(toolbar, TB_COMMANDTOINDEX, command, 0);
    if (index < 0) {
        return false;
    }
    SendMessageW(toolbar, TB_DELETEBUTTON, index, 0);
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    return true;
}

// A current button was clicked: it goes, and a command button reappears in the lower pane
// right after the marker.
void TakeOffButton(HWND dialog, int command) {
    if (!DeleteButton(CurrentToolbar(dialog), command) || IsSeparatorMarker(command)) {
        return;
    }
    if (const TBBUTTON* entry = CatalogueEntryOf(command)) {
        InsertButton(AvailableToolbar(dialog), 1, *entry);
    }
}

// An available button was clicked: it moves to the end of the current pane. The marker
// stays and appends a new separator each time.
void AppendButton(HWND dialog, int command) {
    HWND current = CurrentToolbar(dialog);
    TBBUTTON button = {};
    if (command == kFirstSeparatorId) {
        int id = TakeSeparatorId(current);
        if (id == 0) {
            return;
        }
        button = SeparatorMarker(id);
    } else {
        const TBBUTTON* entry = CatalogueEntryOf(command);
        if (entry == nullptr || !DeleteButton(AvailableToolbar(dialog), command)) {
            return;
        }
        button = *entry;
    }
    InsertButton(current, static_cast<int>(SendMessageW(current, TB_BUTTONCOUNT, 0, 0)), button);
}

// The pane's toolbar from its first buttons; false when it cannot be created.
bool CreatePaneToolbar(HWND pane, int toolbarId, std::vector<TBBUTTON> buttons) {
    HWND toolbar = CreateToolbarEx(
        pane, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE, toolbarId,
        kCatalogueSize, nullptr, reinterpret_cast<UINT_PTR>(MainToolbarImages()), buttons.data(),
        static_cast<int>(buttons.size()), 0, 0, ToolbarImageSize(), ToolbarImageSize(),
        sizeof(TBBUTTON));
    return toolbar != nullptr;
}

// A toolbar wraps its buttons at its own width before it takes its parent's: it gets the
// pane's width first, or a pane that grows would keep the rows it had while it was narrow
// (one button a row after its creation at 1 by 1).
void FitToolbar(HWND toolbar, int width) {
    RECT rect = {};
    GetWindowRect(toolbar, &rect);
    SetWindowPos(toolbar, nullptr, 0, 0, width, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
}

// What both panes share: the toolbar follows the pane's width, and a button's tip is its
// command's text (a marker has none).
LRESULT PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, int toolbarId) {
    switch (message) {
        case WM_SIZE:
            FitToolbar(GetDlgItem(pane, toolbarId), LOWORD(lParam));
            break;
        case WM_NOTIFY: {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            int command = LOWORD(info->hdr.idFrom);
            if (info->hdr.code == TTN_GETDISPINFOW && !IsSeparatorMarker(command)) {
                info->hinst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(pane, GWLP_HINSTANCE));
                info->lpszText = MAKEINTRESOURCEW(command);
            }
            break;
        }
        default:
            break;
    }
    return DefWindowProcW(pane, message, wParam, lParam);
}

// Creating a pane fails (-1) when its toolbar cannot be made: OK on a pane without one
// would save an empty layout.
LRESULT CreatePane(HWND pane, int toolbarId, std::vector<TBBUTTON> (*firstButtons)()) {
    try {
        return CreatePaneToolbar(pane, toolbarId, firstButtons()) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

LRESULT HandleCurrentPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return CreatePane(pane, IDC_CUSTOMIZE_CURRENT_TOOLBAR, CurrentPaneButtons);
        case WM_COMMAND:
            PostMessageW(pane, kClickedMessage, LOWORD(wParam), 0);
            return 0;
        case kClickedMessage:
            TakeOffButton(GetParent(pane), static_cast<int>(wParam));
            return 0;
        default:
            return PaneProc(pane, message, wParam, lParam, IDC_CUSTOMIZE_CURRENT_TOOLBAR);
    }
}

LRESULT CALLBACK CurrentPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<LRESULT>(
        pane, 0, [&] { return HandleCurrentPaneProc(pane, message, wParam, lParam); });
}

LRESULT HandleAvailablePaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return CreatePane(pane, IDC_CUSTOMIZE_AVAILABLE_TOOLBAR, AvailablePaneButtons);
        case WM_COMMAND:
            PostMessageW(pane, kClickedMessage, LOWORD(wParam), 0);
            return 0;
        case kClickedMessage:
            AppendButton(GetParent(pane), static_cast<int>(wParam));
            return 0;
        default:
            return PaneProc(pane, message, wParam, lParam, IDC_CUSTOMIZE_AVAILABLE_TOOLBAR);
    }
}

LRESULT CALLBACK AvailablePaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<LRESULT>(
        pane, 0, [&] { return HandleAvailablePaneProc(pane, message, wParam, lParam); });
}

// A class that an earlier opening registered before the other one failed is kept, so a
// later opening can still succeed.
bool RegisterPaneClass(const wchar_t* name, WNDPROC procedure, HINSTANCE instance, HCURSOR cursor) {
    WNDCLASSW paneClass = {};
    paneClass.style = CS_HREDRAW | CS_VREDRAW;
    paneClass.lpfnWndProc = procedure;
    paneClass.hInstance = instance;
    paneClass.hCursor = cursor;
    paneClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    paneClass.lpszClassName = name;
    return RegisterClassW(&paneClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool RegisterPaneClasses(HWND dialog, HINSTANCE instance) {
    if (gPaneClassesRegistered) {
        return true;
    }
    auto cursor =
        reinterpret_cast<HCURSOR>(GetClassLongPtrW(GetWindow(dialog, GW_OWNER), GCLP_HCURSOR));
    gPaneClassesRegistered =
        RegisterPaneClass(kCurrentPaneClass, CurrentPaneProc, instance, cursor) &&
        RegisterPaneClass(kAvailablePaneClass, AvailablePaneProc, instance, cursor);
    return gPaneClassesRegistered;
}

HWND CreatePaneWindow(HWND dialog, HINSTANCE instance, const wchar_t* className, int paneId) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, className, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 1, 1,
                           dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(paneId)), instance,
                           nullptr);
}

POINT OffsetFromCorner(HWND dialog, int buttonId) {
    RECT client = {};
    GetClientRect(dialog, &client);
    RECT button = {};
    GetWindowRect(GetDlgItem(dialog, buttonId), &button);
    POINT corner = {button.left, button.top};
    ScreenToClient(dialog, &corner);
    return {corner.x - client.right, corner.y - client.bottom};
}

void MoveButtonToCorner(HWND dialog, int buttonId, POINT offset, int width, int height) {
    HWND button = GetDlgItem(dialog, buttonId);
    SetWindowPos(button, nullptr, width + offset.x, height + offset.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    InvalidateRect(button, nullptr, TRUE);
}

// The panes share the height above the buttons equally with a gap between them; the buttons
// keep their distance from the bottom-right corner.
void LayOutDialog(HWND dialog, int width, int height) {
    auto* data = reinterpret_cast<CustomizeDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    HWND current = GetDlgItem(dialog, IDC_CUSTOMIZE_CURRENT_PANE);
    HWND available = GetDlgItem(dialog, IDC_CUSTOMIZE_AVAILABLE_PANE);
    // The first WM_SIZE comes before the panes exist.
    if (data == nullptr || current == nullptr || available == nullptr) {
        return;
    }
    int room = height + data->buttonRoom;
    int gap = ScaleForDpi(kPaneGap);
    int paneHeight = std::max(0, (room - gap) / 2);
    SetWindowPos(current, nullptr, 0, 0, width, paneHeight, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(current, nullptr, TRUE);
    SetWindowPos(available, nullptr, 0, room / 2 + gap / 2, width, paneHeight, SWP_NOZORDER);
    InvalidateRect(available, nullptr, TRUE);
    MoveButtonToCorner(dialog, IDOK, data->okOffset, width, height);
    MoveButtonToCorner(dialog, IDCANCEL, data->cancelOffset, width, height);
}

bool InitializePanes(HWND dialog, CustomizeDialog& data) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    if (!RegisterPaneClasses(dialog, instance) ||
        CreatePaneWindow(dialog, instance, kCurrentPaneClass, IDC_CUSTOMIZE_CURRENT_PANE) ==
            nullptr ||
        CreatePaneWindow(dialog, instance, kAvailablePaneClass, IDC_CUSTOMIZE_AVAILABLE_PANE) ==
            nullptr) {
        return false;
    }
    data.okOffset = OffsetFromCorner(dialog, IDOK);
    data.cancelOffset = OffsetFromCorner(dialog, IDCANCEL);
    RECT ok = {};
    GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
    data.buttonRoom = 2 * data.okOffset.y + (ok.bottom - ok.top);
    RECT client = {};
    GetClientRect(dialog, &client);
    LayOutDialog(dialog, client.right, client.bottom);
    return true;
}

INT_PTR OnInitDialog(HWND dialog, CustomizeDialog* data) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 static_cast<LPARAM>(GetClassLongPtrW(GetWindow(dialog, GW_OWNER), GCLP_HICON)));
    if (!InitializePanes(dialog, *data)) {
        ShowFailure(dialog, L"ダイアログの初期化に失敗しました");
        EndDialog(dialog, 0);
    }
    return TRUE;
}

// During a run the layout must not change under the running toolbar; the dialog stays open
// with the user's changes, to be confirmed once the run is over or cancelled.
void OnOk(HWND dialog) {
    auto* data = reinterpret_cast<CustomizeDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (data->runActive()) {
        ShowNotice(dialog, L"ダウンロード中はカスタマイズできません");
        return;
    }
    SaveToolbarLayout(CurrentToolbar(dialog));
    EndDialog(dialog, 1);
}

INT_PTR HandleCustomizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, reinterpret_cast<CustomizeDialog*>(lParam));
        case WM_SIZE:
            LayOutDialog(dialog, LOWORD(lParam), HIWORD(lParam));
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                OnOk(dialog);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK CustomizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<INT_PTR>(
        dialog, FALSE, [&] { return HandleCustomizeDialogProc(dialog, message, wParam, lParam); });
}

}  // namespace

bool RunCustomizeDialog(HWND mainWindow, bool (*runActive)()) {
    CustomizeDialog data = {};
    data.runActive = runActive;
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(mainWindow, GWLP_HINSTANCE));
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CUSTOMIZE), mainWindow,
                           CustomizeDialogProc, reinterpret_cast<LPARAM>(&data)) == 1;
}

int NextSeparatorMarkerId() {
    return gSeparatorIdCounter;
}

void SetNextSeparatorMarkerId(int id) {
    gSeparatorIdCounter = std::clamp(id, kFirstSeparatorId, kLastSeparatorId);
}
