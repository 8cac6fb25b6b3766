#include "bars/path_bars.h"

#include "bars/main_toolbar.h"
#include "base/display_scale.h"
#include "base/exception_boundary.h"
#include "base/window_ids.h"
#include "res/resource.h"

#include <commctrl.h>

#include <iterator>
#include <vector>

namespace {

constexpr int kProvisionalSeparatorWidth = 100;
constexpr int kCaptionSeparatorId = 3000;
constexpr int kFieldSeparatorId = 3001;
// A field keeps at most this many characters of a value, as the settings file does.
constexpr int kValueBufferChars = 1024;

struct PathBarButton {
    int command;
    int image;
};

struct PathBarDefinition {
    int barId;
    const wchar_t* caption;
    const wchar_t* key;
    std::vector<PathBarButton> buttons;
};

const PathBarDefinition kPathBars[] = {
    {kDownloadListBarId,
     L"ダウンロードリストファイル",
     L"DL_LIST",
     {{IDM_ADD_DL_LIST, 0},
      {IDM_SELECT_DL_LIST, 2},
      {IDM_EDIT_DL_LIST, 3},
      {IDM_OPEN_DL_LIST_DIR, 4}}},
    {kDownloadLogBarId,
     L"ダウンロードログファイル",
     L"DL_LOG",
     {{IDM_APPLY_DL_LOG, 1},
      {IDM_SELECT_DL_LOG, 2},
      {IDM_EDIT_DL_LOG, 3},
      {IDM_OPEN_DL_LOG_DIR, 4}}},
    {kCancelLogBarId,
     L"中断ログファイル",
     L"CANCEL_LOG",
     {{IDM_APPLY_CANCEL_LOG, 1},
      {IDM_SELECT_CANCEL_LOG, 2},
      {IDM_EDIT_CANCEL_LOG, 3},
      {IDM_OPEN_CANCEL_LOG_DIR, 4}}},
    {kErrorLogBarId,
     L"エラーログファイル",
     L"ERR_LOG",
     {{IDM_APPLY_ERR_LOG, 1},
      {IDM_SELECT_ERR_LOG, 2},
      {IDM_EDIT_ERR_LOG, 3},
      {IDM_OPEN_ERR_LOG_DIR, 4}}},
    {kSaveFolderBarId, L"保存フォルダ", L"DL_DIR", {{IDM_SELECT_DL_DIR, 2}, {IDM_OPEN_DL_DIR, 4}}},
    {kRefererBarId, L"Referer情報", L"REFERER", {{IDM_REFERER_TOGGLE, 0}}},
};

const PathBarDefinition& PathBarOf(int barId) {
    return kPathBars[barId - kDownloadListBarId];
}

// Each toolbar keeps the procedure it had before ours as a window property, so an old main
// toolbar still reaches its own procedure while it closes after a rebuild.
const wchar_t kPreviousProcProperty[] = L"VLMR_PREVIOUS_PROC";
// Each path bar's caption by bar id, made with the bar: it is asked for by id
// (PathBarCaptionWindow).
HWND gCaptions[kToolbarCount + 1] = {};
// Where every change of a path field goes, as the bars were created with it.
bool (*gWriteField)(const wchar_t* key, const std::wstring& value, HWND owner) = nullptr;

// Prepared once and kept until the process ends: the main toolbar (and the customization
// dialog) share strip 300, the five path bars strip 301.
HBITMAP gMainToolbarImages = nullptr;
HBITMAP gPathBarImages = nullptr;
HBITMAP gRefererBarImages = nullptr;

// The sizes each strip is drawn at; the resource of size kStripSizes[i] is the 24-pixel
// strip's id plus 3 * i.
constexpr int kStripSizes[] = {24, 36, 48};
constexpr int kStripIdStep = 3;

int StripResourceFor(int stripAt24, int size) {
    for (int i = 0; i < static_cast<int>(std::size(kStripSizes)); ++i) {
        if (kStripSizes[i] == size) {
            return stripAt24 + kStripIdStep * i;
        }
    }
    return stripAt24;
}

// A strip of square images scaled to images of the given size, in one piece.
HBITMAP ScaleStrip(HBITMAP strip, int size) {
    BITMAP info = {};
    GetObjectW(strip, sizeof info, &info);
    int images = info.bmHeight > 0 ? info.bmWidth / info.bmHeight : 0;
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, images * size, size);
    ReleaseDC(nullptr, screen);
    if (scaled != nullptr) {
        HGDIOBJ oldFrom = SelectObject(from, strip);
        HGDIOBJ oldTo = SelectObject(to, scaled);
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        // Image by image, so that no image bleeds into its neighbour.
        for (int image = 0; image < images; ++image) {
            StretchBlt(to, image * size, 0, size, size, from, image * info.bmHeight, 0,
                       info.bmHeight, info.bmHeight, SRCCOPY);
        }
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    DeleteDC(from);
    DeleteDC(to);
    return scaled;
}

// The strips mark the button face with pure black. Toolbars draw their images opaque, so
// black is replaced by the face colour of this system before the strip is handed over.
// The strip drawn at the toolbar image size is taken; between the drawn sizes the next
// larger one is scaled down (after the face colour is in, so that no edge blends with black).
HBITMAP PrepareButtonImages(int stripAt24) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    int size = ToolbarImageSize();
    int drawn = ArtworkSizeFor(size, kStripSizes, static_cast<int>(std::size(kStripSizes)));
    auto loaded = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(StripResourceFor(stripAt24, drawn)), IMAGE_BITMAP, 0,
                   0, LR_CREATEDIBSECTION));
    if (loaded == nullptr) {
        return nullptr;
    }
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    DWORD facePixel = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);

    BITMAP info = {};
    GetObjectW(loaded, sizeof info, &info);
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = info.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;

    HDC screen = GetDC(nullptr);
    HBITMAP prepared = nullptr;
    std::vector<DWORD> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    if (GetDIBits(screen, loaded, 0, info.bmHeight, pixels.data(), &header, DIB_RGB_COLORS)) {
        for (DWORD& pixel : pixels) {
            if ((pixel & 0x00FFFFFF) == 0) {
                pixel = facePixel;
            }
        }
        prepared = CreateDIBitmap(screen, &header.bmiHeader, CBM_INIT, pixels.data(), &header,
                                  DIB_RGB_COLORS);
    }
    ReleaseDC(nullptr, screen);
    DeleteObject(loaded);
    if (prepared != nullptr && drawn != size) {
        HBITMAP scaled = ScaleStrip(prepared, size);
        DeleteObject(prepared);
        prepared = scaled;
    }
    return prepared;
}

HWND CreatePathBar(HWND mainWindow, const PathBarDefinition& definition,
                   const BarSettings& settings) {
    std::vector<TBBUTTON> buttons;
    for (int id : {kCaptionSeparatorId, kFieldSeparatorId}) {
        TBBUTTON separator = SeparatorButton();
        separator.iBitmap = kProvisionalSeparatorWidth;
        separator.idCommand = id;
        buttons.push_back(separator);
    }
    bool referer = definition.barId == kRefererBarId;
    for (const PathBarButton& button : definition.buttons) {
        TBBUTTON record = {button.image, button.command, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
        if (referer) {
            record.fsStyle = BTNS_CHECK;
            if (settings.refererOn) {
                record.fsState |= TBSTATE_CHECKED;
            }
        }
        buttons.push_back(record);
    }
    DWORD style = WS_CHILD | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE;
    // The flags list the path bars right after the main toolbar, in bar order.
    if (settings.visible[definition.barId - kMainToolbarId]) {
        style |= WS_VISIBLE;
    }
    return CreateToolbarEx(mainWindow, style, definition.barId, referer ? 1 : 5, nullptr,
                           reinterpret_cast<UINT_PTR>(referer ? gRefererBarImages : gPathBarImages),
                           buttons.data(), static_cast<int>(buttons.size()), 0, 0,
                           ToolbarImageSize(), ToolbarImageSize(), sizeof(TBBUTTON));
}

// A path field's change is written to its key at once; a failed write is reported once
// per change and the field keeps what the user typed.
void StoreFieldValue(HWND bar, int barId) {
    wchar_t value[kValueBufferChars] = L"";
    GetDlgItemTextW(bar, kPathBarEditBase + barId, value, kValueBufferChars);
    gWriteField(PathBarOf(barId).key, value, GetParent(bar));
}

// Every toolbar of the main window runs this in front of the control's own procedure.
LRESULT HandleBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(bar, kPreviousProcProperty));
    int barId = GetDlgCtrlID(bar);
    switch (message) {
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            // Right clicks do nothing; a hot button must not keep the mouse captured.
            if (SendMessageW(bar, TB_GETHOTITEM, 0, 0) >= 0) {
                ReleaseCapture();
            }
            return 0;
        case WM_COMMAND:
            if (barId >= kDownloadListBarId && barId <= kRefererBarId &&
                LOWORD(wParam) == kPathBarEditBase + barId && HIWORD(wParam) == EN_CHANGE) {
                StoreFieldValue(bar, barId);
            }
            break;
        case WM_NCDESTROY:
            RemovePropW(bar, kPreviousProcProperty);
            SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            break;
        default:
            break;
    }
    return CallWindowProcW(previous, bar, message, wParam, lParam);
}

LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<LRESULT>(bar, 0, [&] { return HandleBarProc(bar, message, wParam, lParam); });
}

void InstallBarProc(HWND bar) {
    if (bar == nullptr) {
        return;
    }
    SetPropW(bar, kPreviousProcProperty,
             reinterpret_cast<HANDLE>(GetWindowLongPtrW(bar, GWLP_WNDPROC)));
    SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc));
}

void CreateCaptionAndField(HWND mainWindow, const PathBarDefinition& definition,
                           const BarSettings& settings) {
    HWND bar = GetDlgItem(mainWindow, definition.barId);
    if (bar == nullptr) {
        return;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto font =
        reinterpret_cast<WPARAM>(reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0)));
    HWND caption = CreateWindowExW(
        0, L"static", definition.caption, WS_CHILD | WS_VISIBLE | SS_RIGHT, 0, 0, 1, 1, bar,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(0xFFFF)), instance, nullptr);
    SendMessageW(caption, WM_SETFONT, font, FALSE);
    gCaptions[definition.barId] = caption;

    // Creating the field with its text sends no change notification: nothing is written.
    std::wstring value = settings.readField(definition.key);
    HWND field = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", value.c_str(), WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0,
        kProvisionalSeparatorWidth, 20, bar,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPathBarEditBase + definition.barId)),
        instance, nullptr);
    if (definition.barId == kRefererBarId) {
        EnableWindow(field, settings.refererOn);
    }
    SendMessageW(field, WM_SETFONT, font, FALSE);
}

}  // namespace

HBITMAP MainToolbarImages() {
    return gMainToolbarImages;
}

const wchar_t* PathBarCaption(int barId) {
    return PathBarOf(barId).caption;
}

const wchar_t* PathBarKey(int barId) {
    return PathBarOf(barId).key;
}

HWND PathBarCaptionWindow(int barId) {
    return gCaptions[barId];
}

void CreateBars(HWND mainWindow, const BarSettings& settings) {
    gWriteField = settings.writeField;
    LoadToolbarLayout();
    // The strips live as long as the process: a window created again (in the tests) reuses
    // them.
    if (gMainToolbarImages == nullptr) {
        gMainToolbarImages = PrepareButtonImages(IDB_MAIN_TOOLBAR);
        gPathBarImages = PrepareButtonImages(IDB_PATH_BARS);
        gRefererBarImages = PrepareButtonImages(IDB_REFERER_BAR);
    }
    CreateMainToolbar(mainWindow, gMainToolbarImages, settings.visible[0]);
    for (const PathBarDefinition& definition : kPathBars) {
        CreatePathBar(mainWindow, definition, settings);
    }
    for (int barId = kMainToolbarId; barId <= kRefererBarId; ++barId) {
        InstallBarProc(GetDlgItem(mainWindow, barId));
    }
    for (const PathBarDefinition& definition : kPathBars) {
        CreateCaptionAndField(mainWindow, definition, settings);
    }
}

void ReplaceMainToolbar(HWND mainWindow, bool visible) {
    HWND old = GetDlgItem(mainWindow, kMainToolbarId);
    HWND created = CreateMainToolbar(mainWindow, gMainToolbarImages, visible);
    // Closed through the queue: the old toolbar may be the sender of the command that got
    // us here.
    if (old != nullptr) {
        SetWindowLongPtrW(old, GWLP_ID, 0);
        PostMessageW(old, WM_CLOSE, 0, 0);
    }
    InstallBarProc(created);
}

bool RefererSwitchPressed(HWND mainWindow) {
    LRESULT state =
        SendMessageW(GetDlgItem(mainWindow, kRefererBarId), TB_GETSTATE, IDM_REFERER_TOGGLE, 0);
    return state != -1 && (state & TBSTATE_CHECKED);
}

void EnableRefererField(HWND mainWindow, bool on) {
    HWND bar = GetDlgItem(mainWindow, kRefererBarId);
    EnableWindow(GetDlgItem(bar, kPathBarEditBase + kRefererBarId), on);
}

void ShowRefererSwitch(HWND mainWindow, bool on) {
    HWND bar = GetDlgItem(mainWindow, kRefererBarId);
    SendMessageW(bar, TB_CHECKBUTTON, IDM_REFERER_TOGGLE, MAKELPARAM(on, 0));
    EnableRefererField(mainWindow, on);
}
