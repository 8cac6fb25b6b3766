#include "app/tray.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

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
