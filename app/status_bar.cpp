#include "app/status_bar.h"

#include "app/settings.h"
#include "base/display_scale.h"
#include "base/window_ids.h"
#include "list/download_list.h"
#include "res/resource.h"

#include <commctrl.h>

#include <cstdio>
#include <utility>

namespace {

constexpr int kStateCount = 6;
constexpr int kIconRoom = 20;  // at 96 DPI

// Loaded once, shared, kept for the life of the process.
HICON gStateIcons[kStateCount] = {};
// What the bar shows now. A refresh sets only what changed: the bar repaints each part it is
// handed at once, and a run refreshes it after nearly every entry.
struct ShownParts {
    HWND bar = nullptr;
    std::array<int, kStatusPartCount> edges = {};
    std::array<std::wstring, kStatusTextCount> texts;
};

// A run's updates refresh the bar at most this often: each refresh paints the bar.
constexpr DWORD kQueuedRefreshSpacingMs = 200;

// The one status bar's refreshes: what it shows, when it was last refreshed, and the window
// whose queue (or timer) holds a refresh, which later requests ride on.
struct Refreshes {
    ShownParts shown;
    DWORD last = 0;
    HWND queuedFor = nullptr;
};
Refreshes gRefreshes;

void CALLBACK OnRefreshTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    RunQueuedStatusBarRefresh(gRefreshes.queuedFor);
}

}  // namespace

std::array<std::wstring, kStatusTextCount> StatusBarTexts(int total,
                                                          const int (&perState)[kStateCount]) {
    static const wchar_t* const kFormats[kStatusTextCount] = {
        L"　リスト項目数：%d　", L"　スタンバイ：%d　", L"　DL準備中：%d　", L"　DL中：%d　",
        L"　DL完了：%d　",       L"　DL中断：%d　",     L"　エラー：%d　",
    };
    std::array<std::wstring, kStatusTextCount> texts;
    for (int i = 0; i < kStatusTextCount; ++i) {
        wchar_t text[64];
        swprintf(text, 64, kFormats[i], i == 0 ? total : perState[i - 1]);
        texts[i] = text;
    }
    return texts;
}

std::array<int, kStatusPartCount> StatusBarPartEdges(
    int clientWidth, const std::array<int, kStatusTextCount>& textWidths) {
    std::array<int, kStatusPartCount> edges;
    edges[7] = -1;
    int edge = clientWidth;
    int iconRoom = ScaleForDpi(kIconRoom);
    for (int part = 6; part >= 1; --part) {
        edge -= textWidths[part] + iconRoom;
        edges[part] = edge;
    }
    edges[0] = edges[1] - textWidths[0];
    return edges;
}

void CreateStatusBar(HWND mainWindow) {
    DWORD style = WS_CHILD | CCS_BOTTOM;
    if (gSettings.view[kViewStatusBar]) {
        style |= WS_VISIBLE;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    gRefreshes.shown = {};
    CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, style, 0, 0, 0, 0, mainWindow,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)), instance, nullptr);
    for (int state = 0; state < kStateCount; ++state) {
        if (gStateIcons[state] == nullptr) {
            gStateIcons[state] = static_cast<HICON>(LoadImageW(
                instance, MAKEINTRESOURCEW(IDI_STATE_STANDBY + state), IMAGE_ICON,
                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        }
    }
}

void RefreshStatusBar(HWND mainWindow) {
    HWND bar = GetDlgItem(mainWindow, kStatusBarId);
    if (bar == nullptr || !gSettings.view[kViewStatusBar]) {
        return;
    }
    int perState[kStateCount] = {};
    int total = RowCount();
    int counted = 0;
    for (int state = 0; state < kStateCount; ++state) {
        perState[state] = RowStateCounts()[state];
        counted += perState[state];
    }
    if (counted != total) {
        return;  // a row the bar cannot count: leave the bar as it is
    }
    std::array<std::wstring, kStatusTextCount> texts = StatusBarTexts(total, perState);

    std::array<int, kStatusTextCount> widths;
    HDC dc = GetDC(bar);
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0)));
    for (int i = 0; i < kStatusTextCount; ++i) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, texts[i].c_str(), static_cast<int>(texts[i].size()), &size);
        widths[i] = size.cx;
    }
    SelectObject(dc, oldFont);
    ReleaseDC(bar, dc);

    RECT client = {};
    GetClientRect(mainWindow, &client);
    std::array<int, kStatusPartCount> edges = StatusBarPartEdges(client.right, widths);
    bool newParts = gRefreshes.shown.bar != bar || gRefreshes.shown.edges != edges;
    gRefreshes.last = GetTickCount();
    if (!newParts && gRefreshes.shown.texts == texts) {
        return;  // nothing to set, and nothing to paint
    }
    if (newParts) {
        SendMessageW(bar, SB_SETPARTS, kStatusPartCount, reinterpret_cast<LPARAM>(edges.data()));
    }
    // The bar paints each part as it is handed its text; the parts are painted once instead,
    // together, when the window is next painted.
    SendMessageW(bar, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < kStatusTextCount; ++i) {
        if (newParts || gRefreshes.shown.texts[i] != texts[i]) {
            SendMessageW(bar, SB_SETTEXTW, i + 1, reinterpret_cast<LPARAM>(texts[i].c_str()));
        }
    }
    if (newParts) {
        for (int state = 0; state < kStateCount; ++state) {
            SendMessageW(bar, SB_SETICON, state + 2, reinterpret_cast<LPARAM>(gStateIcons[state]));
        }
    }
    SendMessageW(bar, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(bar, nullptr, FALSE);
    gRefreshes.shown = {bar, edges, std::move(texts)};
}

void QueueStatusBarRefresh(HWND mainWindow) {
    if (gRefreshes.queuedFor == mainWindow) {
        return;
    }
    DWORD sinceLast = GetTickCount() - gRefreshes.last;
    if (sinceLast < kQueuedRefreshSpacingMs &&
        SetTimer(nullptr, 0, kQueuedRefreshSpacingMs - sinceLast, OnRefreshTimer) != 0) {
        gRefreshes.queuedFor = mainWindow;
        return;
    }
    if (PostMessageW(mainWindow, kRefreshStatusBarMessage, 0, 0)) {
        gRefreshes.queuedFor = mainWindow;
    }
}

void RunQueuedStatusBarRefresh(HWND mainWindow) {
    gRefreshes.queuedFor = nullptr;
    RefreshStatusBar(mainWindow);
}
