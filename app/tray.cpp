#include "app/tray.h"

#include "base/owned_handle.h"
#include "res/resource.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Where the tray calls go instead of the shell, while a test watches them; empty otherwise.
TrayObserver gObserver;

// The record for icon 1 of the main window, with nothing to change yet.
NOTIFYICONDATAW TrayRecord(HWND mainWindow) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = mainWindow;
    data.uID = kTrayIconId;
    return data;
}

// Copies text into one of the record's fixed fields, cut to leave room for the terminator.
template <size_t N>
void CopyField(wchar_t (&field)[N], const std::wstring& text) {
    size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), length, std::begin(field));
    field[length] = L'\0';
}

struct MenuTraits {
    using Handle = HMENU;
    static Handle None() { return nullptr; }
    static bool Close(Handle menu) { return DestroyMenu(menu) != 0; }
};
using OwnedMenu = OwnedHandle<MenuTraits>;

// The main window's title as it stands, for the tip.
std::wstring WindowTitle(HWND mainWindow) {
    wchar_t title[128] = L"";
    GetWindowTextW(mainWindow, title, 128);
    return title;
}

OwnedMenu BuildTrayMenu(bool runActive) {
    OwnedMenu menu(CreatePopupMenu());
    if (!menu) {
        return menu;
    }
    // During a run the first item stops it; both reach the command table as usual.
    if (runActive) {
        AppendMenuW(menu.get(), MF_STRING, IDM_STOP, L"ダウンロード中止(&D)");
    } else {
        AppendMenuW(menu.get(), MF_STRING, IDM_DOWNLOAD, L"ダウンロード実行(&D)");
    }
    AppendMenuW(menu.get(), MF_STRING, IDM_OPEN_DL_DIR, L"保存フォルダを開く(&H)");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, IDM_EXIT, L"終了(&X)");
    return menu;
}

// Handles the message that the menu's item left in the queue (the posted WM_COMMAND) right
// away, so the choice takes effect before the tray callback returns. A quit request is put
// back for the message loop.
void DispatchOnePendingMessage() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return;
    }
    if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

BOOL CallTrayShell(DWORD message, NOTIFYICONDATAW& data) {
    if (gObserver) {
        return gObserver(message, data);
    }
    return Shell_NotifyIconW(message, &data);
}

void SetTrayObserver(TrayObserver observer) {
    gObserver = std::move(observer);
}

bool AddTrayIcon(HWND mainWindow, HICON icon) {
    NOTIFYICONDATAW data = TrayRecord(mainWindow);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;
    CopyField(data.szTip, WindowTitle(mainWindow));
    return CallTrayShell(NIM_ADD, data) != FALSE;
}

void DeleteTrayIcon(HWND mainWindow) {
    NOTIFYICONDATAW data = TrayRecord(mainWindow);
    CallTrayShell(NIM_DELETE, data);
}

void ShowTrayMenu(HWND mainWindow, bool runActive) {
    OwnedMenu menu = BuildTrayMenu(runActive);
    if (!menu) {
        return;
    }
    POINT cursor = {};
    GetCursorPos(&cursor);
    // A tray menu only closes on a click elsewhere when its owner is the foreground window.
    SetForegroundWindow(mainWindow);
    TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, mainWindow, nullptr);
    DispatchOnePendingMessage();
}

void ModifyTrayIcon(HWND mainWindow, HICON icon, const std::wstring& tip) {
    NOTIFYICONDATAW data = TrayRecord(mainWindow);
    data.uFlags = NIF_ICON | NIF_TIP;
    data.hIcon = icon;
    CopyField(data.szTip, tip);
    CallTrayShell(NIM_MODIFY, data);
}

void ShowTrayBalloon(HWND mainWindow, const std::wstring& title, const std::wstring& text) {
    NOTIFYICONDATAW data = TrayRecord(mainWindow);
    // NIF_INFO alone: the image and the tip stay as they are. No NIIF_* image and a zero
    // time-out, which leaves the balloon's duration to the shell.
    data.uFlags = NIF_INFO;
    CopyField(data.szInfoTitle, title);
    CopyField(data.szInfo, text);
    CallTrayShell(NIM_MODIFY, data);
}
