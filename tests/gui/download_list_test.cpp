// The download list: rows, records, the list file and the URL file commands.
#include "tests/gui/main_window_fixture.h"

#include "app/settings.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_progress.h"
#include "res/resource.h"

#include <string_view>
#include <thread>

namespace {

void SelectRow(int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(DownloadListWindow(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

struct RowView {
    int state;
    std::wstring number, stateText, speed, elapsed, size, url, record;
    bool operator==(const RowView&) const = default;
};

RowView ViewRow(int row) {
    return RowView{RowState(row),
                   RowText(row, kColumnNumber),
                   RowText(row, kColumnState),
                   RowText(row, kColumnSpeed),
                   RowText(row, kColumnElapsed),
                   RowText(row, kColumnSize),
                   RowText(row, kColumnUrl),
                   RowRecordText(row)};
}

}  // namespace

class DownloadListTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowUnderTest();
    }
    // Closes the window and opens a new one on the same folder: the list comes from the file.
    void Restart() {
        DestroyWindow(window_);
        PumpPending();
        CreateWindowUnderTest();
    }
    std::wstring ListFile() const { return ListFilePath(); }
};

TEST_F(DownloadListTest, NewRowShowsStandbyAndHasAFourFieldRecord) {
    ASSERT_TRUE(AddEntry(L"http://example.com/a.zip"));
    ASSERT_TRUE(AddEntry(L"http://example.com/b.zip"));
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(ViewRow(1), (RowView{kStandby, L"2", L"スタンバイ", L"   0Byte/s", L"", L" ？ Byte",
                                   L"http://example.com/b.zip",
                                   L"0|スタンバイ| ？ Byte|http://example.com/b.zip\n"}));
    EXPECT_EQ(ReadTotalSize(1), -1);

    HWND list = GetDlgItem(window_, kListViewId);
    ASSERT_EQ(list, DownloadListWindow());
    // The scroll bar bits come and go with the content.
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & ~(WS_HSCROLL | WS_VSCROLL), 0x50001009);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    const int formats[] = {LVCFMT_RIGHT,  LVCFMT_CENTER, LVCFMT_CENTER,
                           LVCFMT_CENTER, LVCFMT_CENTER, LVCFMT_LEFT};
    const int widths[] = {55, 250, 90, 100, 90, 500};
    for (int index = 0; index < 6; ++index) {
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, formats[index]) << index;
        EXPECT_EQ(column.cx, widths[index]) << index;
    }
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 6, reinterpret_cast<LPARAM>(&column)));
}

TEST_F(DownloadListTest, TotalSizeIsStoredReadAndKeptByRebuilds) {
    ASSERT_TRUE(AddEntry(L"http://example.com/a.zip"));
    StoreTotalSize(0, 123.6);
    EXPECT_EQ(RowRecordText(0), L"0|スタンバイ| ？ Byte|http://example.com/a.zip|124\n");
    StoreTotalSize(0, 2048);
    EXPECT_EQ(ReadTotalSize(0), 2048);
    SetRowState(0, kDone);
    SetRowText(0, kColumnState, L"ダウンロード完了");
    ASSERT_TRUE(RebuildRowRecord(0));
    EXPECT_EQ(RowRecordText(0), L"3|ダウンロード完了| ？ Byte|http://example.com/a.zip|2048\n");
}

TEST_F(DownloadListTest, RowsBeyondTheFirstThousandBehaveLikeTheFirst) {
    {
        ListRedrawPause pause;
        for (int index = 0; index < 1030; ++index) {
            ASSERT_TRUE(AddEntry(L"http://example.com/" + std::to_wstring(index)));
        }
    }
    StoreTotalSize(1024, 77);
    EXPECT_EQ(ReadTotalSize(1024), 77);
    EXPECT_EQ(RowText(1024, kColumnNumber), L"1025");
    RowUpdate update{kDownloading, 1024, L"DL中：", 20000, 61000, L"http://example.com/1024", 5};
    ASSERT_TRUE(UpdateRow(update));
    EXPECT_EQ(RowText(1024, kColumnSpeed), L"  19 KB /s");
    EXPECT_EQ(RowText(1024, kColumnElapsed), L"01 : 01");
    EXPECT_EQ(RowRecordText(1024), L"2|DL中：|   5Byte|http://example.com/1024|77\n");

    // Thousands of texts shown once each, as a run's progress is: the texts no row uses any
    // more are dropped along the way, and every row keeps its own.
    for (int round = 0; round < 6; ++round) {
        for (int row = 0; row < 1030; ++row) {
            std::wstring text = L"DL中：" + std::to_wstring(round * 1030 + row);
            SetRowText(row, kColumnState, text);
            SetRowText(row, kColumnSize, std::to_wstring(row));
            if (row % 2 == 0) {
                ASSERT_TRUE(RebuildRowRecord(row));
            }
        }
    }
    for (int row = 0; row < 1030; row += 343) {
        std::wstring url = L"http://example.com/" + std::to_wstring(row);
        EXPECT_EQ(RowText(row, kColumnState), L"DL中：" + std::to_wstring(5 * 1030 + row));
        EXPECT_EQ(RowText(row, kColumnSize), std::to_wstring(row));
        EXPECT_EQ(RowRecordText(row), row % 2 == 0
                                          ? L"0|DL中：" + std::to_wstring(5 * 1030 + row) + L"|" +
                                                std::to_wstring(row) + L"|" + url + L"\n"
                                          : L"0|スタンバイ| ？ Byte|" + url + L"\n");
    }
}

TEST_F(DownloadListTest, EveryKindOfRowSurvivesSaveAndRestartExactly) {
    const std::wstring urls[] = {
        L"http://example.com/plain.zip",  L"https://例え.テスト/ファイル名.zip",
        L"http://example.com/a|b||c.zip", L"ftp://example.com/dir/file name with spaces.bin",
        L"http://example.com/𠀋.bin",
    };
    std::vector<RowView> before;
    for (int state = 0; state < kEntryStateCount; ++state) {
        for (const std::wstring& url : urls) {
            int row = RowCount();
            ASSERT_TRUE(AddEntry(url));
            RowUpdate update{state,      row, L"状態" + std::to_wstring(state), 0,
                             kNoElapsed, url, row % 2 ? -1.0 : 1234567.0 * row};
            ASSERT_TRUE(UpdateRow(update));
            if (row % 3 == 0) {
                StoreTotalSize(row, 1000.0 * row + 1);
            }
        }
    }
    SaveListFile();
    ASSERT_TRUE(FlushListFile());
    for (int row = 0; row < RowCount(); ++row) {
        RowView view = ViewRow(row);
        view.speed = L"   0Byte/s";  // speed and time are not kept
        view.elapsed = L"";
        before.push_back(view);
    }
    Restart();
    ASSERT_EQ(RowCount(), static_cast<int>(before.size()));
    for (int row = 0; row < RowCount(); ++row) {
        EXPECT_EQ(ViewRow(row), before[row]) << "row " << row;
        EXPECT_EQ(ReadTotalSize(row), row % 3 == 0 ? 1000.0 * row + 1 : -1) << row;
    }
}

TEST_F(DownloadListTest, LoadSkipsBadLinesAndKeepsTheRecordAsRead) {
    std::wstring text =
        L"0|スタンバイ| ？ Byte|http://example.com/1\n"
        L"7|なし| ？ Byte|http://example.com/2\n"
        L"no separators at all\n"
        L"03|ダウンロード済み|  10 KB |http://example.com/3|10240\n"
        L"5|エラー|x|http://example.com/4|12|34\n"
        L"1|準備| ？ Byte|not a url\n"
        L"-1|負| ？ Byte|http://example.com/5\n";
    ASSERT_TRUE(ReplaceFileAtomically(ListFile(), EncodeUtf16LeText(text)));
    Restart();
    ASSERT_EQ(RowCount(), 3);
    EXPECT_EQ(RowText(2, kColumnNumber), L"3");
    EXPECT_EQ(RowState(1), kDone);
    EXPECT_EQ(RowText(1, kColumnSize), L"  10 KB ");
    EXPECT_EQ(RowRecordText(1), L"03|ダウンロード済み|  10 KB |http://example.com/3|10240\n");
    ASSERT_TRUE(RebuildRowRecord(1));
    EXPECT_EQ(RowRecordText(1), L"3|ダウンロード済み|  10 KB |http://example.com/3|10240\n");
    // Five "|": the URL ends at the fourth, and field 5 is everything after it.
    EXPECT_EQ(RowText(2, kColumnUrl), L"http://example.com/4");
    EXPECT_EQ(ReadTotalSize(2), 12);
}

TEST_F(DownloadListTest, JunkInTheListFileLoadsWhatIsValidAndTheNextSaveIsClean) {
    std::string junk = "\xFF\xFE";
    std::wstring good = L"0|スタンバイ| ？ Byte|http://example.com/ok\r\n";
    junk.append(reinterpret_cast<const char*>(good.data()), good.size() * 2);
    junk += std::string(100000, 'A');  // a line of 50,000 characters
    junk += std::string("\r\0\n\0\0\0\r\0", 8);
    for (int index = 0; index < 5000; ++index) {
        junk += static_cast<char>((index * 7919) % 256);
    }
    junk += "\x01";  // half a UTF-16 code unit
    WriteBytes(ListFile(), junk);
    Restart();
    ASSERT_GE(RowCount(), 1);
    EXPECT_EQ(RowText(0, kColumnUrl), L"http://example.com/ok");
    SaveListFile();
    ASSERT_TRUE(FlushListFile());
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(ListFile(), kListFilePieceChars, lines));
    EXPECT_EQ(static_cast<int>(lines.size()), RowCount());

    WriteBytes(ListFile(),
               "\xFE\xFF\0"
               "0");  // big-endian files are refused
    Restart();
    EXPECT_EQ(RowCount(), 0);
}

// A virus scanner or an indexer may hold the file for a moment without letting it be
// replaced: the changes wait, are saved once the file is free without any further change, and
// closing the window waits for them.
TEST_F(DownloadListTest, AHeldListFileCatchesUpOnceFreeAndClosingWaitsForIt) {
    auto savedRows = [this] {
        std::vector<TextLine> lines;
        return ReadTextFile(ListFile(), kListFilePieceChars, lines) ? lines.size() : 0;
    };
    auto hold = [this] {
        return CreateFileW(ListFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    };
    ASSERT_TRUE(AddEntry(L"http://example.com/1"));
    SaveListFile();
    ASSERT_TRUE(FlushListFile());
    HANDLE held = hold();
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    for (int row = 2; row <= 3; ++row) {
        ASSERT_TRUE(AddEntry(L"http://example.com/" + std::to_wstring(row)));
        SaveListFile();
    }
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(savedRows(), 1u);
    CloseHandle(held);
    EXPECT_TRUE(PumpUntil([&] { return savedRows() == 3; }, 4000));

    held = hold();
    ASSERT_TRUE(AddEntry(L"http://example.com/4"));
    SaveListFile();
    std::thread release([held] {
        Sleep(1000);
        CloseHandle(held);
    });
    Restart();
    release.join();
    EXPECT_EQ(RowCount(), 4);
}

TEST_F(DownloadListTest, WithoutAListFileTheListIsEmptyAndNothingIsWritten) {
    EXPECT_EQ(RowCount(), 0);
    // Saves are made behind the changes: a save asked for at start-up would be written now.
    ASSERT_TRUE(FlushListFile());
    EXPECT_FALSE(FileExists(ListFile()));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(DownloadListTest, AddingADownloadListFileAddsOnlyNewUrlsInFileOrder) {
    ASSERT_TRUE(AddEntry(L"http://example.com/old"));
    SetRowState(0, kDone);
    std::wstring file = folder_ + L"list.txt";
    WriteBytes(file,
               "\r\nhttp://example.com/new1\r\nnote\r\nhttp://example.com/old\r\n"
               "http://example.com/new1\r\nhttp://example.com/NEW1\r\nhttp://example.com/new2");
    SetBarText(kDownloadListBarId, file);
    PressKey(VK_F3);
    ASSERT_EQ(RowCount(), 4);
    EXPECT_EQ(RowState(0), kDone);
    EXPECT_EQ(RowText(1, kColumnUrl), L"http://example.com/new1");
    EXPECT_EQ(RowText(2, kColumnUrl), L"http://example.com/NEW1");
    EXPECT_EQ(RowText(3, kColumnUrl), L"http://example.com/new2");
    EXPECT_EQ(RowState(3), kStandby);
    std::vector<TextLine> saved;
    ASSERT_TRUE(FlushListFile());
    ASSERT_TRUE(ReadTextFile(ListFile(), kListFilePieceChars, saved));
    EXPECT_EQ(saved.size(), 4u);

    SetBarText(kDownloadListBarId, folder_ + L"missing.txt");
    PressKey(VK_F3);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, L"指定されたパスにダウンロードリストファイルが存在しません");
    EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OK));

    WriteBytes(file, "\xFE\xFF");
    SetBarText(kDownloadListBarId, file);
    PressKey(VK_F3);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, L"ダウンロードリストの追加に失敗しました");
    EXPECT_EQ(messages_[1].caption, L"エラー");
}

TEST_F(DownloadListTest, SelectedUrlsAreAppendedToAndRemovedFromAUrlFile) {
    for (const wchar_t* url : {L"http://example.com/1", L"http://example.com/2",
                               L"http://example.com/3", L"http://例え.jp/ü"}) {
        ASSERT_TRUE(AddEntry(url));
    }
    std::wstring log = folder_ + L"done.log";
    WriteBytes(log, "\r\nhttp://example.com/2");
    SetBarText(kDownloadLogBarId, log);
    SelectRow(1, true);
    SelectRow(2, true);
    SelectRow(3, true);
    SendCommand(IDM_ADD_TO_DL_LOG);
    EXPECT_TRUE(messages_.empty());
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(log, kUrlFilePieceChars, lines));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].text, L"http://example.com/2");
    EXPECT_EQ(lines[2].text, L"http://example.com/3");
    EXPECT_EQ(lines[3].text, L"http://例え.jp/ü");  // kept whole: the file became UTF-16LE
    EXPECT_FALSE(lines[3].hadLineFeed);

    SelectRow(1, false);
    SelectRow(3, false);
    SendCommand(IDM_REMOVE_FROM_DL_LOG);
    EXPECT_TRUE(messages_.empty());
    std::string bytes = ReadBytes(log);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    ASSERT_TRUE(ReadTextFile(log, kUrlFilePieceChars, lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, L"");
    EXPECT_EQ(lines[1].text, L"http://example.com/2");
    EXPECT_EQ(lines[2].text, L"http://例え.jp/ü");

    SetBarText(kErrorLogBarId, folder_ + L"none.log");
    SendCommand(IDM_ADD_TO_ERR_LOG);
    SendCommand(IDM_REMOVE_FROM_ERR_LOG);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].text, L"指定されたパスにエラーログファイルが存在しません");

    WriteBytes(log, "\xFE\xFF");
    SendCommand(IDM_ADD_TO_DL_LOG);
    SendCommand(IDM_REMOVE_FROM_DL_LOG);
    ASSERT_EQ(messages_.size(), 4u);
    EXPECT_EQ(messages_[2].text, L"URLの追加に失敗しました");
    EXPECT_EQ(messages_[3].text, L"ファイルの読み書きに失敗しました");
    EXPECT_EQ(ReadBytes(log), "\xFE\xFF");
}

TEST_F(DownloadListTest, DownloadingUpdatesAreShownEvery500msAndSavedEvery3s) {
    ASSERT_TRUE(AddEntry(L"http://example.com/a"));
    RowUpdate update{kDownloading, 0, L"DL中：first", 0, 0, L"http://example.com/a", 100};
    ASSERT_TRUE(UpdateRow(update));
    EXPECT_EQ(RowText(0, kColumnState), L"DL中：first");
    update.stateText = L"DL中：second";
    ASSERT_TRUE(UpdateRow(update));  // dropped: too soon
    EXPECT_EQ(RowText(0, kColumnState), L"DL中：first");
    // The record, the row's saved form, follows a Downloading row at most every 3 s.
    EXPECT_EQ(RowRecordText(0).rfind(L"2|DL中：first|", 0), 0u) << RowRecordText(0);
    RowTimeOf(0)->shown -= 1000;     // as if half a second had passed
    ASSERT_TRUE(UpdateRow(update));  // shown, not yet recorded
    EXPECT_EQ(RowText(0, kColumnState), L"DL中：second");
    EXPECT_EQ(RowRecordText(0).rfind(L"2|DL中：first|", 0), 0u) << RowRecordText(0);
    RowTimeOf(0)->shown -= 1000;
    RowTimeOf(0)->saved -= 3001;  // as if three seconds had passed
    update.stateText = L"DL中：third";
    ASSERT_TRUE(UpdateRow(update));
    EXPECT_EQ(RowRecordText(0).rfind(L"2|DL中：third|", 0), 0u) << RowRecordText(0);
    update.state = kDone;
    update.stateText = L"ダウンロード完了";
    ASSERT_TRUE(UpdateRow(update));  // never dropped
    EXPECT_EQ(RowText(0, kColumnState), L"ダウンロード完了");
    EXPECT_EQ(RowRecordText(0), L"3|ダウンロード完了| 100Byte|http://example.com/a\n");
    ASSERT_TRUE(FlushListFile());
    EXPECT_EQ(ReadBytes(ListFile()), EncodeUtf16LeText(AllRecordsText()));

    // Rows that do not exist are refused, whatever the state.
    for (int row : {-1, 1, 5000}) {
        update.row = row;
        EXPECT_FALSE(UpdateRow(update)) << row;
        update.state = kDownloading;
        EXPECT_FALSE(UpdateRow(update)) << row;
        update.state = kDone;
    }
    EXPECT_EQ(RowCount(), 1);
}
