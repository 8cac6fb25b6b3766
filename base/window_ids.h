// Control ids of the main window's children.
#pragma once

enum ChildWindowId {
    kMainToolbarId = 1,
    kDownloadListBarId = 2,
    kDownloadLogBarId = 3,
    kCancelLogBarId = 4,
    kErrorLogBarId = 5,
    kSaveFolderBarId = 6,
    kRefererBarId = 7,
    kStatusBarId = 8,
    kListViewId = 9,
};

// Each path bar's edit field has this id plus the bar's id (3002 to 3007).
constexpr int kPathBarEditBase = 3000;
