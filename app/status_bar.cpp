#include "app/status_bar.h"

#include "app/window_ids.h"

void RefreshStatusBar(HWND mainWindow) {
    HWND bar = GetDlgItem(mainWindow, kStatusBarId);
    if (bar == nullptr || !IsWindowVisible(bar)) {
        return;
    }
    // The counts per state are drawn here once the status bar joins the window.
}
