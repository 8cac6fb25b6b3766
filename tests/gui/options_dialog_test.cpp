// The options dialog and the Referer dialog, driven from inside their own message loops.
#include "tests/gui/main_window_fixture.h"

#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/referer_dialog.h"
#include "app/settings.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "res/options_dialogs_ids.h"
#include "res/resource.h"

#include <climits>
#include <cwctype>
#include <string>
#include <vector>

namespace {

// A script for the dialog that the code under test is about to open.
struct DialogScript {
    HWND owner;
    std::function<void(HWND)> steps;
    HWND dialog = nullptr;
    bool inSteps = false;  // steps that pump messages must not see the timer again
    DWORD stepsDone = 0;
};

DialogScript* gScript = nullptr;

struct DialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindShownDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (wcscmp(className, L"#32770") == 0 && GetWindow(window, GW_OWNER) == search->owner &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A thread timer, served by the dialog's own message loop: it waits for the dialog to show,
// runs the steps once, and cancels a dialog that the steps left open.
void CALLBACK OnScriptTimer(HWND, UINT, UINT_PTR, DWORD) {
    DialogScript& script = *gScript;
    if (script.inSteps) {
        return;
    }
    if (script.dialog == nullptr) {
        DialogSearch search = {script.owner, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), FindShownDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            script.dialog = search.found;
            script.inSteps = true;
            script.steps(script.dialog);
            script.inSteps = false;
            script.stepsDone = GetTickCount();
        }
    } else if (IsWindowVisible(script.dialog) && GetTickCount() - script.stepsDone > 5000) {
        ADD_FAILURE() << "the dialog is still open after its steps";
        SendMessageW(script.dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

// Opens a dialog through open(), runs steps on it once it shows, and returns open()'s result.
bool WithDialog(HWND owner, const std::function<bool()>& open, std::function<void(HWND)> steps) {
    DialogScript script = {owner, std::move(steps)};
    gScript = &script;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, OnScriptTimer);
    bool result = open();
    KillTimer(nullptr, timer);
    gScript = nullptr;
    EXPECT_NE(script.dialog, nullptr) << "the dialog never showed";
    return result;
}

std::wstring Text(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
    return text;
}

std::wstring Text(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id));
}

// A mouse click as the button sees it: it toggles itself and notifies the dialog.
void Click(HWND dialog, int id) {
    SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0);
}

void Press(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HICON SmallIcon(HWND dialog) {
    return reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
}

HWND RefererField(HWND window) {
    return GetDlgItem(GetDlgItem(window, kRefererBarId), kPathBarEditBase + kRefererBarId);
}

bool RefererButtonPressed(HWND window) {
    return SendMessageW(GetDlgItem(window, kRefererBarId), TB_ISBUTTONCHECKED, IDM_REFERER_TOGGLE,
                        0) != 0;
}

enum class Dismissal { kCancelButton, kEscape, kCloseBox };

// Leaves the dialog without OK, the way a user does.
void Dismiss(HWND dialog, Dismissal way) {
    switch (way) {
        case Dismissal::kCancelButton:
            Press(dialog, IDCANCEL);
            break;
        case Dismissal::kEscape: {
            // The dialog's loop turns the key into Cancel, wherever the focus is.
            HWND target = GetFocus();
            if (target == nullptr || !IsChild(dialog, target)) {
                target = GetDlgItem(dialog, IDOK);
            }
            PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1);
            break;
        }
        case Dismissal::kCloseBox:
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
    }
}

}  // namespace

TEST_F(MainWindowTest, OptionsDialogOpensWithTheCurrentSettingsAndOkKeepsThem) {
    WriteSetting(L"OPTION", L"CONNECT_NUM", L"1500");
    WriteSetting(L"OPTION", L"SAVE_FILE_NAME_TYPE", L"4");
    WriteSetting(L"OPTION", L"PROXY_ON", L"1");
    WriteSetting(L"OPTION", L"BALLOON", L"1");
    CreateWindowUnderTest();
    bool ok = WithDialog(
        window_, [&] { return RunOptionsDialog(window_); },
        [&](HWND dialog) {
            EXPECT_EQ(Text(dialog), L"オプション");
            EXPECT_EQ(SmallIcon(dialog),
                      reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICON)));
            for (int id = IDC_NAME_FILE; id <= IDC_NAME_NUMBER_URL; ++id) {
                EXPECT_EQ(Checked(dialog, id), id == IDC_NAME_NUMBER_URL) << id;
            }
            EXPECT_EQ(Text(dialog, IDC_NAME_NUMBER_URL), L"番号_URL全体");
            // Shown with a thousands separator, which OK must read back.
            std::wstring count = Text(dialog, IDC_CONNECTION_COUNT);
            std::erase_if(count, [](wchar_t c) { return !std::iswdigit(c); });
            EXPECT_NE(Text(dialog, IDC_CONNECTION_COUNT), L"1500");
            EXPECT_EQ(count, L"1500");
            EXPECT_EQ(Text(dialog, IDC_BUFFER_SIZE), L"256");
            EXPECT_TRUE(Checked(dialog, IDC_PROXY_ON));
            EXPECT_FALSE(Checked(dialog, IDC_ASK_EXIT));
            EXPECT_FALSE(Checked(dialog, IDC_IN_TRAY));
            // Without the tray the balloon box is disabled but keeps its state.
            EXPECT_FALSE(Enabled(dialog, IDC_BALLOON));
            EXPECT_TRUE(Checked(dialog, IDC_BALLOON));
            Click(dialog, IDC_IN_TRAY);
            EXPECT_TRUE(Enabled(dialog, IDC_BALLOON));
            Click(dialog, IDC_IN_TRAY);
            EXPECT_FALSE(Enabled(dialog, IDC_BALLOON));
            EXPECT_TRUE(Checked(dialog, IDC_BALLOON));
            Press(dialog, IDOK);
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(gSettings.connectionCount, 1500);
    EXPECT_EQ(gConnectionSlots.size(), 1500u);
    EXPECT_EQ(gSettings.bufferBytes, 262144);
    EXPECT_EQ(gSettings.namingRule, 4);
    EXPECT_EQ(gSettings.proxyOn, 1);
    EXPECT_EQ(gSettings.askExit, 0);
    EXPECT_EQ(gSettings.inTray, 0);
    EXPECT_EQ(gSettings.balloon, 1);  // saved although its box was disabled
    EXPECT_EQ(ReadSetting(L"OPTION", L"BALLOON"), L"1");
}

TEST_F(MainWindowTest, OptionsDialogStoresTypedNumbersWithinTheirRange) {
    CreateWindowUnderTest();
    struct Case {
        const wchar_t* typed;
        int count;  // stored afterwards
    };
    // An emptied or unreadable field keeps the count the dialog opened with.
    const Case cases[] = {{L"12", 12}, {L"", 12},         {L"1x", 12},       {L"0", 1},
                          {L"00", 1},  {L"99999", 32767}, {L"32767", 32767}, {L"7", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        bool ok = WithDialog(
            window_, [&] { return RunOptionsDialog(window_); },
            [&](HWND dialog) {
                SetDlgItemTextW(dialog, IDC_CONNECTION_COUNT, c.typed);
                SetDlgItemTextW(dialog, IDC_BUFFER_SIZE, L"64");
                Press(dialog, IDOK);
            });
        EXPECT_TRUE(ok);
        EXPECT_EQ(gSettings.connectionCount, c.count);
        EXPECT_EQ(gConnectionSlots.size(), static_cast<size_t>(c.count));
        EXPECT_EQ(ReadSetting(L"OPTION", L"CONNECT_NUM"), std::to_wstring(c.count));
        EXPECT_EQ(gSettings.bufferBytes, 65536);
        EXPECT_EQ(ReadSetting(L"OPTION", L"DL_BUF_SIZE"), L"64");
    }
}

TEST_F(MainWindowTest, OptionsDialogRefusesOkDuringARunAndStaysOpen) {
    CreateWindowUnderTest();
    // A run shows the busy icon as the class icon; the dialog takes whichever is current.
    LONG_PTR idleIcon = GetClassLongPtrW(window_, GCLP_HICON);
    SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(gBusyIcon));
    SetRunActive(true);
    bool ok = WithDialog(
        window_, [&] { return RunOptionsDialog(window_); },
        [&](HWND dialog) {
            EXPECT_EQ(SmallIcon(dialog), gBusyIcon);
            SetDlgItemTextW(dialog, IDC_CONNECTION_COUNT, L"9");
            Press(dialog, IDOK);
            ASSERT_EQ(messages_.size(), 1u);
            EXPECT_EQ(messages_[0].owner, dialog);
            EXPECT_EQ(messages_[0].text, L"ダウンロード中は設定変更できません");
            EXPECT_EQ(messages_[0].caption, L"確認");
            EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OK));
            EXPECT_TRUE(IsWindowVisible(dialog));
            EXPECT_EQ(gSettings.connectionCount, 5);
            // Once the run has ended the same OK goes through.
            SetRunActive(false);
            Press(dialog, IDOK);
        });
    SetClassLongPtrW(window_, GCLP_HICON, idleIcon);
    EXPECT_TRUE(ok);
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_EQ(gSettings.connectionCount, 9);
    EXPECT_EQ(gConnectionSlots.size(), 9u);
}

TEST_F(MainWindowTest, OptionsDialogAndRefererDialogChangeNothingWithoutOk) {
    WriteSetting(L"TOOLBAR", L"REFERER", L"http://a.example/");
    CreateWindowUnderTest();
    for (Dismissal way : {Dismissal::kCancelButton, Dismissal::kEscape, Dismissal::kCloseBox}) {
        SCOPED_TRACE(static_cast<int>(way));
        bool ok = WithDialog(
            window_, [&] { return RunOptionsDialog(window_); },
            [&](HWND dialog) {
                Click(dialog, IDC_IN_TRAY);
                Click(dialog, IDC_PROXY_ON);
                Click(dialog, IDC_NAME_NUMBER);
                SetDlgItemTextW(dialog, IDC_CONNECTION_COUNT, L"9");
                SetDlgItemTextW(dialog, IDC_BUFFER_SIZE, L"9");
                Dismiss(dialog, way);
            });
        EXPECT_FALSE(ok);
        EXPECT_EQ(gSettings.connectionCount, 5);
        EXPECT_EQ(gConnectionSlots.size(), 5u);
        EXPECT_EQ(gSettings.bufferBytes, 262144);
        EXPECT_EQ(gSettings.namingRule, 0);
        EXPECT_EQ(gSettings.proxyOn, 0);
        EXPECT_EQ(gSettings.inTray, 0);
        EXPECT_EQ(ReadSetting(L"OPTION", L"CONNECT_NUM"), L"<missing>");

        ok = WithDialog(
            window_, [&] { return RunRefererDialog(window_); },
            [&](HWND dialog) {
                Click(dialog, IDC_REFERER_ON);
                SetDlgItemTextW(dialog, IDC_REFERER_TEXT, L"http://b.example/");
                Dismiss(dialog, way);
            });
        EXPECT_FALSE(ok);
        EXPECT_EQ(gSettings.refererOn, 0);
        EXPECT_EQ(Text(RefererField(window_)), L"http://a.example/");
        EXPECT_FALSE(IsWindowEnabled(RefererField(window_)));
        EXPECT_FALSE(RefererButtonPressed(window_));
        EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), L"<missing>");
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, OptionsDialogResizesTheSlotsKeepingTheFirstRecords) {
    CreateWindowUnderTest();
    ASSERT_EQ(gConnectionSlots.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        gConnectionSlots[i].bufferBytes = 1000 + i;
        gConnectionSlots[i].downloadLog.Add(L"http://example.com/" + std::to_wstring(i));
    }
    auto setCount = [&](const wchar_t* count) {
        return WithDialog(
            window_, [&] { return RunOptionsDialog(window_); },
            [&](HWND dialog) {
                SetDlgItemTextW(dialog, IDC_CONNECTION_COUNT, count);
                Press(dialog, IDOK);
            });
    };
    auto expectKept = [&](size_t i) {
        EXPECT_EQ(gConnectionSlots[i].bufferBytes, 1000 + i) << i;
        ASSERT_EQ(gConnectionSlots[i].downloadLog.size(), 1u) << i;
        EXPECT_EQ(gConnectionSlots[i].downloadLog[0], L"http://example.com/" + std::to_wstring(i));
    };

    ASSERT_TRUE(setCount(L"8"));
    ASSERT_EQ(gConnectionSlots.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const ConnectionSlot& slot = gConnectionSlots[i];
        EXPECT_EQ(slot.number, static_cast<int32_t>(i));
        if (i < 5) {
            expectKept(i);
        } else {
            EXPECT_EQ(slot.busy, 0);
            EXPECT_EQ(slot.heap, nullptr);
            EXPECT_EQ(slot.buffer, nullptr);
            EXPECT_EQ(slot.bufferBytes, 0u);
            EXPECT_TRUE(slot.downloadLog.empty() && slot.cancelLog.empty() &&
                        slot.errorLog.empty());
        }
    }

    ASSERT_TRUE(setCount(L"3"));
    ASSERT_EQ(gConnectionSlots.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        expectKept(i);
    }
}

TEST_F(MainWindowTest, OptionsDialogWritesTheSevenOptionKeysInTheirOrder) {
    auto optionSection = [&] {
        std::vector<wchar_t> buffer(4096);
        DWORD length =
            GetPrivateProfileSectionW(L"OPTION", buffer.data(), 4096, SettingsFile().c_str());
        return std::wstring(buffer.data(), length);
    };
    auto pressOk = [&] {
        return WithDialog(
            window_, [&] { return RunOptionsDialog(window_); },
            [&](HWND dialog) { Press(dialog, IDOK); });
    };
    CreateWindowUnderTest();
    ASSERT_TRUE(pressOk());
    using namespace std::string_literals;
    EXPECT_EQ(optionSection(),
              L"CONNECT_NUM=5\0DL_BUF_SIZE=256\0PROXY_ON=0\0SAVE_FILE_NAME_TYPE=0\0"
              L"ASK_EXIT=0\0IN_TRAY=0\0BALLOON=0\0"s);

    // Any non-zero switch loads as on and goes back to the file as 1.
    DestroyWindow(window_);
    window_ = nullptr;
    PumpPending();
    WriteSetting(L"OPTION", L"PROXY_ON", L"7");
    CreateWindowUnderTest();
    ASSERT_TRUE(pressOk());
    EXPECT_EQ(optionSection(),
              L"CONNECT_NUM=5\0DL_BUF_SIZE=256\0PROXY_ON=1\0SAVE_FILE_NAME_TYPE=0\0"
              L"ASK_EXIT=0\0IN_TRAY=0\0BALLOON=0\0"s);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, OptionsDialogKeepsNewValuesWhenTheSettingsFileCannotBeWritten) {
    CreateWindowUnderTest();
    // A folder in the file's place makes every write fail.
    ASSERT_TRUE(CreateDirectoryW(SettingsFile().c_str(), nullptr));
    bool ok = WithDialog(
        window_, [&] { return RunOptionsDialog(window_); },
        [&](HWND dialog) {
            SetDlgItemTextW(dialog, IDC_CONNECTION_COUNT, L"8");
            Press(dialog, IDOK);
        });
    EXPECT_TRUE(ok);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].owner, window_);
    EXPECT_EQ(messages_[0].text, L"設定ファイルの書き込みに失敗しました");
    EXPECT_EQ(messages_[0].caption, L"エラー");
    EXPECT_EQ(gSettings.connectionCount, 8);
    EXPECT_EQ(gConnectionSlots.size(), 8u);
    RemoveDirectoryW(SettingsFile().c_str());
}

TEST_F(MainWindowTest, OptionsDialogKeepsTheCountWhenTheSlotsCannotGrow) {
    CreateWindowUnderTest();
    gSettings.connectionCount = INT_MAX;  // far more records than memory can hold
    ApplyOptions(window_);
    EXPECT_EQ(gSettings.connectionCount, 5);
    EXPECT_EQ(gConnectionSlots.size(), 5u);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, L"エラー");
    EXPECT_EQ(messages_[0].owner, window_);
    EXPECT_EQ(ReadSetting(L"OPTION", L"CONNECT_NUM"), L"5");
}

TEST_F(MainWindowTest, RefererDialogSetsTheFlagTheBarAndTheText) {
    WriteSetting(L"TOOLBAR", L"REFERER_ON", L"1");
    WriteSetting(L"TOOLBAR", L"REFERER", L"http://a.example/");
    CreateWindowUnderTest();
    bool ok = WithDialog(
        window_, [&] { return RunRefererDialog(window_); },
        [&](HWND dialog) {
            EXPECT_EQ(Text(dialog), L"Referer情報設定");
            EXPECT_EQ(SmallIcon(dialog),
                      reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICON)));
            EXPECT_TRUE(Checked(dialog, IDC_REFERER_ON));
            EXPECT_EQ(Text(dialog, IDC_REFERER_TEXT), L"http://a.example/");
            EXPECT_TRUE(Enabled(dialog, IDC_REFERER_TEXT));
            Click(dialog, IDC_REFERER_ON);
            EXPECT_FALSE(Enabled(dialog, IDC_REFERER_TEXT));
            SetDlgItemTextW(dialog, IDC_REFERER_TEXT, L"http://b.example/");
            Press(dialog, IDOK);
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(gSettings.refererOn, 0);
    EXPECT_FALSE(IsWindowEnabled(RefererField(window_)));
    EXPECT_FALSE(RefererButtonPressed(window_));
    // The text is taken even though the Referer is now off.
    EXPECT_EQ(Text(RefererField(window_)), L"http://b.example/");
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER"), L"http://b.example/");
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), L"0");

    ok = WithDialog(
        window_, [&] { return RunRefererDialog(window_); },
        [&](HWND dialog) {
            EXPECT_FALSE(Checked(dialog, IDC_REFERER_ON));
            EXPECT_FALSE(Enabled(dialog, IDC_REFERER_TEXT));
            EXPECT_EQ(Text(dialog, IDC_REFERER_TEXT), L"http://b.example/");
            Click(dialog, IDC_REFERER_ON);
            EXPECT_TRUE(Enabled(dialog, IDC_REFERER_TEXT));
            Press(dialog, IDOK);
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(gSettings.refererOn, 1);
    EXPECT_TRUE(IsWindowEnabled(RefererField(window_)));
    EXPECT_TRUE(RefererButtonPressed(window_));
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), L"1");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, RefererDialogKeepsALongRefererWhole) {
    CreateWindowUnderTest();
    std::wstring referer = L"http://example.com/?q=" + std::wstring(5000, L'r');
    SetBarText(kRefererBarId, referer);
    bool ok = WithDialog(
        window_, [&] { return RunRefererDialog(window_); },
        [&](HWND dialog) {
            EXPECT_EQ(Text(dialog, IDC_REFERER_TEXT), referer);
            Press(dialog, IDOK);
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Text(RefererField(window_)), referer);
}
