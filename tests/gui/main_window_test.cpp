// Start-up settings, closing and the custom drawing of the main window.
#include "tests/gui/main_window_fixture.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "base/window_ids.h"
#include "engine/run_claims.h"
#include "engine/run_state.h"
#include "list/download_list.h"
#include "res/resource.h"

namespace {

bool MenuChecked(HWND window, UINT id) {
    return (GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

}  // namespace

TEST_F(MainWindowTest, WithoutSettingsFileStartsWithDefaultsAndWritesNothing) {
    CreateWindowUnderTest();
    EXPECT_EQ(gSettings.connectionCount, 5);
    EXPECT_EQ(gSettings.bufferBytes, 256 * 1024);
    EXPECT_EQ(gSettings.namingRule, 0);
    EXPECT_EQ(gSettings.proxyOn, 0);
    EXPECT_EQ(gSettings.askExit, 0);
    EXPECT_EQ(gSettings.inTray, 0);
    EXPECT_EQ(gSettings.balloon, 0);
    EXPECT_EQ(gSettings.refererOn, 0);
    EXPECT_EQ(gConnectionSlots.size(), 5u);
    for (UINT id = IDM_VIEW_MAIN_TBAR; id <= IDM_VIEW_STATUSBAR; ++id) {
        EXPECT_TRUE(MenuChecked(window_, id)) << id;
    }
    DestroyWindow(window_);
    PumpPending();
    EXPECT_FALSE(FileExists(SettingsFile()));
}

TEST_F(MainWindowTest, LoadRulesApplyToTheFileValues) {
    WriteSetting(L"OPTION", L"CONNECT_NUM", L"0");
    WriteSetting(L"OPTION", L"DL_BUF_SIZE", L"0");
    WriteSetting(L"OPTION", L"SAVE_FILE_NAME_TYPE", L"5");
    WriteSetting(L"OPTION", L"PROXY_ON", L"7");
    WriteSetting(L"OPTION", L"ASK_EXIT", L"-3");
    WriteSetting(L"OPTION", L"IN_TRAY", L"1");
    WriteSetting(L"OPTION", L"BALLOON", L"0");
    WriteSetting(L"TOOLBAR", L"REFERER_ON", L"12");
    WriteSetting(L"VIEW", L"MAIN_TBAR", L"0");
    WriteSetting(L"VIEW", L"STATUSBAR", L"2");
    CreateWindowUnderTest();
    EXPECT_EQ(gSettings.connectionCount, 1);
    EXPECT_EQ(gConnectionSlots.size(), 1u);
    EXPECT_EQ(gSettings.bufferBytes, 1024);
    EXPECT_EQ(gSettings.namingRule, 0);
    EXPECT_EQ(gSettings.proxyOn, 1);
    EXPECT_EQ(gSettings.askExit, 1);
    EXPECT_EQ(gSettings.inTray, 1);
    EXPECT_EQ(gSettings.balloon, 0);
    EXPECT_EQ(gSettings.refererOn, 1);
    // VIEW values are kept as read; any non-zero value means visible.
    EXPECT_EQ(gSettings.view[kViewMainToolbar], 0);
    EXPECT_EQ(gSettings.view[kViewStatusBar], 2);
    EXPECT_EQ(gSettings.viewAtStartup[kViewStatusBar], 2);
    EXPECT_FALSE(MenuChecked(window_, IDM_VIEW_MAIN_TBAR));
    EXPECT_TRUE(MenuChecked(window_, IDM_VIEW_DL_LIST_TBAR));
    EXPECT_TRUE(MenuChecked(window_, IDM_VIEW_STATUSBAR));
}

TEST_F(MainWindowTest, LargeConnectionCountAndBufferLoadAsWritten) {
    WriteSetting(L"OPTION", L"CONNECT_NUM", L"100");
    WriteSetting(L"OPTION", L"DL_BUF_SIZE", L"64");
    WriteSetting(L"OPTION", L"SAVE_FILE_NAME_TYPE", L"4");
    CreateWindowUnderTest();
    EXPECT_EQ(gConnectionSlots.size(), 100u);
    EXPECT_EQ(gConnectionSlots[99].number, 99);
    EXPECT_EQ(gSettings.bufferBytes, 65536);
    EXPECT_EQ(gSettings.namingRule, 4);
}

TEST_F(MainWindowTest, SaveOptionsWritesTheSevenKeysReducedAndInKilobytes) {
    WriteSetting(L"OPTION", L"PROXY_ON", L"7");
    WriteSetting(L"OPTION", L"DL_BUF_SIZE", L"64");
    CreateWindowUnderTest();
    SaveOptions(window_);
    EXPECT_EQ(ReadSetting(L"OPTION", L"CONNECT_NUM"), L"5");
    EXPECT_EQ(ReadSetting(L"OPTION", L"DL_BUF_SIZE"), L"64");
    EXPECT_EQ(ReadSetting(L"OPTION", L"PROXY_ON"), L"1");
    EXPECT_EQ(ReadSetting(L"OPTION", L"SAVE_FILE_NAME_TYPE"), L"0");
    EXPECT_EQ(ReadSetting(L"OPTION", L"ASK_EXIT"), L"0");
    EXPECT_EQ(ReadSetting(L"OPTION", L"IN_TRAY"), L"0");
    EXPECT_EQ(ReadSetting(L"OPTION", L"BALLOON"), L"0");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, FirstWriteCreatesAUnicodeFileThatKeepsEveryCharacter) {
    CreateWindowUnderTest();
    const std::wstring path = L"C:\\保存\\𠀋ダウンロード\\Ünïcode";
    ASSERT_TRUE(WriteToolbarKey(L"DL_DIR", path, window_));
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_DIR"), path);

    HANDLE file = CreateFileW(SettingsFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BYTE mark[2] = {};
    DWORD read = 0;
    ReadFile(file, mark, 2, &read, nullptr);
    CloseHandle(file);
    EXPECT_EQ(mark[0], 0xFF);
    EXPECT_EQ(mark[1], 0xFE);
}

TEST_F(MainWindowTest, FailedSettingsWritesAreReportedAndKeepTheNewState) {
    CreateWindowUnderTest();
    // A settings "file" that is a folder cannot be written.
    ASSERT_TRUE(CreateDirectoryW(SettingsFile().c_str(), nullptr));
    EXPECT_FALSE(WriteToolbarKey(L"DL_LIST", L"C:\\list.txt", window_));
    EXPECT_FALSE(WriteViewKey(kViewStatusBar, false, window_));
    gSettings.connectionCount = 9;
    SaveOptions(window_);
    SaveRefererState();  // not reported
    ASSERT_EQ(messages_.size(), 3u);
    for (const UserMessage& message : messages_) {
        EXPECT_EQ(message.text, L"設定ファイルの書き込みに失敗しました");
        EXPECT_EQ(message.caption, L"エラー");
        EXPECT_EQ(message.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
        EXPECT_EQ(message.owner, window_);
    }
    EXPECT_EQ(gSettings.connectionCount, 9);
}

TEST_F(MainWindowTest, CloseWithoutQuestionWhenAskExitIsOff) {
    CreateWindowUnderTest();
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, AnsweringNoToTheExitQuestionChangesNothing) {
    WriteSetting(L"OPTION", L"ASK_EXIT", L"1");
    CreateWindowUnderTest();
    answers_ = {IDNO, IDNO};
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window_));
    SetRunActive(true);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_FALSE(gRunStop.IsSet());
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].text, L"プログラムを終了しますか？");
    EXPECT_EQ(messages_[0].caption, L"確認");
    EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(messages_[0].owner, window_);
}

TEST_F(MainWindowTest, CloseDuringRunStopsThenClosesOnceTheRunHasEnded) {
    WriteSetting(L"OPTION", L"ASK_EXIT", L"1");
    CreateWindowUnderTest();
    SetRunActive(true);
    answers_ = {IDYES};
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(gRunStop.IsSet());
    // The run is still winding down: the window waits for it.
    EXPECT_FALSE(PumpUntil([&] { return !IsWindow(window_); }, 600));

    SetRunActive(false);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window_); }, 3000))
        << "the window did not close after the run ended";
    EXPECT_EQ(messages_.size(), 1u) << "the close asked a second time";
    EXPECT_EQ(ReadSetting(L"OPTION", L"ASK_EXIT"), L"1");
}

TEST_F(MainWindowTest, RepeatedCloseDuringTheWaitStillClosesOnce) {
    CreateWindowUnderTest();
    SetRunActive(true);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    HANDLE first = ExitWaitThreadHandle();
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), first, GetCurrentProcess(), &thread,
                                SYNCHRONIZE, FALSE, 0));
    SendMessageW(window_, WM_CLOSE, 0, 0);
    // The second close joins the wait already running: no second thread, the first not ended.
    EXPECT_EQ(ExitWaitThreadHandle(), first);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(thread);
    EXPECT_TRUE(IsWindow(window_));
    SetRunActive(false);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window_); }, 3000));
}

TEST_F(MainWindowTest, DestroyDuringAnExitWaitEndsTheWaitFirst) {
    CreateWindowUnderTest();
    SetRunActive(true);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), ExitWaitThreadHandle(), GetCurrentProcess(),
                                &thread, SYNCHRONIZE, FALSE, 0))
        << "the close started no exit wait";
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // The slot array goes away with the window; the wait thread must have ended by then.
    DestroyWindow(window_);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the exit wait outlived the window and its slots";
    CloseHandle(thread);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_TRUE(gConnectionSlots.empty());
}

TEST_F(MainWindowTest, CloseWhileTheRunStartIsStillAskingClosesAtOnce) {
    CreateWindowUnderTest();
    SetRunActive(true);
    gPreparingFlag = 1;
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(MainWindowTest, SelectedRunRowsAreDrawnLightBlue) {
    CreateWindowUnderTest();
    // A run over the selected rows that took the second of three.
    for (int row = 0; row < 3; ++row) {
        AddEntry(L"http://example.com/" + std::to_wstring(row));
    }
    LVITEMW selected = {};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    SendMessageW(DownloadListWindow(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&selected));
    ASSERT_TRUE(gRunClaims.Begin(RunScope::kSelectedEntries));
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = window_;
    draw.nmcd.hdr.idFrom = kListViewId;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    auto notify = [&](DWORD stage, DWORD_PTR row) {
        draw.nmcd.dwDrawStage = stage;
        draw.nmcd.dwItemSpec = row;
        draw.clrTextBk = CLR_DEFAULT;
        return SendMessageW(window_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&draw));
    };

    SetRunActive(true);
    gSelectedRunFlag = 1;
    EXPECT_EQ(notify(CDDS_PREPAINT, 0), CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(notify(CDDS_ITEMPREPAINT, 1), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrTextBk, RGB(216, 228, 255));
    EXPECT_EQ(notify(CDDS_ITEMPREPAINT, 0), CDRF_DODEFAULT);
    EXPECT_EQ(draw.clrTextBk, CLR_DEFAULT);
    EXPECT_EQ(notify(CDDS_ITEMPREPAINT, 7), CDRF_DODEFAULT);  // beyond the run's rows

    gSelectedRunFlag = 0;  // a run over the whole list
    notify(CDDS_ITEMPREPAINT, 1);
    EXPECT_EQ(draw.clrTextBk, CLR_DEFAULT);
    gSelectedRunFlag = 1;
    SetRunActive(false);  // the run has ended
    notify(CDDS_ITEMPREPAINT, 1);
    EXPECT_EQ(draw.clrTextBk, CLR_DEFAULT);
    gRunClaims.DropSelection();
}
