// The per-user settings file beside the program and the settings held in memory.
//
// Every setting is read once at start-up and written key by key at the moment it changes;
// nothing is saved at exit.
#pragma once

#include <windows.h>

#include "base/program_files.h"

#include <atomic>
#include <string>

// The bars whose visibility the View menu switches, in the order of their VIEW keys.
enum ViewBar {
    kViewMainToolbar,
    kViewDownloadListBar,
    kViewDownloadLogBar,
    kViewCancelLogBar,
    kViewErrorLogBar,
    kViewSaveFolderBar,
    kViewRefererBar,
    kViewStatusBar,
    kViewBarCount
};

struct Settings {
    int connectionCount = 5;
    int bufferBytes = 256 * 1024;
    int namingRule = 0;
    int proxyOn = 0;
    // The exit wait thread turns this off while the interface thread may read it.
    std::atomic<int> askExit{0};
    int inTray = 0;
    int balloon = 0;
    int refererOn = 0;
    int view[kViewBarCount] = {1, 1, 1, 1, 1, 1, 1, 1};
    // As loaded; only used to check the View menu when the window is created.
    int viewAtStartup[kViewBarCount] = {1, 1, 1, 1, 1, 1, 1, 1};
};

// The program's one set of settings, as read at start-up and changed since.
extern Settings gSettings;

// --- Load rules: what a value read from the file becomes in memory.
int ConnectionCountFromKey(int value);
int BufferBytesFromKey(int kilobytes);
int NamingRuleFromKey(int value);
int FlagFromKey(int value);
// REFERER_ON is read as text: any text whose number is not zero turns it on.
int FlagFromText(const std::wstring& text);

const wchar_t* ViewKeyName(ViewBar bar);

// --- Reading and writing.
void LoadSettings();
std::wstring ReadToolbarKey(const wchar_t* key);
// Writes one TOOLBAR key; on failure shows the write-error message owned by owner.
bool WriteToolbarKey(const wchar_t* key, const std::wstring& text, HWND owner);
// Writes one VIEW key as "1" or "0"; on failure shows the write-error message.
bool WriteViewKey(ViewBar bar, bool visible, HWND owner);
// Writes the seven OPTION keys; stops after a failed CONNECT_NUM write (reported).
void SaveOptions(HWND owner);
// Writes REFERER_ON after the Referer switch was clicked; on failure shows the write-error
// message.
bool WriteRefererState(HWND owner);
// Writes REFERER_ON after the Referer dialog; a failure is not reported.
void SaveRefererState();
