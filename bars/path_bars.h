// The seven toolbars of the main window: the main toolbar and the six path bars below it
// (download list file, the three logs, save folder, Referer).
//
// A path bar's edit field is the only home of its value while the program runs; every
// change of the field is written to the settings file at once.
#pragma once

#include <windows.h>

#include <array>
#include <string>

constexpr int kToolbarCount = 7;  // ids 1 to 7

// What the bars start with, and where a path field's change goes. The settings file and what
// its keys mean are the application's; the bars only name the key of each field.
struct BarSettings {
    // Whether each toolbar is shown, in bar order: the main toolbar, then the path bars.
    std::array<bool, kToolbarCount> visible;
    bool refererOn;
    // The stored value of a path field's key (PathBarKey).
    std::wstring (*readField)(const wchar_t* key);
    // Stores a changed field under its key; a failure is reported to owner.
    bool (*writeField)(const wchar_t* key, const std::wstring& value, HWND owner);
};

// Loads the toolbar layout, prepares the image strips and creates the seven toolbars with
// their captions and fields. A window that cannot be created is simply missing.
void CreateBars(HWND mainWindow, const BarSettings& settings);

// Creates a new main toolbar from the current layout in place of the old one, which is
// closed. The caller lays the window out again.
void ReplaceMainToolbar(HWND mainWindow, bool visible);

// The prepared image strip of the main toolbar (bitmap 300), shared with the customization
// dialog. Null until the bars have been created.
HBITMAP MainToolbarImages();

// The caption of a path bar (bars 2 to 7) and its TOOLBAR key.
const wchar_t* PathBarCaption(int barId);
const wchar_t* PathBarKey(int barId);
HWND PathBarCaptionWindow(int barId);

// The Referer bar's switch: whether it is pressed (the button toggles itself when clicked).
bool RefererSwitchPressed(HWND mainWindow);
// The Referer field can be edited only while the Referer is sent.
void EnableRefererField(HWND mainWindow, bool on);
// The switch pressed and the field enabled as the Referer is on or off.
void ShowRefererSwitch(HWND mainWindow, bool on);
