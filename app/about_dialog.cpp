#include "app/about_dialog.h"

#include "app/window_identity.h"
#include "base/exception_boundary.h"
#include "base/owned_handle.h"
#include "base/shell.h"
#include "res/about_dialog_ids.h"
#include "res/resource.h"

#include <commctrl.h>
#include <windowsx.h>

const wchar_t kAboutPageUrl[] = L"https://velmora.example/";

namespace {

constexpr COLORREF kLinkColor = RGB(0, 0, 255);
constexpr COLORREF kHoverColor = RGB(255, 0, 0);
constexpr UINT_PTR kLinkSubclassId = 1;

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle None() { return nullptr; }
    static bool Close(Handle object) { return DeleteObject(object) != 0; }
};
using OwnedGdiObject = OwnedHandle<GdiObjectTraits>;

// The open box's link. The GDI objects outlive every window of the box: they are released
// when ShowAboutDialog returns.
struct AboutDialog {
    HWND owner = nullptr;
    HWND link = nullptr;
    OwnedGdiObject background;  // the button face colour, behind the link's text
    HFONT plainFont = nullptr;  // the dialog's own font, not ours to delete
    OwnedGdiObject underlinedFont;
    COLORREF color = kLinkColor;
};

void ShowLinkHovered(AboutDialog& about, bool hovered) {
    about.color = hovered ? kHoverColor : kLinkColor;
    HGDIOBJ font = hovered ? about.underlinedFont.get() : about.plainFont;
    // The redraw also brings the new colour, which WM_CTLCOLORSTATIC hands out.
    SendMessageW(about.link, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// Blue and plain, and the mouse no longer held.
void ResetLink(AboutDialog& about) {
    ShowLinkHovered(about, false);
    if (GetCapture() == about.link) {
        ReleaseCapture();
    }
}

// The link holds the mouse capture while the mouse is over it, so it also hears the move
// that leaves it, however fast the mouse goes.
void OnLinkMouseMove(AboutDialog& about, LPARAM lParam) {
    if (GetCapture() == nullptr) {
        ShowLinkHovered(about, true);
        SetCapture(about.link);
    }
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    RECT client;
    GetClientRect(about.link, &client);
    if (!PtInRect(&client, point)) {
        ResetLink(about);
    }
}

LRESULT HandleLinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                       DWORD_PTR data) {
    auto& about = *reinterpret_cast<AboutDialog*>(data);
    switch (message) {
        case WM_MOUSEMOVE:
            OnLinkMouseMove(about, lParam);
            break;
        case WM_SETCURSOR:
            // Answered here rather than through the class cursor, which every static control
            // of the program shares.
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        default:
            break;
    }
    return DefSubclassProc(link, message, wParam, lParam);
}

LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                          DWORD_PTR data) {
    return AtBoundary<LRESULT>(
        link, 0, [&] { return HandleLinkProc(link, message, wParam, lParam, id, data); });
}

// The static control would take the first image of the icon, the smallest; the box shows the
// image made for the system's large icon size, unscaled.
void ShowLargeProgramIcon(HWND dialog) {
    HANDLE icon = LoadImageW(gInstance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON,
                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    if (icon != nullptr) {
        SendDlgItemMessageW(dialog, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
}

BOOL OnInitDialog(HWND dialog, AboutDialog& about) {
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, GetClassLongPtrW(about.owner, GCLP_HICON));
    ShowLargeProgramIcon(dialog);
    about.link = GetDlgItem(dialog, IDC_ABOUT_LINK);
    about.background = OwnedGdiObject(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    about.plainFont = reinterpret_cast<HFONT>(SendMessageW(about.link, WM_GETFONT, 0, 0));
    LOGFONTW font = {};
    if (GetObjectW(about.plainFont, sizeof font, &font) != 0) {
        font.lfUnderline = TRUE;
        about.underlinedFont = OwnedGdiObject(CreateFontIndirectW(&font));
    }
    SetWindowSubclass(about.link, LinkProc, kLinkSubclassId, reinterpret_cast<DWORD_PTR>(&about));
    about.color = kLinkColor;
    return TRUE;
}

INT_PTR OnLinkColor(AboutDialog& about, HDC dc) {
    SetTextColor(dc, about.color);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(about.background.get());
}

void OnLinkClicked(HWND dialog, AboutDialog& about) {
    ResetLink(about);
    RunShellVerb(dialog, L"open", kAboutPageUrl);
}

INT_PTR HandleAboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<AboutDialog*>(lParam));
    }
    auto* about = reinterpret_cast<AboutDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (about == nullptr) {
        return FALSE;  // messages before WM_INITDIALOG
    }
    switch (message) {
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == about->link) {
                return OnLinkColor(*about, reinterpret_cast<HDC>(wParam));
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_LINK) {
                if (HIWORD(wParam) == STN_CLICKED) {
                    OnLinkClicked(dialog, *about);
                }
                return TRUE;
            }
            // Only OK (and Enter, its default) ends the box here; Escape, which the dialog
            // manager turns into IDCANCEL, has nothing to cancel and does nothing.
            if (LOWORD(wParam) == IDOK) {
                EndDialog(dialog, 1);
            }
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, 1);
            return TRUE;
        case WM_ACTIVATE:
            // A link left red while another window was active turns blue again.
            if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE) {
                ResetLink(*about);
            }
            return FALSE;  // the dialog manager still restores the focus
        case WM_DESTROY:
            RemoveWindowSubclass(about->link, LinkProc, kLinkSubclassId);
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<INT_PTR>(dialog, FALSE,
                               [&] { return HandleAboutProc(dialog, message, wParam, lParam); });
}

}  // namespace

void ShowAboutDialog(HWND mainWindow) {
    AboutDialog about;
    about.owner = mainWindow;
    DialogBoxParamW(gInstance, MAKEINTRESOURCEW(IDD_ABOUT), mainWindow, AboutProc,
                    reinterpret_cast<LPARAM>(&about));
}
