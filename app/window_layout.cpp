#include "app/window_layout.h"

#include "app/settings.h"
#include "app/status_bar.h"
#include "bars/path_bars.h"
#include "base/display_scale.h"
#include "base/window_ids.h"
#include "res/resource.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr int kCaptionSeparatorId = 3000;
constexpr int kFieldSeparatorId = 3001;
// At 96 DPI; scaled to the system DPI where used.
constexpr int kCaptionMargin = 5;
constexpr int kFieldMargin = 5;

// The summed height of the visible bars, kept for placing the list view.
int gBarsHeight = 0;

int WindowHeight(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

RECT ButtonRect(HWND bar, int command) {
    RECT rect = {};
    SendMessageW(bar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

// Replaces the separator at index position by one of the given width and id.
void ReplaceSeparator(HWND bar, int position, int id, int width) {
    TBBUTTON separator = {width, id, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0};
    SendMessageW(bar, TB_DELETEBUTTON, position, 0);
    SendMessageW(bar, TB_INSERTBUTTONW, position, reinterpret_cast<LPARAM>(&separator));
}

// How many command buttons follow the field on each path bar.
int ButtonsAfterField(int barId) {
    switch (barId) {
        case kSaveFolderBarId:
            return 2;
        case kRefererBarId:
            return 1;
        default:
            return 4;
    }
}

// The main toolbar is made with CCS_NORESIZE and sized here. Wine's toolbar, left to size
// itself, takes the height of TB_AUTOSIZE from the rows of its previous wrap (before wrapping
// at the new width) and counts a whole row of buttons for each separator it wraps at: the bar
// stayed as tall as it had been at its narrowest and left an empty band under its rows. The
// rows themselves are laid out right, so the bar gets the client width, wraps at it, and is
// made as tall as its buttons reach plus the inset below the last row that the control keeps
// above the first: the height Windows gives a wrapped bar.
void FitToolbarToItsRows(HWND toolbar, int clientWidth) {
    RECT window = {};
    RECT client = {};
    GetWindowRect(toolbar, &window);
    GetClientRect(toolbar, &client);
    int frame = (window.bottom - window.top) - client.bottom;
    SetWindowPos(toolbar, nullptr, 0, 0, clientWidth, window.bottom - window.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);  // wraps the buttons at the new width

    int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    int top = -1;
    int bottom = 0;
    for (int i = 0; i < count; ++i) {
        RECT item = {};
        if (!SendMessageW(toolbar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)) ||
            IsRectEmpty(&item)) {
            continue;  // a hidden button takes no room
        }
        top = top < 0 ? item.top : std::min<int>(top, item.top);
        bottom = std::max<int>(bottom, item.bottom);
    }
    if (top < 0) {
        // No buttons: as tall as an empty bar of the control's button height.
        top = 2;
        bottom = top + HIWORD(SendMessageW(toolbar, TB_GETBUTTONSIZE, 0, 0));
    }
    SetWindowPos(toolbar, nullptr, 0, 0, clientWidth, frame + bottom + top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int StatusBarHeight(HWND mainWindow) {
    HWND statusBar = GetDlgItem(mainWindow, kStatusBarId);
    if (statusBar == nullptr || !gSettings.view[kViewStatusBar]) {
        return 0;
    }
    return WindowHeight(statusBar);
}

}  // namespace

int FieldSeparatorWidth(int windowWidth, int captionWidth, int buttonCount, int buttonWidth,
                        int gap) {
    return std::max(
        2 * ScaleForDpi(kFieldMargin),
        windowWidth - captionWidth - buttonCount * buttonWidth - (buttonCount + 1) * gap);
}

int LayOutBars(HWND mainWindow, int clientWidth) {
    HWND mainToolbar = GetDlgItem(mainWindow, kMainToolbarId);
    if (mainToolbar != nullptr) {
        FitToolbarToItsRows(mainToolbar, clientWidth);
    }

    HWND listBar = GetDlgItem(mainWindow, kDownloadListBarId);
    if (listBar != nullptr) {
        // Every caption is measured in the bars' font, each on its own.
        HDC dc = GetDC(listBar);
        auto font = reinterpret_cast<HFONT>(SendMessageW(listBar, WM_GETFONT, 0, 0));
        HGDIOBJ oldFont = SelectObject(dc, font);
        SIZE captionSize[kRefererBarId + 1] = {};
        for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
            const wchar_t* caption = PathBarCaption(barId);
            GetTextExtentPoint32W(dc, caption, static_cast<int>(wcslen(caption)),
                                  &captionSize[barId]);
        }
        SelectObject(dc, oldFont);
        ReleaseDC(listBar, dc);
        int textHeight = captionSize[kDownloadListBarId].cy;

        int dy = 0;
        for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
            HWND bar = GetDlgItem(mainWindow, barId);
            ReplaceSeparator(bar, 0, kCaptionSeparatorId,
                             captionSize[barId].cx + ScaleForDpi(kCaptionMargin));
            RECT rect = ButtonRect(bar, kCaptionSeparatorId);
            if (barId == kDownloadListBarId) {
                dy = (rect.top - rect.bottom + textHeight) / 2;
            }
            InflateRect(&rect, 0, dy);
            MoveWindow(PathBarCaptionWindow(barId), rect.left, rect.top, rect.right - rect.left,
                       rect.bottom - rect.top, TRUE);
        }

        // The field's frame, a button's width and the space between two buttons, all
        // measured on the download list bar.
        HWND listField = GetDlgItem(listBar, kPathBarEditBase + kDownloadListBarId);
        RECT window = {};
        RECT client = {};
        GetWindowRect(listField, &window);
        GetClientRect(listField, &client);
        int frame = ((window.bottom - window.top) - (client.bottom - client.top)) / 2;
        RECT chooseButton = ButtonRect(listBar, IDM_SELECT_DL_LIST);
        int buttonWidth = chooseButton.right - chooseButton.left;
        int gap = ButtonRect(listBar, IDM_EDIT_DL_LIST).left - chooseButton.right;

        for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
            HWND bar = GetDlgItem(mainWindow, barId);
            int width = FieldSeparatorWidth(clientWidth,
                                            captionSize[barId].cx + ScaleForDpi(kCaptionMargin),
                                            ButtonsAfterField(barId), buttonWidth, gap);
            ReplaceSeparator(bar, 1, kFieldSeparatorId, width);
            SendMessageW(bar, TB_AUTOSIZE, 0, 0);
            RECT rect = ButtonRect(bar, kFieldSeparatorId);
            InflateRect(&rect, -ScaleForDpi(kFieldMargin),
                        (rect.top - rect.bottom + textHeight) / 2 + frame);
            MoveWindow(GetDlgItem(bar, kPathBarEditBase + barId), rect.left, rect.top,
                       std::max(0L, rect.right - rect.left), rect.bottom - rect.top, TRUE);
        }
    }

    int y = 0;
    if (mainToolbar != nullptr && gSettings.view[kViewMainToolbar]) {
        y = WindowHeight(mainToolbar);
    }
    for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
        HWND bar = GetDlgItem(mainWindow, barId);
        if (bar != nullptr && gSettings.view[barId - kMainToolbarId]) {
            SetWindowPos(bar, nullptr, 0, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            y += WindowHeight(bar);
        }
    }
    gBarsHeight = y;
    return y;
}

void PlaceListView(HWND mainWindow, int clientWidth, int clientHeight) {
    SetWindowPos(GetDlgItem(mainWindow, kListViewId), nullptr, 0, gBarsHeight, clientWidth,
                 clientHeight - gBarsHeight - StatusBarHeight(mainWindow), SWP_NOZORDER);
}

void LayOutWindow(HWND mainWindow) {
    RECT client = {};
    GetClientRect(mainWindow, &client);
    LayOutBars(mainWindow, client.right);
    PlaceListView(mainWindow, client.right, client.bottom);
}

namespace {

// Each View item's menu command and the child window it shows or hides, by VIEW index.
struct ViewItem {
    UINT menuId;
    int childId;
};
constexpr ViewItem kViewItems[kViewBarCount] = {
    {IDM_VIEW_MAIN_TBAR, kMainToolbarId},      {IDM_VIEW_DL_LIST_TBAR, kDownloadListBarId},
    {IDM_VIEW_DL_LOG_TBAR, kDownloadLogBarId}, {IDM_VIEW_CANCEL_LOG_TBAR, kCancelLogBarId},
    {IDM_VIEW_ERR_LOG_TBAR, kErrorLogBarId},   {IDM_VIEW_DL_DIR_TBAR, kSaveFolderBarId},
    {IDM_VIEW_REF_TBAR, kRefererBarId},        {IDM_VIEW_STATUSBAR, kStatusBarId},
};

}  // namespace

void ToggleBar(HWND mainWindow, ViewBar view) {
    bool show = !gSettings.view[view];
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = show ? MFS_CHECKED : 0;
    SetMenuItemInfoW(GetMenu(mainWindow), kViewItems[view].menuId, FALSE, &item);
    gSettings.view[view] = show ? 1 : 0;
    HWND bar = GetDlgItem(mainWindow, kViewItems[view].childId);
    bool statusBar = view == kViewStatusBar;
    if (statusBar && show) {
        RefreshStatusBar(mainWindow);  // counts are not kept up to date while hidden
    }
    ShowWindow(bar, show ? SW_SHOW : SW_HIDE);
    if (statusBar) {
        // Only the list view's height changes; the bars above stay where they are.
        RECT client = {};
        GetClientRect(mainWindow, &client);
        PlaceListView(mainWindow, client.right, client.bottom);
        WriteViewKey(view, show, mainWindow);
    } else {
        WriteViewKey(view, show, mainWindow);
        LayOutWindow(mainWindow);
    }
}

void CheckViewMenuAtStartup(HMENU menu) {
    for (int bar = 0; bar < kViewBarCount; ++bar) {
        if (gSettings.viewAtStartup[bar]) {
            CheckMenuItem(menu, kViewItems[bar].menuId, MF_BYCOMMAND | MF_CHECKED);
        }
    }
}

void RebuildMainToolbar(HWND mainWindow) {
    ReplaceMainToolbar(mainWindow, gSettings.view[kViewMainToolbar] != 0);
    LayOutWindow(mainWindow);
}
