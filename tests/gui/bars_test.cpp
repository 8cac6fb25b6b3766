// The toolbars, the path bars, the layout of the window and the status bar.
#include "tests/gui/main_window_fixture.h"

#include "app/referer_dialog.h"
#include "app/settings.h"
#include "app/status_bar.h"
#include "app/window_layout.h"
#include "bars/main_toolbar.h"
#include "bars/path_bars.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "list/download_list.h"
#include "res/resource.h"

#include <algorithm>
#include <optional>

namespace {

// Bars 2 to 7 with the VIEW key of each, and the main toolbar's.
const wchar_t* const kBarViewKeys[] = {L"MAIN_TBAR",       L"DL_LIST_TBAR", L"DL_LOG_TBAR",
                                       L"CANCEL_LOG_TBAR", L"ERR_LOG_TBAR", L"DL_DIR_TBAR",
                                       L"REF_TBAR"};

HWND Bar(HWND window, int barId) {
    return GetDlgItem(window, barId);
}

HWND Field(HWND window, int barId) {
    return GetDlgItem(Bar(window, barId), kPathBarEditBase + barId);
}

std::wstring FieldText(HWND window, int barId) {
    std::wstring text(GetWindowTextLengthW(Field(window, barId)) + 1, L'\0');
    text.resize(GetWindowTextW(Field(window, barId), text.data(), static_cast<int>(text.size())));
    return text;
}

// A child's rectangle in the main window's client coordinates.
RECT ClientRectOf(HWND window, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int Height(const RECT& rect) {
    return rect.bottom - rect.top;
}

int Width(const RECT& rect) {
    return rect.right - rect.left;
}

std::vector<int> ToolbarImages(HWND toolbar) {
    std::vector<int> images;
    int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        SendMessageW(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        images.push_back((button.fsStyle & BTNS_SEP) ? -1 : button.iBitmap);
    }
    return images;
}

RECT ButtonRect(HWND bar, int command) {
    RECT rect = {};
    SendMessageW(bar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

std::wstring StatusText(HWND window, int part) {
    wchar_t text[128] = L"";
    SendMessageW(GetDlgItem(window, kStatusBarId), SB_GETTEXTW, part,
                 reinterpret_cast<LPARAM>(text));
    return text;
}

std::array<int, kStatusPartCount> StatusEdges(HWND window) {
    std::array<int, kStatusPartCount> edges = {};
    SendMessageW(GetDlgItem(window, kStatusBarId), SB_GETPARTS, kStatusPartCount,
                 reinterpret_cast<LPARAM>(edges.data()));
    return edges;
}

void Type(HWND field, wchar_t character) {
    SendMessageW(field, EM_SETSEL, GetWindowTextLengthW(field), GetWindowTextLengthW(field));
    SendMessageW(field, WM_CHAR, character, 1);
}

// A left click in the middle of a toolbar button, as the mouse gives it.
void Click(HWND bar, int command, UINT down, UINT up) {
    RECT rect = ButtonRect(bar, command);
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(bar, WM_MOUSEMOVE, 0, point);
    SendMessageW(bar, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, point);
    SendMessageW(bar, up, 0, point);
}

}  // namespace

TEST_F(MainWindowTest, LayoutFileDecidesTheMainToolbarButtons) {
    struct Case {
        std::optional<std::wstring> file;  // text after the mark; none: no file at all
        std::vector<int> images;
    };
    std::wstring separators = L"-1";
    for (int i = 1; i < 300; ++i) {
        separators += L",-1";
    }
    const Case cases[] = {
        {std::nullopt,
         {0,  1,  2,  -1, 3,  4,  5,  6,  7,  8,  9,  10, -1, 11, 12, -1, 13, 14, 15, 16, 17, 18,
          19, 20, 21, 22, -1, 23, 24, 25, 26, -1, 27, 28, 29, 30, -1, 31, -1, 32, -1, 33, 34}},
        {L"5,-1,5,0,99,-1", {5, -1, 0, -1}},
        {L"1", {1}},
        {L"", {}},
        {L"\n", {0}},
        {L"3,4,", {3, 4, 0}},
        {separators, std::vector<int>(256, -1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file ? c.file->substr(0, 20) : L"no file");
        DeleteFileW(LayoutFilePath().c_str());
        if (c.file) {
            ASSERT_TRUE(WriteBytes(LayoutFilePath(), EncodeUtf16LeText(*c.file)));
        }
        CreateWindowUnderTest();
        HWND toolbar = Bar(window_, kMainToolbarId);
        EXPECT_EQ(ToolbarImages(toolbar), c.images);
        // The stop button is there only to be enabled during a run.
        if (SendMessageW(toolbar, TB_COMMANDTOINDEX, IDM_STOP, 0) >= 0) {
            EXPECT_FALSE(SendMessageW(toolbar, TB_ISBUTTONENABLED, IDM_STOP, 0));
        }
        DestroyWindow(window_);
        window_ = nullptr;
        PumpPending();
    }
}

TEST_F(MainWindowTest, SavedLayoutIsOneLineAfterTheMarkAndTheStopButtonStaysDisabled) {
    CreateWindowUnderTest();
    HWND toolbar = Bar(window_, kMainToolbarId);
    SendMessageW(toolbar, TB_ENABLEBUTTON, IDM_STOP, TRUE);  // as during a run
    SaveToolbarLayout(toolbar);
    EXPECT_EQ(ReadBytes(LayoutFilePath()),
              EncodeUtf16LeText(L"0,1,2,-1,3,4,5,6,7,8,9,10,-1,11,12,-1,13,14,15,16,17,18,19,"
                                L"20,21,22,-1,23,24,25,26,-1,27,28,29,30,-1,31,-1,32,-1,33,34"));
    ASSERT_EQ(gMainToolbarLayout.size(), 43u);
    EXPECT_EQ(gMainToolbarLayout[1].fsState, 0);

    // A toolbar without buttons writes the mark alone.
    SendMessageW(toolbar, TB_SETSTATE, 0, 0);
    while (SendMessageW(toolbar, TB_DELETEBUTTON, 0, 0)) {
    }
    SaveToolbarLayout(toolbar);
    EXPECT_EQ(ReadBytes(LayoutFilePath()), "\xFF\xFE");
    EXPECT_TRUE(gMainToolbarLayout.empty());
}

TEST_F(MainWindowTest, EveryToolbarButtonsTooltipIsItsCommandsText) {
    CreateWindowUnderTest();
    int buttons = 0;
    for (int barId = kMainToolbarId; barId <= kRefererBarId; ++barId) {
        HWND bar = Bar(window_, barId);
        HWND tips = reinterpret_cast<HWND>(SendMessageW(bar, TB_GETTOOLTIPS, 0, 0));
        ASSERT_NE(tips, nullptr) << barId;
        int count = static_cast<int>(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TBBUTTON button = {};
            SendMessageW(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
            if (button.fsStyle & BTNS_SEP) {
                continue;
            }
            wchar_t shown[256] = L"";
            TOOLINFOW tool = {};
            tool.cbSize = sizeof tool;
            tool.hwnd = bar;
            tool.uId = button.idCommand;
            tool.lpszText = shown;
            SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
            wchar_t expected[256] = L"";
            ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), button.idCommand, expected, 256), 0)
                << button.idCommand;
            EXPECT_STREQ(shown, expected) << barId << " " << button.idCommand;
            ++buttons;
        }
    }
    EXPECT_EQ(buttons, 35 + 4 * 4 + 2 + 1);
}

TEST_F(MainWindowTest, WithEveryBarHiddenTheListStartsAtTheTop) {
    for (const wchar_t* key : kBarViewKeys) {
        WriteSetting(L"VIEW", key, L"0");
    }
    CreateWindowUnderTest();
    EXPECT_EQ(ClientRectOf(window_, GetDlgItem(window_, kListViewId)).top, 0);
    for (int barId = kMainToolbarId; barId <= kRefererBarId; ++barId) {
        EXPECT_FALSE(IsWindowVisible(Bar(window_, barId))) << barId;
    }
}

TEST_F(MainWindowTest, HidingABarMovesTheLowerBarsUpAndGivesTheListItsHeight) {
    CreateWindowUnderTest();
    HWND list = GetDlgItem(window_, kListViewId);
    RECT listBefore = ClientRectOf(window_, list);
    int height = Height(ClientRectOf(window_, Bar(window_, kDownloadLogBarId)));
    int topsBefore[kRefererBarId + 1] = {};
    for (int barId = kCancelLogBarId; barId <= kRefererBarId; ++barId) {
        topsBefore[barId] = ClientRectOf(window_, Bar(window_, barId)).top;
    }

    SendCommand(IDM_VIEW_DL_LOG_TBAR);
    EXPECT_FALSE(IsWindowVisible(Bar(window_, kDownloadLogBarId)));
    EXPECT_FALSE(GetMenuState(GetMenu(window_), IDM_VIEW_DL_LOG_TBAR, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(ReadSetting(L"VIEW", L"DL_LOG_TBAR"), L"0");
    for (int barId = kCancelLogBarId; barId <= kRefererBarId; ++barId) {
        EXPECT_EQ(ClientRectOf(window_, Bar(window_, barId)).top, topsBefore[barId] - height);
    }
    RECT listAfter = ClientRectOf(window_, list);
    EXPECT_EQ(listAfter.top, listBefore.top - height);
    EXPECT_EQ(listAfter.bottom, listBefore.bottom);

    SendCommand(IDM_VIEW_DL_LOG_TBAR);
    EXPECT_TRUE(GetMenuState(GetMenu(window_), IDM_VIEW_DL_LOG_TBAR, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(ReadSetting(L"VIEW", L"DL_LOG_TBAR"), L"1");
    EXPECT_EQ(ClientRectOf(window_, list).top, listBefore.top);
}

TEST_F(MainWindowTest, HidingTheStatusBarGivesItsHeightToTheList) {
    CreateWindowUnderTest();
    HWND list = GetDlgItem(window_, kListViewId);
    RECT before = ClientRectOf(window_, list);
    int statusHeight = Height(ClientRectOf(window_, GetDlgItem(window_, kStatusBarId)));
    SendCommand(IDM_VIEW_STATUSBAR);
    EXPECT_EQ(ReadSetting(L"VIEW", L"STATUSBAR"), L"0");
    EXPECT_EQ(Height(ClientRectOf(window_, list)), Height(before) + statusHeight);
    SendCommand(IDM_VIEW_STATUSBAR);
    EXPECT_EQ(Height(ClientRectOf(window_, list)), Height(before));
}

TEST_F(MainWindowTest, WideningTheWindowWidensOnlyTheFields) {
    CreateWindowUnderTest();
    SetWindowPos(window_, nullptr, 0, 0, 900, 600, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    struct Measure {
        RECT field;
        RECT caption;
        int lastButtonFromRight;
    };
    auto measure = [&](int barId) {
        HWND bar = Bar(window_, barId);
        RECT client = {};
        GetClientRect(bar, &client);
        int count = static_cast<int>(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
        RECT last = {};
        SendMessageW(bar, TB_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&last));
        return Measure{ClientRectOf(window_, Field(window_, barId)),
                       ClientRectOf(window_, PathBarCaptionWindow(barId)),
                       client.right - last.right};
    };
    Measure before[kRefererBarId + 1];
    for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
        before[barId] = measure(barId);
    }
    SetWindowPos(window_, nullptr, 0, 0, 1037, 600, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
        SCOPED_TRACE(barId);
        Measure after = measure(barId);
        EXPECT_EQ(Width(after.field), Width(before[barId].field) + 137);
        EXPECT_EQ(after.field.left, before[barId].field.left);
        EXPECT_TRUE(EqualRect(&after.caption, &before[barId].caption));
        EXPECT_EQ(after.lastButtonFromRight, before[barId].lastButtonFromRight);
    }
}

TEST_F(MainWindowTest, EachCaptionSeparatorIsItsOwnTextWidthPlusFive) {
    CreateWindowUnderTest();
    for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
        HWND bar = Bar(window_, barId);
        HDC dc = GetDC(bar);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0)));
        SIZE text = {};
        GetTextExtentPoint32W(dc, PathBarCaption(barId),
                              static_cast<int>(wcslen(PathBarCaption(barId))), &text);
        SelectObject(dc, old);
        ReleaseDC(bar, dc);
        EXPECT_EQ(Width(ButtonRect(bar, 3000)), text.cx + 5) << barId;
        // The field sits 5 pixels inside its separator on both sides.
        RECT separator = ButtonRect(bar, 3001);
        RECT field = {};
        GetWindowRect(Field(window_, barId), &field);
        MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&field), 2);
        EXPECT_EQ(field.left, separator.left + 5) << barId;
        EXPECT_EQ(field.right, separator.right - 5) << barId;
    }
}

TEST_F(MainWindowTest, NarrowWindowKeepsCaptionsAndButtonsAndShrinksTheFieldsAway) {
    CreateWindowUnderTest();
    RECT wideCaption = ButtonRect(Bar(window_, kDownloadListBarId), 3000);
    SetWindowPos(window_, nullptr, 0, 0, 110, 500, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    int y = Height(ClientRectOf(window_, Bar(window_, kMainToolbarId)));
    for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
        SCOPED_TRACE(barId);
        HWND bar = Bar(window_, barId);
        RECT barRect = ClientRectOf(window_, bar);
        EXPECT_EQ(barRect.top, y);  // the bars, grown by their wrapped buttons, still stack
        y = barRect.bottom;
        EXPECT_LT(Width(ClientRectOf(window_, Field(window_, barId))), 10);
        EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 2 + (barId == kSaveFolderBarId ? 2
                                                                : barId == kRefererBarId  ? 1
                                                                                          : 4));
    }
    RECT narrowCaption = ButtonRect(Bar(window_, kDownloadListBarId), 3000);
    EXPECT_EQ(Width(narrowCaption), Width(wideCaption));
    EXPECT_EQ(ClientRectOf(window_, GetDlgItem(window_, kListViewId)).top, y);
}

TEST_F(MainWindowTest, RebuiltMainToolbarsHeightIsUsedAtOnce) {
    CreateWindowUnderTest();
    // Narrow enough for the default toolbar to wrap onto several rows.
    SetWindowPos(window_, nullptr, 0, 0, 500, 600, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    int wrappedHeight = Height(ClientRectOf(window_, Bar(window_, kMainToolbarId)));
    gMainToolbarLayout = ParseToolbarLayout(L"0");
    RebuildMainToolbar(window_);
    HWND rebuilt = Bar(window_, kMainToolbarId);
    EXPECT_EQ(ToolbarImages(rebuilt), std::vector<int>{0});
    int height = Height(ClientRectOf(window_, rebuilt));
    EXPECT_LT(height, wrappedHeight);
    EXPECT_EQ(ClientRectOf(window_, Bar(window_, kDownloadListBarId)).top, height);
    PumpPending();  // the old toolbar closes through the queue
    int toolbars = 0;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = L"";
        GetClassNameW(child, className, 64);
        toolbars += wcscmp(className, TOOLBARCLASSNAMEW) == 0;
    }
    EXPECT_EQ(toolbars, 7);
}

// The rows a wrapped toolbar's buttons take, and how far its lowest button reaches.
struct ToolbarRows {
    int rows;
    int top;
    int bottom;
};

ToolbarRows RowsOf(HWND toolbar) {
    std::vector<LONG> tops;
    ToolbarRows rows = {0, -1, 0};
    int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        SendMessageW(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        RECT item = {};
        SendMessageW(toolbar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
        if (!(button.fsStyle & BTNS_SEP) &&
            std::find(tops.begin(), tops.end(), item.top) == tops.end()) {
            tops.push_back(item.top);
        }
        rows.top = rows.top < 0 ? item.top : std::min<int>(rows.top, item.top);
        rows.bottom = std::max<int>(rows.bottom, item.bottom);
    }
    rows.rows = static_cast<int>(tops.size());
    return rows;
}

TEST_F(MainWindowTest, MainToolbarIsAsTallAsItsRowsAndThePathBarsFollow) {
    CreateWindowUnderTest();
    HWND toolbar = Bar(window_, kMainToolbarId);
    int buttonHeight = HIWORD(SendMessageW(toolbar, TB_GETBUTTONSIZE, 0, 0));
    // Narrowing and widening again: the bar must shrink back as well as grow.
    const struct {
        int clientWidth;
        int rows;
    } cases[] = {{930, 2}, {600, 3}, {450, 3}, {930, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clientWidth);
        RECT frame = {0, 0, c.clientWidth, 600};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, TRUE);
        SetWindowPos(window_, nullptr, 0, 0, Width(frame), Height(frame),
                     SWP_NOZORDER | SWP_NOMOVE);
        PumpPending();
        RECT client = {};
        GetClientRect(window_, &client);
        ASSERT_EQ(client.right, c.clientWidth);

        ToolbarRows rows = RowsOf(toolbar);
        EXPECT_EQ(rows.rows, c.rows);
        RECT bar = {};
        GetClientRect(toolbar, &bar);
        // The rows, the gaps of the separators wrapped between them, and the inset the
        // control keeps above the first row, again below the last: no empty band.
        EXPECT_GE(rows.bottom - rows.top, rows.rows * buttonHeight);
        EXPECT_EQ(bar.bottom, rows.bottom + rows.top);
        RECT toolbarRect = ClientRectOf(window_, toolbar);
        EXPECT_EQ(Width(toolbarRect), c.clientWidth);
        EXPECT_EQ(ClientRectOf(window_, Bar(window_, kDownloadListBarId)).top, toolbarRect.bottom);
    }
}

TEST_F(MainWindowTest, TypingInAPathFieldWritesItsKeyAtOnce) {
    CreateWindowUnderTest();
    EXPECT_FALSE(FileExists(SettingsFile()));  // creating the fields wrote nothing
    Type(Field(window_, kSaveFolderBarId), L'C');
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_DIR"), L"C");
    Type(Field(window_, kRefererBarId), L'r');  // disabled or not, the text is stored
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER"), L"r");
    SetWindowTextW(Field(window_, kDownloadLogBarId), L"D:\\logs\\log.txt");
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_LOG"), L"D:\\logs\\log.txt");
    SetWindowTextW(Field(window_, kDownloadLogBarId), L"");
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_LOG"), L"");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, LongValueShowsItsFirst1023CharactersAndWritesNoMore) {
    WriteSetting(L"TOOLBAR", L"DL_LIST", std::wstring(1100, L'a').c_str());
    CreateWindowUnderTest();
    EXPECT_EQ(FieldText(window_, kDownloadListBarId), std::wstring(1023, L'a'));
    Type(Field(window_, kDownloadListBarId), L'b');
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_LIST"), std::wstring(1023, L'a'));
}

TEST_F(MainWindowTest, UnwritableSettingsFileReportsEachChangeAndTheFieldKeepsIt) {
    WriteSetting(L"TOOLBAR", L"DL_DIR", L"C:\\");
    CreateWindowUnderTest();
    // A settings "file" that is a folder cannot be written.
    ASSERT_TRUE(DeleteFileW(SettingsFile().c_str()));
    ASSERT_TRUE(CreateDirectoryW(SettingsFile().c_str(), nullptr));
    Type(Field(window_, kSaveFolderBarId), L'x');
    Type(Field(window_, kSaveFolderBarId), L'y');
    RemoveDirectoryW(SettingsFile().c_str());
    ASSERT_EQ(messages_.size(), 2u);
    for (const UserMessage& message : messages_) {
        EXPECT_EQ(message.text, L"設定ファイルの書き込みに失敗しました");
        EXPECT_EQ(message.caption, L"エラー");
        EXPECT_EQ(message.owner, window_);
    }
    EXPECT_EQ(FieldText(window_, kSaveFolderBarId), L"C:\\xy");
}

TEST_F(MainWindowTest, RefererButtonFollowsTheSettingAndTwoClicksRestoreIt) {
    for (const wchar_t* start : {L"0", L"1"}) {
        SCOPED_TRACE(start);
        WriteSetting(L"TOOLBAR", L"REFERER_ON", start);
        WriteSetting(L"TOOLBAR", L"REFERER", L"http://example.com/");
        CreateWindowUnderTest();
        bool on = start[0] == L'1';
        HWND bar = Bar(window_, kRefererBarId);
        auto pressed = [&] {
            return (SendMessageW(bar, TB_GETSTATE, IDM_REFERER_TOGGLE, 0) & TBSTATE_CHECKED) != 0;
        };
        EXPECT_EQ(pressed(), on);
        EXPECT_EQ(IsWindowEnabled(Field(window_, kRefererBarId)) != 0, on);
        EXPECT_EQ(FieldText(window_, kRefererBarId), L"http://example.com/");

        Click(bar, IDM_REFERER_TOGGLE, WM_LBUTTONDOWN, WM_LBUTTONUP);
        PumpPending();
        EXPECT_EQ(pressed(), !on);
        EXPECT_EQ(gSettings.refererOn, on ? 0 : 1);
        EXPECT_EQ(IsWindowEnabled(Field(window_, kRefererBarId)) != 0, !on);
        EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), on ? L"0" : L"1");

        Click(bar, IDM_REFERER_TOGGLE, WM_LBUTTONDOWN, WM_LBUTTONUP);
        PumpPending();
        EXPECT_EQ(pressed(), on);
        EXPECT_EQ(IsWindowEnabled(Field(window_, kRefererBarId)) != 0, on);
        EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), start);
        DestroyWindow(window_);
        window_ = nullptr;
        PumpPending();
    }
}

TEST_F(MainWindowTest, AfterTheRefererDialogTheBarFollowsTheFlag) {
    CreateWindowUnderTest();
    gSettings.refererOn = 1;
    ShowRefererStateOnBar(window_);
    EXPECT_TRUE(
        SendMessageW(Bar(window_, kRefererBarId), TB_ISBUTTONCHECKED, IDM_REFERER_TOGGLE, 0));
    EXPECT_TRUE(IsWindowEnabled(Field(window_, kRefererBarId)));
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), L"1");
    gSettings.refererOn = 0;
    ShowRefererStateOnBar(window_);
    EXPECT_FALSE(
        SendMessageW(Bar(window_, kRefererBarId), TB_ISBUTTONCHECKED, IDM_REFERER_TOGGLE, 0));
    EXPECT_FALSE(IsWindowEnabled(Field(window_, kRefererBarId)));
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"REFERER_ON"), L"0");
}

TEST_F(MainWindowTest, RightClicksOnToolbarsDoNothing) {
    CreateWindowUnderTest();
    // A left click on "open the list file's folder" with no path says so; a right click
    // must not.
    HWND listBar = Bar(window_, kDownloadListBarId);
    Click(listBar, IDM_OPEN_DL_LIST_DIR, WM_RBUTTONDOWN, WM_RBUTTONUP);
    PumpPending();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(GetCapture(), nullptr);
    Click(Bar(window_, kMainToolbarId), IDM_README, WM_RBUTTONDOWN, WM_RBUTTONUP);
    PumpPending();
    EXPECT_TRUE(shellCalls_.empty());
    EXPECT_EQ(GetCapture(), nullptr);
    Click(listBar, IDM_OPEN_DL_LIST_DIR, WM_LBUTTONDOWN, WM_LBUTTONUP);
    PumpPending();
    EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(MainWindowTest, StatusBarCountsRowsPerState) {
    CreateWindowUnderTest();
    const int none[6] = {};
    auto emptyTexts = StatusBarTexts(0, none);
    for (int part = 1; part <= 7; ++part) {
        EXPECT_EQ(StatusText(window_, part), emptyTexts[part - 1]) << part;
    }
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(AddEntry(L"http://example.com/" + std::to_wstring(i)));
    }
    SetRowState(3, kError);
    RefreshStatusBar(window_);
    const int counts[6] = {3, 0, 0, 0, 0, 1};
    auto texts = StatusBarTexts(4, counts);
    for (int part = 1; part <= 7; ++part) {
        EXPECT_EQ(StatusText(window_, part), texts[part - 1]) << part;
    }
    for (int part = 2; part <= 7; ++part) {
        EXPECT_NE(SendMessageW(GetDlgItem(window_, kStatusBarId), SB_GETICON, part, 0), 0) << part;
    }

    // The counts follow a change of state without a recount.
    SetRowState(1, kDone);
    RefreshStatusBar(window_);
    const int changed[6] = {2, 0, 0, 1, 0, 1};
    texts = StatusBarTexts(4, changed);
    EXPECT_EQ(StatusText(window_, 2), texts[1]);
    EXPECT_EQ(StatusText(window_, 5), texts[4]);
}

TEST_F(MainWindowTest, HiddenStatusBarIsNotComputedAndShowingItCatchesUp) {
    CreateWindowUnderTest();
    SendCommand(IDM_VIEW_STATUSBAR);
    ASSERT_TRUE(AddEntry(L"http://example.com/a"));
    RefreshStatusBar(window_);
    EXPECT_EQ(StatusText(window_, 1), L"　リスト項目数：0　");
    SendCommand(IDM_VIEW_STATUSBAR);
    EXPECT_EQ(StatusText(window_, 1), L"　リスト項目数：1　");
}

TEST_F(MainWindowTest, NarrowingTheWindowShrinksOnlyTheStatusFiller) {
    CreateWindowUnderTest();
    SetWindowPos(window_, nullptr, 0, 0, 1000, 500, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    auto wide = StatusEdges(window_);
    SetWindowPos(window_, nullptr, 0, 0, 900, 500, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    auto narrow = StatusEdges(window_);
    for (int part = 0; part < 7; ++part) {
        EXPECT_EQ(narrow[part], wide[part] - 100) << part;
    }
    EXPECT_EQ(narrow[7], -1);
}

// The width a text takes in a control's font.
int TextWidth(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

int ImageSize(HIMAGELIST images) {
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(images, &width, &height);
    EXPECT_EQ(width, height);
    return width;
}

// The window at the display scale of the prefix it runs in: the suite's own prefix is at
// 96 DPI, and the suite runs this case again in prefixes at 120, 144 and 192 DPI (Wine reads
// the scale once per process).
TEST_F(MainWindowTest, SizesFollowTheSystemDpi) {
    const struct {
        int dpi;
        int columns[6];
        int toolbarImage;
        int stateImage;
    } cases[] = {
        {96, {55, 250, 90, 100, 90, 500}, 24, 14},
        {120, {69, 313, 113, 125, 113, 625}, 30, 18},  // images scaled down from 36 and 24
        {144, {83, 375, 135, 150, 135, 750}, 36, 21},
        {192, {110, 500, 180, 200, 180, 1000}, 48, 28},
    };
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto* c = std::find_if(std::begin(cases), std::end(cases),
                                 [&](const auto& entry) { return entry.dpi == dpi; });
    if (c == std::end(cases)) {
        GTEST_SKIP() << "no sizes known for " << dpi << " DPI";
    }
    // The rows of the screenshots, with the widest state text there is.
    const wchar_t* const rows[] = {
        L"3|ダウンロード完了|  52 MB |http://downloads.example.net/tools/archive-2026.zip|55050240",
        L"2|DL中：  18 MB /   96 MB ( 19%)| 96 MB |http://mirror.example.org/iso/a.iso|100663296",
        L"4|DL中断：1520 KB / 12288 KB ( 12%)|  12 MB |http://example.com/video/l.mp4|12582912",
        L"5|HTTPエラー：404|  |http://example.com/missing/report.pdf",
    };
    std::wstring list;
    for (const wchar_t* row : rows) {
        list += row;
        list += L"\n";
    }
    ASSERT_TRUE(WriteBytes(ListFilePath(), EncodeUtf16LeText(list)));
    CreateWindowUnderTest();
    SetWindowPos(window_, nullptr, 0, 0, 1240 * dpi / 96, 800 * dpi / 96,
                 SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();

    // Every column holds its header and the widest text of its cells, with the margins the
    // list view keeps on both sides.
    constexpr int kCellMargins = 12;
    HWND listView = GetDlgItem(window_, kListViewId);
    HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(RowCount(), 4);
    for (int column = 0; column < 6; ++column) {
        SCOPED_TRACE(column);
        int width = static_cast<int>(SendMessageW(listView, LVM_GETCOLUMNWIDTH, column, 0));
        EXPECT_EQ(width, c->columns[column]);
        wchar_t headerText[64] = L"";
        HDITEMW item = {};
        item.mask = HDI_TEXT;
        item.pszText = headerText;
        item.cchTextMax = 64;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        EXPECT_GE(width, TextWidth(header, headerText) + kCellMargins) << headerText;
        if (column == kColumnState) {
            for (int row = 0; row < RowCount(); ++row) {
                EXPECT_GE(width, TextWidth(listView, RowText(row, column)) + kCellMargins);
            }
        }
    }
    auto stateImages =
        reinterpret_cast<HIMAGELIST>(SendMessageW(listView, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(ImageSize(stateImages), c->stateImage);

    // The toolbars' images, and the path bars right under the main toolbar.
    for (int barId = kMainToolbarId; barId <= kRefererBarId; ++barId) {
        auto images =
            reinterpret_cast<HIMAGELIST>(SendMessageW(Bar(window_, barId), TB_GETIMAGELIST, 0, 0));
        EXPECT_EQ(ImageSize(images), c->toolbarImage) << barId;
    }
    EXPECT_EQ(ClientRectOf(window_, Bar(window_, kDownloadListBarId)).top,
              ClientRectOf(window_, Bar(window_, kMainToolbarId)).bottom);

    // Each status bar part holds its text (which has a wide space at either end), and beside
    // it its state icon.
    HWND statusBar = GetDlgItem(window_, kStatusBarId);
    int smallIcon = GetSystemMetrics(SM_CXSMICON);
    std::array<int, kStatusPartCount> edges = StatusEdges(window_);
    RECT client = {};
    GetClientRect(window_, &client);
    edges.back() = client.right;  // the last part reaches the window's edge
    for (int part = 1; part < kStatusPartCount; ++part) {
        SCOPED_TRACE(part);
        int room = TextWidth(statusBar, StatusText(window_, part)) + (part >= 2 ? smallIcon : 0);
        EXPECT_GE(edges[part] - edges[part - 1], room);
    }
}
