// Applying logs, changing states, deleting, selecting and sorting rows, and the list's own
// notifications, in the real window.
#include "tests/gui/main_window_fixture.h"

#include "app/settings.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/list_sort.h"
#include "res/resource.h"

namespace {

const wchar_t* const kUrls[] = {L"http://example.com/a.zip", L"http://example.com/b.zip",
                                L"http://example.com/c.zip", L"http://example.com/d.zip",
                                L"http://example.com/e.zip"};

void Select(int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(DownloadListWindow(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

bool Selected(int row) {
    return SendMessageW(DownloadListWindow(), LVM_GETITEMSTATE, row, LVIS_SELECTED) != 0;
}

void SetState(int row, int state, const wchar_t* text) {
    SetRowState(row, state);
    SetRowText(row, kColumnState, text);
    RebuildRowRecord(row);
}

std::vector<std::wstring> Column(int column) {
    std::vector<std::wstring> texts;
    for (int row = 0; row < RowCount(); ++row) {
        texts.push_back(RowText(row, column));
    }
    return texts;
}

}  // namespace

class ListCommandsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowUnderTest();
        for (const wchar_t* url : kUrls) {
            ASSERT_TRUE(AddEntry(url));
        }
    }
    // A log file holding lines, named in its path bar.
    void WriteLog(int barId, const std::wstring& text) {
        std::wstring path = folder_ + L"log" + std::to_wstring(barId) + L".txt";
        ASSERT_TRUE(WriteBytes(path, EncodeUtf16LeText(text)));
        SetBarText(barId, path);
    }
    std::string ListBytes() {
        EXPECT_TRUE(FlushListFile());
        return ReadBytes(ListFilePath());
    }
};

TEST_F(ListCommandsTest, DownloadLogMarksExactlyItsRowsDoneWhateverTheirState) {
    StoreTotalSize(0, 5000000);
    SetState(2, kDownloading, L"DL中");
    WriteLog(kDownloadLogBarId, std::wstring(kUrls[0]) + L"\n" + kUrls[2] + L"\nnote\n" +
                                    L"HTTP://EXAMPLE.COM/d.zip\n" + kUrls[4]);
    SendCommand(IDM_APPLY_DL_LOG);
    EXPECT_TRUE(messages_.empty());
    for (int row : {0, 2, 4}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(RowState(row), kDone);
        EXPECT_EQ(RowText(row, kColumnState), L"ダウンロード済み");
        EXPECT_EQ(RowText(row, kColumnSpeed), L"   0Byte/s");
        EXPECT_EQ(RowText(row, kColumnElapsed), L"");
    }
    EXPECT_EQ(RowText(0, kColumnSize), L"4883 KB ");  // the stored total
    EXPECT_EQ(RowText(2, kColumnSize), L" ？ Byte");
    EXPECT_EQ(RowState(3), kStandby);  // other letter case: no match
    EXPECT_EQ(RowState(1), kStandby);
    EXPECT_EQ(ListBytes(), EncodeUtf16LeText(AllRecordsText()));
}

TEST_F(ListCommandsTest, CancelLogShowsTheStoredTotalOrQuestionMarks) {
    StoreTotalSize(1, 5000000);
    WriteLog(kCancelLogBarId, std::wstring(kUrls[0]) + L"\n" + kUrls[1]);
    SendCommand(IDM_APPLY_CANCEL_LOG);
    EXPECT_EQ(RowState(0), kInterrupted);
    EXPECT_EQ(RowText(0, kColumnState), L"DL中断：？？ KB / ？？ KB ( ？%)");
    EXPECT_EQ(RowText(1, kColumnState), L"DL中断：？？ KB / 4883 KB ( ？%)");
    WriteLog(kErrorLogBarId, kUrls[3]);
    SendCommand(IDM_APPLY_ERR_LOG);
    EXPECT_EQ(RowState(3), kError);
    EXPECT_EQ(RowText(3, kColumnState), L"エラー");
}

TEST_F(ListCommandsTest, LogWithoutAnyRowChangesAndSavesNothingAndMissingLogIsSaid) {
    ASSERT_TRUE(FlushListFile());  // the rows added before are saved; nothing is pending
    DeleteFileW(ListFilePath().c_str());
    WriteLog(kDownloadLogBarId, L"http://elsewhere.example/x.zip");
    SendCommand(IDM_APPLY_DL_LOG);
    // Saves are made behind the changes: a save the command asked for would be written now.
    ASSERT_TRUE(FlushListFile());
    EXPECT_FALSE(FileExists(ListFilePath()));
    EXPECT_EQ(RowState(0), kStandby);

    SetBarText(kErrorLogBarId, folder_ + L"missing.txt");
    SendCommand(IDM_APPLY_ERR_LOG);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, L"指定されたパスにエラーログファイルが存在しません");
    // A log that cannot be read (FE FF) fails with its own message.
    std::wstring path = folder_ + L"be.txt";
    ASSERT_TRUE(WriteBytes(path, "\xFE\xFF\0h"));
    SetBarText(kCancelLogBarId, path);
    SendCommand(IDM_APPLY_CANCEL_LOG);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, L"中断ログファイルの適用に失敗しました");
    EXPECT_EQ(messages_[1].caption, L"エラー");
}

// The validator of the row's file stays while the file stays (Error, Interrupted, Done) and
// goes with Standby, which downloads the file afresh.
TEST_F(ListCommandsTest, StateCommandsKeepSizeAndTotalAndAlwaysSave) {
    StoreTotalSize(1, 777);
    StoreResumeValidator(1, L"\"v1\"");
    SetRowText(1, kColumnSize, L" 777 Byte");
    RebuildRowRecord(1);
    Select(1, true);
    Select(3, true);
    SendCommand(IDM_SELECTED_TO_ERROR);
    EXPECT_EQ(RowState(1), kError);
    EXPECT_EQ(RowState(3), kError);
    EXPECT_EQ(RowState(0), kStandby);
    EXPECT_EQ(RowText(1, kColumnState), L"エラー");
    EXPECT_EQ(RowText(1, kColumnSize), L" 777 Byte");
    EXPECT_EQ(ReadTotalSize(1), 777);

    SendCommand(IDM_ALL_TO_INTERRUPTED);
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(RowState(row), kInterrupted);
        EXPECT_EQ(RowText(row, kColumnState), L"ダウンロード中断");
    }
    EXPECT_EQ(ReadTotalSize(1), 777);
    EXPECT_EQ(ReadResumeValidator(1), L"\"v1\"");
    EXPECT_EQ(ListBytes(), EncodeUtf16LeText(AllRecordsText()));

    // Nothing selected: no row changes, the list is still saved.
    Select(1, false);
    Select(3, false);
    DeleteFileW(ListFilePath().c_str());
    SendCommand(IDM_SELECTED_TO_DONE);
    EXPECT_TRUE(FlushListFile());
    EXPECT_TRUE(FileExists(ListFilePath()));
    EXPECT_EQ(RowState(0), kInterrupted);

    SendCommand(IDM_ALL_TO_STANDBY);
    EXPECT_EQ(ReadTotalSize(1), 777);
    EXPECT_EQ(ReadResumeValidator(1), L"");
}

TEST_F(ListCommandsTest, DeletingRowsRenumbersTheRestAndDeleteAllAsksFirst) {
    StoreTotalSize(2, 42);
    Select(1, true);
    Select(3, true);
    SendCommand(IDM_DELETE_SELECTED);
    EXPECT_EQ(Column(kColumnNumber), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(Column(kColumnUrl), (std::vector<std::wstring>{kUrls[0], kUrls[2], kUrls[4]}));
    EXPECT_EQ(ReadTotalSize(1), 42);
    std::vector<TextLine> lines;
    ASSERT_TRUE(FlushListFile());
    ASSERT_TRUE(ReadTextFile(ListFilePath(), kListFilePieceChars, lines));
    EXPECT_EQ(lines.size(), 3u);

    answers_ = {IDNO};
    SendCommand(IDM_DELETE_ALL);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, L"全てのURLをリストから削除しますがいいですか？");
    EXPECT_EQ(RowCount(), 3);
    answers_ = {IDYES};
    SendCommand(IDM_DELETE_ALL);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(ListBytes(), "\xFF\xFE");
    EXPECT_EQ(AllRecordsText(), L"");
}

TEST_F(ListCommandsTest, SelectionByStateAddsInvertsAndAllWorkDuringARun) {
    SetState(1, kDone, L"ダウンロード済み");
    SetState(3, kDone, L"ダウンロード済み");
    SetState(4, kInterrupted, L"ダウンロード中断");
    Select(0, true);
    SetRunActive(true);
    SendCommand(IDM_SELECT_DONE);
    SendCommand(IDM_SELECT_DONE);
    EXPECT_TRUE(Selected(0));
    EXPECT_TRUE(Selected(1));
    EXPECT_FALSE(Selected(2));
    EXPECT_TRUE(Selected(3));

    SendCommand(IDM_INVERT_DONE);  // touches only the Done rows
    EXPECT_TRUE(Selected(0));
    EXPECT_FALSE(Selected(1));
    EXPECT_FALSE(Selected(3));
    SendCommand(IDM_INVERT_INTERRUPTED);
    EXPECT_TRUE(Selected(4));

    SendCommand(IDM_SELECT_ALL);
    SendCommand(IDM_INVERT_ALL);
    for (int row = 0; row < 5; ++row) {
        EXPECT_FALSE(Selected(row)) << row;
    }
    SetRunActive(false);
}

TEST_F(ListCommandsTest, HeaderClicksSortAndTheOrderIsSaved) {
    auto click = [&](int column) {
        NMLISTVIEW notice = {};
        notice.hdr.hwndFrom = DownloadListWindow();
        notice.hdr.idFrom = kListViewId;
        notice.hdr.code = LVN_COLUMNCLICK;
        notice.iItem = -1;
        notice.iSubItem = column;
        SendMessageW(window_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&notice));
    };
    SetState(0, kError, L"エラー");
    SetState(3, kDone, L"ダウンロード済み");
    Select(1, true);
    click(kColumnUrl);
    click(kColumnUrl);  // descending
    EXPECT_EQ(Column(kColumnUrl),
              (std::vector<std::wstring>{kUrls[4], kUrls[3], kUrls[2], kUrls[1], kUrls[0]}));
    for (int row = 0; row < RowCount(); ++row) {
        EXPECT_EQ(Selected(row), row == 3) << "the selection follows its row, " << row;
    }
    EXPECT_EQ(Column(kColumnNumber), (std::vector<std::wstring>{L"1", L"2", L"3", L"4", L"5"}));
    EXPECT_EQ(ListBytes(), EncodeUtf16LeText(AllRecordsText()));
    EXPECT_EQ(RowRecordText(0).find(kUrls[4]), 16u);  // the records follow the rows

    click(kColumnNumber);  // by state, ascending: Standby, Done, Error
    EXPECT_EQ(RowState(0), kStandby);
    EXPECT_EQ(RowState(3), kDone);
    EXPECT_EQ(RowState(4), kError);
    EXPECT_EQ(SortDirection(kColumnNumber), 1);

    std::vector<std::wstring> before = Column(kColumnUrl);
    click(kColumnSpeed);  // not a sort column
    SetRunActive(true);
    click(kColumnUrl);  // refused during a run
    SetRunActive(false);
    EXPECT_EQ(Column(kColumnUrl), before);
    EXPECT_EQ(SortDirection(kColumnUrl), 2);
}

TEST_F(ListCommandsTest, DoubleClickOpensTheSavedFileOrSaysItIsGone) {
    std::wstring saveFolder = folder_ + L"saved";
    ASSERT_TRUE(CreateDirectoryW(saveFolder.c_str(), nullptr));
    SetBarText(kSaveFolderBarId, saveFolder);
    ASSERT_TRUE(WriteBytes(saveFolder + L"\\c.zip", "zip"));
    SetState(1, kDone, L"ダウンロード済み");
    SetState(2, kError, L"エラー");
    auto doubleClick = [&](int row) {
        RECT rect = {LVIR_LABEL};
        SendMessageW(DownloadListWindow(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(DownloadListWindow(), &point);
        SetCursorPos(point.x, point.y);
        NMITEMACTIVATE notice = {};
        notice.hdr.hwndFrom = DownloadListWindow();
        notice.hdr.idFrom = kListViewId;
        notice.hdr.code = NM_DBLCLK;
        SendMessageW(window_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&notice));
    };
    ShowWindow(window_, SW_SHOW);
    SetWindowPos(window_, HWND_TOP, 0, 0, 900, 700, SWP_SHOWWINDOW);
    PumpPending();
    doubleClick(2);  // an Error row whose file exists opens it
    ASSERT_EQ(shellCalls_.size(), 1u);
    EXPECT_EQ(shellCalls_[0].target, saveFolder + L"\\c.zip");
    doubleClick(1);  // Done, but the file is gone
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, L"エラー");
    doubleClick(0);  // Standby without a file: nothing
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_EQ(shellCalls_.size(), 1u);
}

namespace {

bool gMenuSeen = false;

// Runs inside the menu's own loop: notes the menu and closes it.
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    gMenuSeen = FindWindowW(L"#32768", nullptr) != nullptr;
    KillTimer(nullptr, id);
    EndMenu();
}

}  // namespace

TEST_F(ListCommandsTest, RightClickOpensTheDownloadMenuEvenBelowTheRows) {
    gMenuSeen = false;
    SetTimer(nullptr, 0, 100, CloseMenu);
    NMITEMACTIVATE notice = {};
    notice.hdr.hwndFrom = DownloadListWindow();
    notice.hdr.idFrom = kListViewId;
    notice.hdr.code = NM_RCLICK;
    notice.iItem = -1;
    SendMessageW(window_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&notice));
    EXPECT_TRUE(gMenuSeen);
}
