// The main toolbar's customization dialog, driven from inside its own modal loop.
#include "tests/gui/main_window_fixture.h"

#include "app/settings.h"
#include "app/window_layout.h"
#include "bars/customize_dialog.h"
#include "bars/main_toolbar.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "res/customize_dialog_ids.h"
#include "res/resource.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t kDialogTitle[] = L"標準ツールバーのボタンのカスタマイズ";
const wchar_t kDefaultLine[] =
    L"0,1,2,-1,3,4,5,6,7,8,9,10,-1,11,12,-1,13,14,15,16,17,18,19,20,21,22,-1,23,24,25,26,-1,"
    L"27,28,29,30,-1,31,-1,32,-1,33,34";

std::vector<TBBUTTON> Buttons(HWND toolbar) {
    std::vector<TBBUTTON> buttons(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (size_t i = 0; i < buttons.size(); ++i) {
        SendMessageW(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&buttons[i]));
    }
    return buttons;
}

// Images as the layout file writes them: -1 for a separator.
std::vector<int> Images(const std::vector<TBBUTTON>& buttons) {
    std::vector<int> images;
    for (const TBBUTTON& button : buttons) {
        images.push_back((button.fsStyle & BTNS_SEP) ? -1 : button.iBitmap);
    }
    return images;
}

std::vector<int> Images(HWND toolbar) {
    return Images(Buttons(toolbar));
}

std::vector<int> LayoutImages(const std::wstring& line) {
    return Images(ParseToolbarLayout(line));
}

std::vector<int> MarkerIds(HWND toolbar) {
    std::vector<int> ids;
    for (const TBBUTTON& button : Buttons(toolbar)) {
        if (button.iBitmap == kSeparatorMarkerImage) {
            ids.push_back(button.idCommand);
        }
    }
    return ids;
}

HWND Pane(HWND dialog, int paneId) {
    return GetDlgItem(dialog, paneId);
}

HWND CurrentToolbar(HWND dialog) {
    return GetDlgItem(Pane(dialog, IDC_CUSTOMIZE_CURRENT_PANE), IDC_CUSTOMIZE_CURRENT_TOOLBAR);
}

HWND AvailableToolbar(HWND dialog) {
    return GetDlgItem(Pane(dialog, IDC_CUSTOMIZE_AVAILABLE_PANE), IDC_CUSTOMIZE_AVAILABLE_TOOLBAR);
}

// A left click in the middle of a button, as the mouse gives it to the toolbar, and what the
// click posts to the pane.
void Click(HWND toolbar, int command) {
    LRESULT index = SendMessageW(toolbar, TB_COMMANDTOINDEX, command, 0);
    ASSERT_GE(index, 0) << "no button " << command;
    RECT rect = {};
    SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(toolbar, WM_MOUSEMOVE, 0, point);
    SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(toolbar, WM_LBUTTONUP, 0, point);
    // The pane makes the move once the toolbar is done with the click.
    HWND pane = GetParent(toolbar);
    MSG message;
    while (PeekMessageW(&message, pane, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

void Press(HWND dialog, int buttonId) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

RECT RectIn(HWND dialog, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring TipText(HWND toolbar, int command) {
    HWND tips = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
    wchar_t shown[256] = L"";
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = toolbar;
    tool.uId = command;
    tool.lpszText = shown;
    SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return shown;
}

// The script of the dialog that is open now; run once by the timer.
std::function<void(HWND)>* gScript = nullptr;
UINT_PTR gScriptTimer = 0;

void CALLBACK RunScript(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"#32770", kDialogTitle);
    if (dialog == nullptr || gScript == nullptr) {
        return;
    }
    KillTimer(nullptr, gScriptTimer);
    (*std::exchange(gScript, nullptr))(dialog);
    // A dialog that has ended is hidden; one the script left open (a failed assertion) is
    // cancelled so the test cannot hang.
    if (IsWindowVisible(dialog)) {
        Press(dialog, IDCANCEL);
    }
}

class CustomizeDialogTest : public MainWindowTest {
protected:
    // Marker ids run on over the whole process; each test starts as a fresh program does.
    void SetUp() override {
        MainWindowTest::SetUp();
        SetNextSeparatorMarkerId(3001);
    }

    // Opens the dialog as command 1063 does and runs script inside its modal loop once the
    // dialog is up. Returns the dialog's result; fails the test when the script never ran.
    bool Customize(std::function<void(HWND dialog)> script) {
        gScript = &script;
        gScriptTimer = SetTimer(nullptr, 0, 10, RunScript);
        bool confirmed = RunCustomizeDialog(window_, IsRunActive);
        KillTimer(nullptr, gScriptTimer);
        EXPECT_EQ(gScript, nullptr) << "the dialog never came up";
        gScript = nullptr;
        return confirmed;
    }

    HWND MainToolbar() const { return GetDlgItem(window_, kMainToolbarId); }

    void WriteLayoutFile(const std::wstring& line) {
        ASSERT_TRUE(WriteBytes(LayoutFilePath(), EncodeUtf16LeText(line)));
    }
};

std::vector<int> AllImagesBut(std::vector<int> missing) {
    std::vector<int> images;
    for (int image = 0; image < kSeparatorMarkerImage; ++image) {
        if (std::find(missing.begin(), missing.end(), image) == missing.end()) {
            images.push_back(image);
        }
    }
    return images;
}

std::vector<int> Prepend(int first, std::vector<int> rest) {
    rest.insert(rest.begin(), first);
    return rest;
}

}  // namespace

TEST_F(CustomizeDialogTest, PanesStartFromTheLayoutAndTheRestOfTheCatalogue) {
    WriteLayoutFile(L"5,-1,1,0,-1");
    CreateWindowUnderTest();
    EXPECT_FALSE(Customize([&](HWND dialog) {
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), window_);
        HWND current = CurrentToolbar(dialog);
        HWND available = AvailableToolbar(dialog);
        ASSERT_NE(current, nullptr);
        ASSERT_NE(available, nullptr);

        // Separators show as markers with ids of their own; the stop button can be clicked.
        EXPECT_EQ(Images(current), (std::vector<int>{5, 35, 1, 0, 35}));
        EXPECT_EQ(MarkerIds(current), (std::vector<int>{3001, 3002}));
        for (const TBBUTTON& button : Buttons(current)) {
            EXPECT_EQ(button.fsState, TBSTATE_ENABLED) << button.iBitmap;
        }
        EXPECT_EQ(Images(available), Prepend(35, AllImagesBut({0, 1, 5})));
        EXPECT_EQ(MarkerIds(available), std::vector<int>{3001});

        // Tips are the commands' texts; a marker has none.
        EXPECT_EQ(TipText(current, IDM_STOP), L"ダウンロード中止");
        EXPECT_EQ(TipText(available, IDM_ABOUT), L"バージョン情報");
        EXPECT_EQ(TipText(current, 3001), L"");
        EXPECT_EQ(TipText(available, 3001), L"");
    }));
}

TEST_F(CustomizeDialogTest, ClicksMoveButtonsBetweenThePanes) {
    WriteLayoutFile(L"5,-1,1,0,-1");
    CreateWindowUnderTest();
    EXPECT_FALSE(Customize([&](HWND dialog) {
        HWND current = CurrentToolbar(dialog);
        HWND available = AvailableToolbar(dialog);

        // Taken off: back right after the marker, not at its catalogue place.
        Click(current, IDM_SELECT_DONE);
        EXPECT_EQ(Images(current), (std::vector<int>{35, 1, 0, 35}));
        EXPECT_EQ(Images(available), Prepend(35, Prepend(5, AllImagesBut({0, 1, 5}))));

        // Added: appended at the end.
        Click(available, IDM_SELECT_STANDBY);
        EXPECT_EQ(Images(current), (std::vector<int>{35, 1, 0, 35, 3}));
        EXPECT_EQ(Images(available), Prepend(35, Prepend(5, AllImagesBut({0, 1, 3, 5}))));

        // A separator taken off is simply gone.
        Click(current, 3001);
        EXPECT_EQ(Images(current), (std::vector<int>{1, 0, 35, 3}));
        EXPECT_EQ(Images(available).size(), 33u);

        // The marker stays and appends a new separator each time.
        for (int i = 0; i < 3; ++i) {
            Click(available, 3001);
        }
        EXPECT_EQ(Images(current), (std::vector<int>{1, 0, 35, 3, 35, 35, 35}));
        EXPECT_EQ(MarkerIds(current), (std::vector<int>{3002, 3003, 3004, 3005}));
        EXPECT_EQ(Buttons(available).front().idCommand, 3001);
    }));
    // Cancelled: nothing changed.
    EXPECT_EQ(Images(MainToolbar()), (std::vector<int>{5, -1, 1, 0, -1}));
    EXPECT_EQ(ReadBytes(LayoutFilePath()), EncodeUtf16LeText(L"5,-1,1,0,-1"));
}

TEST_F(CustomizeDialogTest, SeparatorMarkerIdsRunOnOverTheWholeProcess) {
    CreateWindowUnderTest();
    // The default layout has eight separators.
    Customize([&](HWND dialog) {
        EXPECT_EQ(MarkerIds(CurrentToolbar(dialog)),
                  (std::vector<int>{3001, 3002, 3003, 3004, 3005, 3006, 3007, 3008}));
        Click(AvailableToolbar(dialog), 3001);
        EXPECT_EQ(MarkerIds(CurrentToolbar(dialog)).back(), 3009);
    });
    Customize([&](HWND dialog) {
        EXPECT_EQ(MarkerIds(CurrentToolbar(dialog)),
                  (std::vector<int>{3010, 3011, 3012, 3013, 3014, 3015, 3016, 3017}));
    });

    // A click reaches the pane with the id in 16 bits: past 65535 the ids start again at
    // 3001, and one still on the pane is not handed out twice.
    gMainToolbarLayout = ParseToolbarLayout(L"0,-1");
    SetNextSeparatorMarkerId(3001);
    EXPECT_TRUE(Customize([&](HWND dialog) {
        HWND current = CurrentToolbar(dialog);
        SetNextSeparatorMarkerId(65535);
        Click(AvailableToolbar(dialog), 3001);
        Click(AvailableToolbar(dialog), 3001);
        EXPECT_EQ(MarkerIds(current), (std::vector<int>{3001, 65535, 3002}));
        Click(current, 65535);
        EXPECT_EQ(MarkerIds(current), (std::vector<int>{3001, 3002}));
        EXPECT_EQ(Images(AvailableToolbar(dialog)), Prepend(35, AllImagesBut({0})));
        Press(dialog, IDOK);
    }));
    EXPECT_EQ(ReadBytes(LayoutFilePath()), EncodeUtf16LeText(L"0,-1,-1"));
}

TEST_F(CustomizeDialogTest, OkSavesTheLayoutAndTheRebuiltToolbarShowsIt) {
    CreateWindowUnderTest();
    // Unchanged: the file is written with the same buttons, and so is the toolbar.
    ASSERT_TRUE(Customize([](HWND dialog) { Press(dialog, IDOK); }));
    RebuildMainToolbar(window_);
    EXPECT_EQ(ReadBytes(LayoutFilePath()), EncodeUtf16LeText(kDefaultLine));
    EXPECT_EQ(Images(MainToolbar()), LayoutImages(kDefaultLine));

    // The stop button, enabled in the dialog, is disabled again on the main toolbar. Buttons
    // taken off come back in catalogue order at the next opening.
    ASSERT_TRUE(Customize([](HWND dialog) {
        HWND current = CurrentToolbar(dialog);
        Click(current, IDM_DOWNLOAD);        // image 0
        Click(current, IDM_SELECT_STANDBY);  // image 3
        Click(current, MarkerIds(current).front());
        Click(current, IDM_STOP);
        Click(AvailableToolbar(dialog), IDM_STOP);
        Click(AvailableToolbar(dialog), 3001);
        EXPECT_EQ(Images(AvailableToolbar(dialog)), (std::vector<int>{35, 3, 0}));
        Press(dialog, IDOK);
    }));
    RebuildMainToolbar(window_);
    const wchar_t* line =
        L"2,4,5,6,7,8,9,10,-1,11,12,-1,13,14,15,16,17,18,19,20,21,22,-1,23,24,25,26,-1,"
        L"27,28,29,30,-1,31,-1,32,-1,33,34,1,-1";
    EXPECT_EQ(ReadBytes(LayoutFilePath()), EncodeUtf16LeText(line));
    EXPECT_EQ(Images(MainToolbar()), LayoutImages(line));
    EXPECT_FALSE(SendMessageW(MainToolbar(), TB_ISBUTTONENABLED, IDM_STOP, 0));
    Customize([](HWND dialog) {
        EXPECT_EQ(Images(AvailableToolbar(dialog)), (std::vector<int>{35, 0, 3}));
    });

    // Everything taken off: the mark alone, an empty toolbar, and an empty one at next start.
    ASSERT_TRUE(Customize([](HWND dialog) {
        HWND current = CurrentToolbar(dialog);
        for (int i = 0; i < 100 && !Buttons(current).empty(); ++i) {
            Click(current, Buttons(current).front().idCommand);
        }
        EXPECT_TRUE(Buttons(current).empty());
        Press(dialog, IDOK);
    }));
    RebuildMainToolbar(window_);
    EXPECT_EQ(ReadBytes(LayoutFilePath()), "\xFF\xFE");
    EXPECT_TRUE(Images(MainToolbar()).empty());
    DestroyWindow(window_);
    CreateWindowUnderTest();
    EXPECT_TRUE(Images(MainToolbar()).empty());
}

TEST_F(CustomizeDialogTest, OkDuringARunIsRefusedAndTheDialogKeepsTheChanges) {
    CreateWindowUnderTest();
    EXPECT_TRUE(Customize([&](HWND dialog) {
        Click(CurrentToolbar(dialog), IDM_DOWNLOAD);
        SetRunActive(true);
        Press(dialog, IDOK);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, L"ダウンロード中はカスタマイズできません");
        EXPECT_EQ(messages_[0].caption, L"確認");
        EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OK));
        EXPECT_EQ(messages_[0].owner, dialog);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_FALSE(FileExists(LayoutFilePath()));
        EXPECT_EQ(Images(CurrentToolbar(dialog)).front(), 1);

        // Once the run is over the same changes can be confirmed.
        SetRunActive(false);
        Press(dialog, IDOK);
    }));
    // The default line without its leading "0,".
    EXPECT_EQ(ReadBytes(LayoutFilePath()), EncodeUtf16LeText(kDefaultLine + 2));
}

TEST_F(CustomizeDialogTest, CancelAndTheCloseBoxChangeNothing) {
    WriteLayoutFile(L"5,-1,1");
    CreateWindowUnderTest();
    auto leave = [](UINT message, WPARAM wParam) {
        return [=](HWND dialog) {
            Click(CurrentToolbar(dialog), IDM_SELECT_DONE);
            Click(AvailableToolbar(dialog), 3001);
            SendMessageW(dialog, message, wParam, 0);
            EXPECT_FALSE(IsWindowVisible(dialog));
        };
    };
    EXPECT_FALSE(Customize(leave(WM_COMMAND, IDCANCEL)));
    EXPECT_FALSE(Customize(leave(WM_SYSCOMMAND, SC_CLOSE)));
    EXPECT_EQ(ReadBytes(LayoutFilePath()), EncodeUtf16LeText(L"5,-1,1"));
    EXPECT_EQ(Images(MainToolbar()), (std::vector<int>{5, -1, 1}));
    EXPECT_EQ(FormatToolbarLayout(gMainToolbarLayout), L"5,-1,1");
    // And the next opening starts from the unchanged layout.
    Customize([](HWND dialog) {
        EXPECT_EQ(Images(CurrentToolbar(dialog)), (std::vector<int>{5, 35, 1}));
    });
}

TEST_F(CustomizeDialogTest, ResizingSharesTheHeightBetweenThePanesAndKeepsTheButtonsInTheCorner) {
    CreateWindowUnderTest();
    Customize([&](HWND dialog) {
        struct Placement {
            RECT client, current, available, ok, cancel, toolbar;
        };
        auto measure = [&] {
            Placement p = {};
            GetClientRect(dialog, &p.client);
            p.current = RectIn(dialog, Pane(dialog, IDC_CUSTOMIZE_CURRENT_PANE));
            p.available = RectIn(dialog, Pane(dialog, IDC_CUSTOMIZE_AVAILABLE_PANE));
            p.ok = RectIn(dialog, GetDlgItem(dialog, IDOK));
            p.cancel = RectIn(dialog, GetDlgItem(dialog, IDCANCEL));
            p.toolbar = RectIn(dialog, CurrentToolbar(dialog));
            return p;
        };
        auto checkShape = [](const Placement& p) {
            EXPECT_EQ(p.current.left, 0);
            EXPECT_EQ(p.current.top, 0);
            EXPECT_EQ(p.current.right, p.client.right);
            EXPECT_EQ(p.available.left, 0);
            EXPECT_EQ(p.available.right, p.client.right);
            EXPECT_EQ(p.current.bottom - p.current.top, p.available.bottom - p.available.top);
            // 50 between the panes (one less when the room is odd), the buttons below.
            EXPECT_NEAR(p.available.top - p.current.bottom, 50, 1);
            EXPECT_LT(p.available.bottom, p.ok.top);
            EXPECT_EQ(p.ok.top, p.cancel.top);
            EXPECT_LT(p.ok.right, p.cancel.left);
            // The hosted toolbar spans its pane (inside the pane's edge) and wraps at its width:
            // the default buttons take a few rows, not one row each.
            EXPECT_GT(p.toolbar.right - p.toolbar.left, p.client.right - 8);
            EXPECT_LT(p.toolbar.bottom, p.current.bottom);
        };
        Placement before = measure();
        checkShape(before);

        // The buttons keep their corner and the panes share the change.
        RECT window = {};
        GetWindowRect(dialog, &window);
        int width = window.right - window.left;
        int height = window.bottom - window.top;
        SetWindowPos(dialog, nullptr, 0, 0, width - 200, height - 150, SWP_NOMOVE | SWP_NOZORDER);
        Placement smaller = measure();
        checkShape(smaller);
        EXPECT_EQ(smaller.client.right, before.client.right - 200);
        EXPECT_EQ(smaller.client.bottom, before.client.bottom - 150);
        EXPECT_EQ(smaller.current.bottom, before.current.bottom - 75);
        EXPECT_EQ(smaller.available.top, before.available.top - 75);
        for (auto button : {&Placement::ok, &Placement::cancel}) {
            EXPECT_EQ(smaller.client.right - (smaller.*button).left,
                      before.client.right - (before.*button).left);
            EXPECT_EQ(smaller.client.bottom - (smaller.*button).top,
                      before.client.bottom - (before.*button).top);
        }
    });
}
