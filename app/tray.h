// The program's one notification-area icon (icon id 1), shown while the main window sits
// hidden in the tray.
//
// Every call to the shell goes through CallTrayShell, so tests can install an observer that
// records the calls and answers them instead of the shell.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

constexpr UINT kTrayIconId = 1;
// The icon's mouse messages reach the main window as this message.
constexpr UINT kTrayCallbackMessage = WM_APP;

// Receives the message (NIM_ADD, NIM_MODIFY, NIM_DELETE) and the record, and returns the
// result the caller sees.
using TrayObserver = std::function<BOOL(DWORD message, const NOTIFYICONDATAW& data)>;

// The one door to Shell_NotifyIconW.
BOOL CallTrayShell(DWORD message, NOTIFYICONDATAW& data);
// An empty observer restores the real shell.
void SetTrayObserver(TrayObserver observer);

// Puts the icon into the notification area with the image given (the window's current icon)
// and the main window's current title as the tip. True when the shell took it.
bool AddTrayIcon(HWND mainWindow, HICON icon);
// Removes the icon; harmless when there is none.
void DeleteTrayIcon(HWND mainWindow);
// The icon's right-click menu: start a run, or stop the active one, open the save folder,
// exit. The chosen item reaches the main window as an ordinary WM_COMMAND.
void ShowTrayMenu(HWND mainWindow, bool runActive);

// Changes the image and the tip (at most 127 characters) of the icon. Failures are ignored:
// the icon may be gone already.
void ModifyTrayIcon(HWND mainWindow, HICON icon, const std::wstring& tip);
// Shows a balloon with a title and a text over the icon, without an image and with the
// shell's own time-out.
void ShowTrayBalloon(HWND mainWindow, const std::wstring& title, const std::wstring& text);
