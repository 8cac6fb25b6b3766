// The about box: what it shows, its link's hover, click and cursor, and how it closes.
#include "tests/gui/main_window_fixture.h"

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "res/about_dialog_ids.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

// Works the about box from inside its own modal loop: a thread timer waits for the box, runs
// the step on it once and, should the step leave it open, closes it after two seconds so the
// test fails instead of hanging.
class AboutBoxDriver {
public:
    explicit AboutBoxDriver(std::function<void(HWND)> step) : step_(std::move(step)) {
        gDriver = this;
        timer_ = SetTimer(nullptr, 0, 50, &AboutBoxDriver::Tick);
    }
    ~AboutBoxDriver() {
        KillTimer(nullptr, timer_);
        gDriver = nullptr;
    }

    bool shown = false;
    bool leftOpen = false;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        AboutBoxDriver* driver = gDriver;
        if (driver == nullptr) {
            return;
        }
        HWND box = FindWindowW(L"#32770", L"バージョン情報");
        if (box == nullptr || !IsWindowVisible(box)) {
            return;
        }
        if (!driver->shown) {
            driver->shown = true;
            driver->stepDone_ = GetTickCount();
            driver->step_(box);
        } else if (GetTickCount() - driver->stepDone_ > 2000) {
            driver->leftOpen = true;
            EndDialog(box, 0);
        }
    }

    static inline AboutBoxDriver* gDriver = nullptr;
    std::function<void(HWND)> step_;
    DWORD stepDone_ = 0;
    UINT_PTR timer_ = 0;
};

// The text colour, background mode and brush the box hands a static control for painting.
struct StaticColors {
    COLORREF text;
    int backgroundMode;
    HBRUSH brush;
};

StaticColors ColorsOf(HWND box, HWND control) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    StaticColors colors{GetTextColor(dc), GetBkMode(dc), brush};
    DeleteDC(dc);
    return colors;
}

bool IsUnderlined(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font.lfUnderline != 0;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return text;
}

// The link as the user sees it at one moment.
struct LinkLook {
    COLORREF color;
    bool underlined;
    bool holdsMouse;
    bool operator==(const LinkLook&) const = default;
};

LinkLook LookOf(HWND box, HWND link) {
    return {ColorsOf(box, link).text, IsUnderlined(link), GetCapture() == link};
}

const LinkLook kPlain = {kBlue, false, false};
const LinkLook kHovered = {kRed, true, true};

void MoveMouse(HWND link, int x, int y) {
    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

class AboutDialogTest : public MainWindowTest {
protected:
    // Opens the box over the main window and runs the step inside it; true when the box was
    // shown and the step closed it.
    bool RunAboutBox(const std::function<void(HWND)>& step) {
        AboutBoxDriver driver(step);
        ShowAboutDialog(window_);
        EXPECT_TRUE(driver.shown) << "the about box did not open";
        EXPECT_FALSE(driver.leftOpen) << "the about box stayed open";
        return driver.shown && !driver.leftOpen;
    }
};

}  // namespace

TEST_F(AboutDialogTest, AboutDialogShowsNameVersionIconAndLinkOverTheMainWindow) {
    CreateWindowUnderTest();
    HICON classIcon = reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICON));
    ASSERT_NE(classIcon, nullptr);
    EXPECT_TRUE(RunAboutBox([&](HWND box) {
        EXPECT_EQ(GetWindow(box, GW_OWNER), window_);
        EXPECT_FALSE(IsWindowEnabled(window_));
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(box, WM_GETICON, ICON_SMALL, 0)), classIcon);

        std::vector<HWND> children;
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        ASSERT_EQ(children.size(), 5u);
        EXPECT_EQ(TextOf(children[0]), L"Velmora Downloader\nVersion 1.08");
        // The program icon at the system's large icon size, not its first (smallest) image.
        auto icon = reinterpret_cast<HICON>(SendMessageW(children[1], STM_GETICON, 0, 0));
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP image = {};
        GetObjectW(info.hbmColor, sizeof image, &image);
        EXPECT_EQ(image.bmWidth, GetSystemMetrics(SM_CXICON));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_FALSE(TextOf(children[2]).empty());
        // The link shows the very page it opens.
        EXPECT_EQ(children[3], GetDlgItem(box, IDC_ABOUT_LINK));
        EXPECT_EQ(TextOf(children[3]), std::wstring(L"URL : ") + kAboutPageUrl);
        EXPECT_EQ(LOWORD(SendMessageW(box, DM_GETDEFID, 0, 0)), IDOK);
        EXPECT_EQ(children[4], GetDlgItem(box, IDOK));
        EXPECT_EQ(TextOf(children[4]), L"OK");
        EXPECT_EQ(LookOf(box, children[3]), kPlain);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }));
    EXPECT_TRUE(IsWindowEnabled(window_));

    // During a run the window's class icon is the busy one, and so is the box's.
    SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(gBusyIcon));
    EXPECT_TRUE(RunAboutBox([&](HWND box) {
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(box, WM_GETICON, ICON_SMALL, 0)), gBusyIcon);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }));
    SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(classIcon));
}

TEST_F(AboutDialogTest, AboutDialogLinkLightsUpUnderTheMouseAndOpensThePageWhenClicked) {
    CreateWindowUnderTest();
    EXPECT_TRUE(RunAboutBox([&](HWND box) {
        HWND link = GetDlgItem(box, IDC_ABOUT_LINK);
        RECT client;
        GetClientRect(link, &client);

        StaticColors colors = ColorsOf(box, link);
        EXPECT_EQ(colors.backgroundMode, TRANSPARENT);
        LOGBRUSH brush = {};
        ASSERT_TRUE(GetObjectW(colors.brush, sizeof brush, &brush));
        EXPECT_EQ(brush.lbColor, GetSysColor(COLOR_BTNFACE));

        // The hand over the link only; the class cursor of every static stays the arrow.
        EXPECT_TRUE(SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
        EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(link, GCLP_HCURSOR)),
                  LoadCursorW(nullptr, IDC_ARROW));

        // Onto the link, along it and off it to either side.
        MoveMouse(link, 2, 2);
        EXPECT_EQ(LookOf(box, link), kHovered);
        MoveMouse(link, client.right - 1, client.bottom - 1);
        EXPECT_EQ(LookOf(box, link), kHovered);
        MoveMouse(link, client.right + 40, 2);
        EXPECT_EQ(LookOf(box, link), kPlain);
        MoveMouse(link, 2, 2);
        MoveMouse(link, -3, 2);
        EXPECT_EQ(LookOf(box, link), kPlain);

        // Another window took the focus while the mouse was over the link; back in the box
        // the link is plain again.
        MoveMouse(link, 2, 2);
        SendMessageW(box, WM_ACTIVATE, WA_CLICKACTIVE, 0);
        EXPECT_EQ(LookOf(box, link), kPlain);

        // Notifications other than a click do nothing.
        SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_LINK, STN_DBLCLK),
                     reinterpret_cast<LPARAM>(link));
        EXPECT_TRUE(shellCalls_.empty());

        MoveMouse(link, 2, 2);
        SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        ASSERT_EQ(shellCalls_.size(), 1u);
        EXPECT_EQ(shellCalls_[0].owner, box);
        EXPECT_EQ(shellCalls_[0].verb, L"open");
        EXPECT_EQ(shellCalls_[0].target, kAboutPageUrl);
        EXPECT_EQ(LookOf(box, link), kPlain);
        EXPECT_TRUE(IsWindowVisible(box)) << "the click closed the box";
        SendMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    }));
    // The box stays open after the click; only the close ended it.
    EXPECT_EQ(shellCalls_.size(), 1u);
}

TEST_F(AboutDialogTest, AboutDialogClosesWithOkEnterAndTheCloseBoxButNotEscape) {
    // Keys go where the user's keyboard would send them: to the control with the focus.
    auto pressKey = [](HWND box, UINT key) {
        HWND focus = GetFocus();
        PostMessageW(focus != nullptr ? focus : box, WM_KEYDOWN, key, 0);
    };
    const std::pair<const char*, std::function<void(HWND)>> ways[] = {
        {"OK button", [](HWND box) { SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }},
        {"Enter", [&](HWND box) { pressKey(box, VK_RETURN); }},
        // Escape (the dialog manager's IDCANCEL) leaves the box open; OK then closes it.
        {"Escape, then OK",
         [](HWND box) {
             SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
             // An ended dialog stays a window until its loop returns, but is hidden at once.
             EXPECT_TRUE(IsWindowVisible(box));
             PostMessageW(box, WM_COMMAND, IDOK, 0);
         }},
        {"close box", [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    CreateWindowUnderTest();
    for (const auto& [name, close] : ways) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(RunAboutBox(close));
        EXPECT_TRUE(IsWindowEnabled(window_));
    }
    EXPECT_TRUE(shellCalls_.empty());
}
