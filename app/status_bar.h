// The status bar at the bottom of the main window: the number of rows, in all and per state.
#pragma once

#include <windows.h>

#include <array>
#include <string>

constexpr int kStatusTextCount = 7;  // the total, then the six states
constexpr int kStatusPartCount = 8;  // a filler part on the left, then the seven texts

// The seven texts for the total and the counts per state (Standby first).
std::array<std::wstring, kStatusTextCount> StatusBarTexts(int total, const int (&perState)[6]);
// The right edges of the eight parts for the client width and the measured text widths:
// each state part is 20 pixels wider than its text to leave room for its icon, the total
// part exactly as wide as its text, and the filler on the left takes the rest.
std::array<int, kStatusPartCount> StatusBarPartEdges(
    int clientWidth, const std::array<int, kStatusTextCount>& textWidths);

void CreateStatusBar(HWND mainWindow);
// Recomputes the parts and texts. Nothing is computed while the bar is hidden or absent,
// and nothing changes when a row holds a state the bar does not know.
void RefreshStatusBar(HWND mainWindow);

// The refresh asked for by a row update during a run: counting every row after every update
// of a large list would cost more than the transfers themselves, so the request is queued
// once and carried out when the interface thread gets to it, no sooner than 200 ms after the
// bar's last refresh, covering every update made meanwhile. Interface thread.
constexpr UINT kRefreshStatusBarMessage = WM_APP + 2;
void QueueStatusBarRefresh(HWND mainWindow);
// The main window's handling of kRefreshStatusBarMessage.
void RunQueuedStatusBarRefresh(HWND mainWindow);
