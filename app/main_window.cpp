#include "app/main_window.h"

#include "app/commands.h"
#include "app/list_notify.h"
#include "app/settings.h"
#include "app/status_bar.h"
#include "app/tray.h"
#include "app/window_identity.h"
#include "app/window_layout.h"
#include "bars/path_bars.h"
#include "base/exception_boundary.h"
#include "base/interface_thread.h"
#include "base/locks.h"
#include "base/message_box.h"
#include "base/window_ids.h"
#include "engine/run_claims.h"
#include "engine/run_state.h"
#include "list/download_list.h"
#include "res/resource.h"

#include <commctrl.h>

const wchar_t kMainWindowClass[] = L"VLMR_DL_MAIN";

HMENU gMainMenu = nullptr;
UINT gTaskbarCreatedMessage = 0;

namespace {

// Closing during a run waits on this thread for the run to end, which sets the run's idle
// event. WM_DESTROY tells it to stop and joins it before the slot array it then reads is
// freed, so it can never read freed memory.
HANDLE gExitWaitThread = nullptr;
HANDLE gExitWaitCancel = nullptr;

DWORD WINAPI ExitWaitThread(LPVOID parameter) {
    HWND mainWindow = static_cast<HWND>(parameter);
    const HANDLE ends[] = {gExitWaitCancel, RunIdleEvent()};
    while (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (!IsRunActive()) {
            // The close was already confirmed; the second WM_CLOSE must not ask again.
            gSettings.askExit = 0;
            PostMessageW(mainWindow, WM_CLOSE, 0, 0);
            return 0;
        }
    }
    return 0;
}

void EndExitWait() {
    if (gExitWaitThread == nullptr) {
        return;
    }
    SetEvent(gExitWaitCancel);
    // Safe on the interface thread: the wait thread only waits and posts, it never sends.
    WaitForSingleObject(gExitWaitThread, INFINITE);
    CloseHandle(gExitWaitThread);
    CloseHandle(gExitWaitCancel);
    gExitWaitThread = nullptr;
    gExitWaitCancel = nullptr;
}

bool ExitWaitRunning() {
    return gExitWaitThread != nullptr && WaitForSingleObject(gExitWaitThread, 0) == WAIT_TIMEOUT;
}

// One exit wait at a time: a further close during the wait asks again (while ASK_EXIT is on)
// but starts no second thread. When no thread can be started the window stays open: the
// interface thread cannot wait itself, because the workers send it their progress. The stop
// request still ends the run, and the next close then succeeds.
void StartExitWait(HWND mainWindow) {
    if (ExitWaitRunning()) {
        return;
    }
    EndExitWait();  // a finished earlier wait
    if (RunIdleEvent() == nullptr) {
        return;
    }
    gExitWaitCancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (gExitWaitCancel == nullptr) {
        return;
    }
    gExitWaitThread = CreateThread(nullptr, 0, ExitWaitThread, mainWindow, 0, nullptr);
    if (gExitWaitThread == nullptr) {
        CloseHandle(gExitWaitCancel);
        gExitWaitCancel = nullptr;
    }
}

// The bars start as the settings file says and store their path fields in it.
BarSettings BarSettingsFromSettings() {
    BarSettings bars = {};
    for (int bar = 0; bar < kToolbarCount; ++bar) {
        bars.visible[bar] = gSettings.view[kViewMainToolbar + bar] != 0;
    }
    bars.refererOn = gSettings.refererOn != 0;
    bars.readField = ReadToolbarKey;
    bars.writeField = WriteToolbarKey;
    return bars;
}

LRESULT OnCreate(HWND hwnd, const CREATESTRUCTW* create) {
    gInstance = create->hInstance;
    SetInterfaceWindow(hwnd);
    if (!AllocateConnectionSlots(gSettings.connectionCount)) {
        return -1;  // no slots, no program: creation fails and the program ends with -1
    }
    InitializeMainLocks();
    InitCommonControls();
    CreateBars(hwnd, BarSettingsFromSettings());
    CreateStatusBar(hwnd);
    CreateDownloadList(hwnd, ListFilePath(), [hwnd](CountsNotice notice) {
        if (notice == CountsNotice::kAtOnce) {
            RefreshStatusBar(hwnd);
        } else {
            QueueStatusBarRefresh(hwnd);
        }
    });
    gMainMenu = GetMenu(hwnd);
    CheckViewMenuAtStartup(gMainMenu);
    gTaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    return 0;
}

LRESULT OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    int width = LOWORD(lParam);
    LayOutBars(hwnd, width);
    // The status bar docks itself at the bottom when it sees the new size.
    SendMessageW(GetDlgItem(hwnd, kStatusBarId), WM_SIZE, wParam, lParam);
    RefreshStatusBar(hwnd);
    PlaceListView(hwnd, width, HIWORD(lParam));
    return DefWindowProcW(hwnd, WM_SIZE, wParam, lParam);
}

LRESULT OnClose(HWND hwnd) {
    if (gSettings.askExit && !AskYesNo(hwnd, L"プログラムを終了しますか？")) {
        return 0;
    }
    // While the run is still asking its start-up questions no worker exists yet: close now.
    if (!IsRunActive() || gPreparingFlag) {
        return DefWindowProcW(hwnd, WM_CLOSE, 0, 0);
    }
    gRunStop.Request();
    StartExitWait(hwnd);
    return 0;
}

LRESULT OnDestroy(HWND hwnd) {
    EndExitWait();
    gRunClaims.DropSelection();
    FreeConnectionSlots();
    DeleteMainLocks();
    DestroyDownloadList();
    SetInterfaceWindow(nullptr);
    // An icon left behind would stay in the notification area until the mouse passes over it.
    DeleteTrayIcon(hwnd);
    PostQuitMessage(0);
    return 0;
}

// Tooltips of toolbar buttons: the string table text of the button's command id.
void SetTooltipText(NMHDR* header) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    info->hinst = gInstance;
    info->lpszText = MAKEINTRESOURCEW(LOWORD(header->idFrom));
}

// During a run over the selected rows the rows it took keep a light blue background.
LRESULT DrawSelectedRunRow(NMHDR* header) {
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        return CDRF_NOTIFYITEMDRAW;
    }
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        if (gRunClaims.Selected(static_cast<int>(draw->nmcd.dwItemSpec))) {
            draw->clrTextBk = RGB(216, 228, 255);
            return CDRF_NEWFONT;
        }
    }
    return CDRF_DODEFAULT;
}

LRESULT OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code == TTN_GETDISPINFOW) {
        SetTooltipText(header);
    }
    if (wParam == kListViewId && header->code == NM_CUSTOMDRAW && IsRunActive() &&
        gSelectedRunFlag == 1) {
        return DrawSelectedRunRow(header);
    }
    if (wParam == kListViewId) {
        return OnListNotify(hwnd, header);
    }
    return DefWindowProcW(hwnd, WM_NOTIFY, wParam, lParam);
}

// With IN_TRAY on, minimizing hides the window behind a tray icon instead. The low four bits
// of a system command are the system's own, so they are masked off before comparing.
LRESULT OnSysCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if ((wParam & 0xFFF0) == SC_MINIMIZE && gSettings.inTray) {
        if (AddTrayIcon(hwnd, CurrentIcon())) {
            ShowWindow(hwnd, SW_HIDE);
            return 0;
        }
        DeleteTrayIcon(hwnd);  // whatever half of it the shell may have kept
    }
    return DefWindowProcW(hwnd, WM_SYSCOMMAND, wParam, lParam);
}

// The tray icon's mouse messages: the right button opens its menu, the left one brings the
// window back out of the tray.
LRESULT OnTrayCallback(HWND hwnd, WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != kTrayIconId) {
        return 0;
    }
    if (mouseMessage == WM_RBUTTONUP) {
        ShowTrayMenu(hwnd, IsRunActive());
    } else if (mouseMessage == WM_LBUTTONUP) {
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        DeleteTrayIcon(hwnd);
    }
    return 0;
}

// The shell was restarted and has forgotten the icon. Only a window in the tray (hidden) has
// one to put back; if that fails, the window comes back instead of staying unreachable.
LRESULT OnTaskbarCreated(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (IsWindowVisible(hwnd)) {
        return DefWindowProcW(hwnd, gTaskbarCreatedMessage, wParam, lParam);
    }
    if (!AddTrayIcon(hwnd, CurrentIcon())) {
        ShowWindow(hwnd, SW_SHOW);
        DeleteTrayIcon(hwnd);
    }
    return 0;
}

LRESULT HandleMainWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A registered message has no fixed value to switch on; 0 means not registered yet.
    if (message == gTaskbarCreatedMessage && gTaskbarCreatedMessage != 0) {
        return OnTaskbarCreated(hwnd, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            return OnCreate(hwnd, reinterpret_cast<CREATESTRUCTW*>(lParam));
        case WM_SIZE:
            return OnSize(hwnd, wParam, lParam);
        case WM_CLOSE:
            return OnClose(hwnd);
        case WM_DESTROY:
            return OnDestroy(hwnd);
        case WM_NOTIFY:
            return OnNotify(hwnd, wParam, lParam);
        case WM_COMMAND:
            OnCommand(hwnd, wParam);
            return 0;
        case WM_SYSCOMMAND:
            return OnSysCommand(hwnd, wParam, lParam);
        case kTrayCallbackMessage:
            return OnTrayCallback(hwnd, wParam, lParam);
        case kRefreshStatusBarMessage:
            RunQueuedStatusBarRefresh(hwnd);
            return 0;
        case kRunOnInterfaceMessage:
            return RunSentWork(wParam, lParam);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A creation that fails half-way fails the window, as a refused slot array does.
    LRESULT unhandled = message == WM_CREATE ? -1 : 0;
    return AtBoundary<LRESULT>(
        hwnd, unhandled, [&] { return HandleMainWindowMessage(hwnd, message, wParam, lParam); });
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = L"VLMR_DL_MENU";
    windowClass.lpszClassName = kMainWindowClass;
    // A test process creates the window many times; the class stays registered.
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HANDLE ExitWaitThreadHandle() {
    return gExitWaitThread;
}

HWND StartMainWindow(HINSTANCE instance) {
    gBusyIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_BUSY), IMAGE_ICON, 0,
                                              0, LR_DEFAULTSIZE | LR_SHARED));
    if (!RegisterMainWindowClass(instance)) {
        return nullptr;
    }
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           nullptr, instance, nullptr);
}

void DispatchMainWindowMessage(HWND mainWindow, HACCEL accelerators, MSG& message) {
    if (!TranslateAcceleratorW(mainWindow, accelerators, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
