// Minimizing to the tray, the tray icon's clicks and menu, and the icon's life with the window.
#include "tests/gui/main_window_fixture.h"

#include "app/download_mode.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/tray.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "res/resource.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t kRunningTitle[] = L"ダウンロード実行中 - Velmora Downloader";

struct TrayCall {
    DWORD message;
    NOTIFYICONDATAW data;
};

struct MenuItem {
    UINT id;  // 0 for the separator
    std::wstring text;
    bool operator==(const MenuItem&) const = default;
};

// Drives a popup menu from inside TrackPopupMenu's own loop: a thread timer waits for the
// menu window, reads its items and then presses the given keys in it (Escape when none).
class TrayMenuDriver {
public:
    explicit TrayMenuDriver(std::vector<UINT> keys) : keys_(std::move(keys)) {
        gDriver = this;
        timer_ = SetTimer(nullptr, 0, 50, &TrayMenuDriver::Tick);
    }
    ~TrayMenuDriver() {
        KillTimer(nullptr, timer_);
        gDriver = nullptr;
    }

    bool shown = false;
    std::vector<MenuItem> items;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TrayMenuDriver* driver = gDriver;
        if (driver == nullptr || driver->shown) {
            return;
        }
        HWND menuWindow = FindWindowW(L"#32768", nullptr);
        if (menuWindow == nullptr || !IsWindowVisible(menuWindow)) {
            return;
        }
        driver->shown = true;
        auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = L"";
            GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
            driver->items.push_back({GetMenuItemID(menu, i), text});
        }
        if (driver->keys_.empty()) {
            driver->keys_.push_back(VK_ESCAPE);
        }
        // The menu's loop reads the keys from the thread's queue. No key-up follows: it
        // would still be queued when the menu has closed.
        for (UINT key : driver->keys_) {
            PostMessageW(menuWindow, WM_KEYDOWN, key, 0);
        }
    }

    static inline TrayMenuDriver* gDriver = nullptr;
    std::vector<UINT> keys_;
    UINT_PTR timer_ = 0;
};

class TrayTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        SetTrayObserver([this](DWORD message, const NOTIFYICONDATAW& data) {
            calls_.push_back({message, data});
            return shellAnswer_;
        });
    }

    void TearDown() override {
        SetTrayObserver(nullptr);
        MainWindowTest::TearDown();
    }

    void CreateWindowInTrayMode() {
        WriteSetting(L"OPTION", L"IN_TRAY", L"1");
        CreateWindowUnderTest();
    }

    void Minimize(WPARAM command = SC_MINIMIZE) {
        SendMessageW(window_, WM_SYSCOMMAND, command, 0);
        PumpPending();
    }

    LRESULT ClickIcon(UINT mouseMessage, UINT iconId = kTrayIconId) {
        LRESULT result = SendMessageW(window_, kTrayCallbackMessage, iconId, mouseMessage);
        PumpPending();
        return result;
    }

    // Right-clicks the icon and works its menu with keys; returns what the menu offered.
    // Nothing else is dispatched afterwards: the chosen command has been carried out by the
    // time the click returns.
    std::vector<MenuItem> UseTrayMenu(std::vector<UINT> keys) {
        TrayMenuDriver driver(std::move(keys));
        EXPECT_EQ(SendMessageW(window_, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP), 0);
        EXPECT_TRUE(driver.shown) << "the tray menu did not open";
        return driver.items;
    }

    std::vector<DWORD> CallMessages() const {
        std::vector<DWORD> messages;
        for (const TrayCall& call : calls_) {
            messages.push_back(call.message);
        }
        return messages;
    }

    std::vector<TrayCall> calls_;
    BOOL shellAnswer_ = TRUE;
};

const std::vector<DWORD> kAdd = {NIM_ADD};
const std::vector<DWORD> kAddThenDelete = {NIM_ADD, NIM_DELETE};

}  // namespace

TEST_F(TrayTest, TrayMinimizeHidesTheWindowBehindTheIconAndALeftClickBringsItBack) {
    CreateWindowInTrayMode();
    Minimize();
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_FALSE(IsIconic(window_));
    ASSERT_EQ(CallMessages(), kAdd);
    const NOTIFYICONDATAW& added = calls_[0].data;
    EXPECT_EQ(added.hWnd, window_);
    EXPECT_EQ(added.uID, kTrayIconId);
    EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(added.uCallbackMessage, static_cast<UINT>(WM_APP));
    EXPECT_EQ(added.hIcon, IdleIcon());
    EXPECT_STREQ(added.szTip, L"Velmora Downloader");

    // Another icon's click and the button going down leave the window in the tray.
    EXPECT_EQ(ClickIcon(WM_LBUTTONUP, 2), 0);
    EXPECT_EQ(ClickIcon(WM_LBUTTONDOWN), 0);
    EXPECT_FALSE(IsWindowVisible(window_));

    EXPECT_EQ(ClickIcon(WM_LBUTTONUP), 0);
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_FALSE(IsIconic(window_));
    EXPECT_EQ(GetForegroundWindow(), window_);
    EXPECT_EQ(CallMessages(), kAddThenDelete);

    // The system may set the low four bits of a system command; it is still a minimize.
    calls_.clear();
    Minimize(SC_MINIMIZE | 0x0002);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_EQ(CallMessages(), kAdd);
}

TEST_F(TrayTest, TrayMinimizeIsAnOrdinaryMinimizeWithoutTheSettingOrWhenTheShellRefuses) {
    struct Case {
        const char* name;
        const wchar_t* inTray;
        BOOL shellAnswer;
        std::vector<DWORD> calls;
    };
    const Case cases[] = {
        {"IN_TRAY off", L"0", TRUE, {}},
        {"the shell refuses the icon", L"1", FALSE, kAddThenDelete},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSetting(L"OPTION", L"IN_TRAY", c.inTray);
        CreateWindowUnderTest();
        calls_.clear();
        shellAnswer_ = c.shellAnswer;
        Minimize();
        EXPECT_TRUE(IsWindowVisible(window_));
        EXPECT_TRUE(IsIconic(window_));
        EXPECT_EQ(CallMessages(), c.calls);
        DestroyWindow(window_);
        window_ = nullptr;
        PumpPending();
    }
}

TEST_F(TrayTest, TrayIconDuringARunShowsTheBusyImageAndTheRunningTitle) {
    CreateWindowInTrayMode();
    SetRunActive(true);
    SetWindowTextW(window_, kRunningTitle);
    Minimize();
    ASSERT_EQ(CallMessages(), kAdd);
    EXPECT_EQ(calls_[0].data.hIcon, gBusyIcon);
    EXPECT_NE(gBusyIcon, IdleIcon());
    EXPECT_STREQ(calls_[0].data.szTip, kRunningTitle);

    // The tip holds 127 characters of a longer title.
    ClickIcon(WM_LBUTTONUP);
    SetRunActive(false);
    SetWindowTextW(window_, std::wstring(300, L'あ').c_str());
    calls_.clear();
    Minimize();
    ASSERT_EQ(CallMessages(), kAdd);
    EXPECT_EQ(calls_[0].data.hIcon, IdleIcon());
    EXPECT_EQ(std::wstring(calls_[0].data.szTip), std::wstring(127, L'あ'));
}

TEST_F(TrayTest, TrayMenuOffersStartWhenIdleAndTheChosenItemTakesEffectAtOnce) {
    CreateWindowInTrayMode();
    SetBarText(kSaveFolderBarId, folder_);
    Minimize();

    // "H" is the mnemonic of the save folder item.
    std::vector<MenuItem> items = UseTrayMenu({'H'});
    const std::vector<MenuItem> idleItems = {{IDM_DOWNLOAD, L"ダウンロード実行(&D)"},
                                             {IDM_OPEN_DL_DIR, L"保存フォルダを開く(&H)"},
                                             {0, L""},
                                             {IDM_EXIT, L"終了(&X)"}};
    EXPECT_EQ(items, idleItems);
    ASSERT_EQ(shellCalls_.size(), 1u);
    EXPECT_EQ(shellCalls_[0].verb, L"explore");
    EXPECT_EQ(shellCalls_[0].target, folder_.substr(0, folder_.size() - 1));

    // Starting a run from the tray: the run start asks about the missing logs while the
    // window stays hidden; the fixture answers No.
    SetBarText(kSaveFolderBarId, L"");
    UseTrayMenu({'D'});
    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_[0].text,
              L"保存フォルダの指定が不正です。\nダウンロードしたファイルを、デスクトップに保存"
              L"しますがいいですか？");
    EXPECT_FALSE(IsRunActive());
    EXPECT_FALSE(IsWindowVisible(window_));
    // The abandoned start put the idle image back on the icon, which stays.
    EXPECT_EQ(CallMessages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY}));

    // Closing the menu without a choice does nothing.
    messages_.clear();
    shellCalls_.clear();
    calls_.clear();
    UseTrayMenu({});
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(shellCalls_.empty());
    EXPECT_TRUE(calls_.empty());
    EXPECT_FALSE(IsWindowVisible(window_));
}

TEST_F(TrayTest, TrayMenuStopsARunAndExitsThroughTheCloseQuestion) {
    WriteSetting(L"OPTION", L"ASK_EXIT", L"1");
    CreateWindowInTrayMode();
    Minimize();

    SetRunActive(true);
    std::vector<MenuItem> items = UseTrayMenu({'D'});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], (MenuItem{IDM_STOP, L"ダウンロード中止(&D)"}));
    EXPECT_TRUE(gRunStop.IsSet());
    EXPECT_TRUE(IsRunActive());
    SetRunActive(false);
    gRunStop.Reset();

    // "終了" asks first; No keeps the program in the tray, Yes closes it.
    UseTrayMenu({'X'});
    PumpPending();  // the close request
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, L"プログラムを終了しますか？");
    EXPECT_TRUE(IsWindow(window_));

    answers_.push_back(IDYES);
    UseTrayMenu({'X'});
    PumpPending();
    EXPECT_EQ(messages_.size(), 2u);
    EXPECT_FALSE(IsWindow(window_));
    // The window took its icon with it.
    EXPECT_EQ(CallMessages(), (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
}

TEST_F(TrayTest, TrayIconComesBackAfterAShellRestartAndGoesWithTheWindow) {
    CreateWindowInTrayMode();
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_EQ(gTaskbarCreatedMessage, taskbarCreated);

    // A visible window has no icon to put back.
    EXPECT_EQ(SendMessageW(window_, taskbarCreated, 0, 0), 0);
    EXPECT_TRUE(calls_.empty());

    // The shell cannot take the icon again: the window comes out of the tray.
    Minimize();
    calls_.clear();
    shellAnswer_ = FALSE;
    EXPECT_EQ(SendMessageW(window_, taskbarCreated, 0, 0), 0);
    EXPECT_EQ(CallMessages(), kAddThenDelete);
    EXPECT_TRUE(IsWindowVisible(window_));

    shellAnswer_ = TRUE;
    Minimize();
    calls_.clear();
    EXPECT_EQ(SendMessageW(window_, taskbarCreated, 0, 0), 0);
    ASSERT_EQ(CallMessages(), kAdd);
    EXPECT_EQ(calls_[0].data.uCallbackMessage, static_cast<UINT>(WM_APP));
    EXPECT_STREQ(calls_[0].data.szTip, L"Velmora Downloader");
    EXPECT_FALSE(IsWindowVisible(window_));

    DestroyWindow(window_);
    PumpPending();
    ASSERT_EQ(CallMessages(), kAddThenDelete);
    EXPECT_EQ(calls_[1].data.hWnd, window_);
    EXPECT_EQ(calls_[1].data.uID, kTrayIconId);
}
