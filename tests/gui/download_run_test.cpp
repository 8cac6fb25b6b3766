// Real download runs inside the test process, against the HTTP fixture server: what the
// window shows while the workers run and after they have ended.
#include "tests/gui/main_window_fixture.h"

#include "base/window_ids.h"
#include "engine/download_run.h"
#include "engine/run_state.h"
#include "list/download_list.h"
#include "list/row_text.h"
#include "res/resource.h"
#include "tests/support/http_fixture.h"

#include <wininet.h>

#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr DWORD kRunTimeoutMs = 20000;
const wchar_t kCompletion[] = L"ダウンロードが完了しました";

std::string Bytes(size_t size, char seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
    }
    return bytes;
}

void SelectRow(int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(DownloadListWindow(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring Title(HWND window) {
    wchar_t title[128] = L"";
    GetWindowTextW(window, title, 128);
    return title;
}

// The controls a run locks, and the ones it must leave usable, in one comparable value.
struct RunLocks {
    std::wstring title;
    std::wstring downloadMenuText;
    bool selectedMenuGrayed;
    bool startButton;
    bool stopButton;
    std::vector<bool> fields;  // path bars 2 to 7
    bool operator==(const RunLocks&) const = default;
};

void PrintTo(const RunLocks& locks, std::ostream* out) {
    *out << "title length " << locks.title.size() << ", 1005 text length "
         << locks.downloadMenuText.size() << ", 1062 grayed " << locks.selectedMenuGrayed
         << ", buttons " << locks.startButton << locks.stopButton << ", fields";
    for (bool enabled : locks.fields) {
        *out << ' ' << enabled;
    }
}

RunLocks ReadLocks(HWND window) {
    RunLocks locks;
    locks.title = Title(window);
    wchar_t text[128] = L"";
    GetMenuStringW(GetMenu(window), IDM_DOWNLOAD, text, 128, MF_BYCOMMAND);
    locks.downloadMenuText = text;
    locks.selectedMenuGrayed =
        (GetMenuState(GetMenu(window), IDM_DOWNLOAD_SELECTED, MF_BYCOMMAND) & MF_GRAYED) != 0;
    HWND toolbar = GetDlgItem(window, kMainToolbarId);
    locks.startButton = SendMessageW(toolbar, TB_ISBUTTONENABLED, IDM_DOWNLOAD, 0) != 0;
    locks.stopButton = SendMessageW(toolbar, TB_ISBUTTONENABLED, IDM_STOP, 0) != 0;
    for (int barId = kDownloadListBarId; barId <= kRefererBarId; ++barId) {
        HWND field = GetDlgItem(GetDlgItem(window, barId), kPathBarEditBase + barId);
        locks.fields.push_back(IsWindowEnabled(field) != 0);
    }
    return locks;
}

}  // namespace

class DownloadRunGuiTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        served_ = MakeFreshFolder(L"vlmr_served_");
        ASSERT_TRUE(server_.Start(served_)) << server_.Error();
        saveFolder_ = folder_ + L"saved";
        ASSERT_TRUE(CreateDirectoryW(saveFolder_.c_str(), nullptr));
        const std::pair<const wchar_t*, const wchar_t*> logs[] = {
            {L"DL_LOG", L"done.txt"}, {L"CANCEL_LOG", L"cancel.txt"}, {L"ERR_LOG", L"error.txt"}};
        for (const auto& [key, name] : logs) {
            ASSERT_TRUE(WriteBytes(folder_ + name, ""));
            WriteSetting(L"TOOLBAR", key, (folder_ + name).c_str());
        }
        WriteSetting(L"TOOLBAR", L"DL_DIR", saveFolder_.c_str());
        // The run's messages come from the workers' threads. Each is kept with the text of
        // the download command at that moment; questions are declined.
        SetMessageResponder([this](const UserMessage& message) {
            wchar_t text[128] = L"";
            GetMenuStringW(GetMenu(window_), IDM_DOWNLOAD, text, 128, MF_BYCOMMAND);
            std::lock_guard<std::mutex> guard(mutex_);
            runMessages_.push_back(message);
            menuTextAtMessage_.push_back(text);
            return (message.type & MB_YESNO) ? IDNO : IDOK;
        });
    }

    void TearDown() override {
        // A run left going by a failed check ends before its window goes.
        if (window_ != nullptr && IsWindow(window_) && IsRunActive()) {
            gRunStop.Request();
            PumpUntil([] { return !IsRunActive(); }, 15000);
        }
        server_.Stop();
        RemoveFolder(served_);
        MainWindowTest::TearDown();
    }

    std::wstring Serve(const std::wstring& options, const std::wstring& name,
                       const std::string& bytes) {
        EXPECT_TRUE(WriteBytes(served_ + name, bytes));
        return server_.Url(options, name);
    }

    std::wstring Saved(const std::wstring& name) const { return saveFolder_ + L"\\" + name; }

    std::vector<UserMessage> RunMessages() {
        std::lock_guard<std::mutex> guard(mutex_);
        return runMessages_;
    }

    // Serves the workers until the run has ended and its notice was given.
    void PumpUntilNotice() {
        ASSERT_TRUE(
            PumpUntil([&] { return !IsRunActive() && !RunMessages().empty(); }, kRunTimeoutMs))
            << "the run did not end with a notice";
        std::vector<UserMessage> messages = RunMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, kCompletion);
    }

    std::wstring served_;
    std::wstring saveFolder_;
    HttpFixture server_;
    std::mutex mutex_;
    std::vector<UserMessage> runMessages_;
    std::vector<std::wstring> menuTextAtMessage_;
};

TEST_F(DownloadRunGuiTest, DecliningAStartQuestionPutsTheMenuAndControlsBack) {
    const std::wstring url = Serve(L"plain", L"a.bin", Bytes(100, 'a'));
    CreateWindowUnderTest();
    ASSERT_TRUE(AddEntry(url));
    const RunLocks idle = ReadLocks(window_);
    ASSERT_EQ(idle.downloadMenuText, L"ダウンロード実行(&D)\tF5");
    ASSERT_FALSE(idle.selectedMenuGrayed);

    const std::pair<int, std::wstring> badPaths[] = {
        {kSaveFolderBarId, folder_ + L"no such folder"},
        {kDownloadLogBarId, folder_ + L"new done.txt"},
        {kCancelLogBarId, folder_ + L"new cancel.txt"},
        {kErrorLogBarId, folder_ + L"new error.txt"},
    };
    for (const auto& [barId, badPath] : badPaths) {
        SCOPED_TRACE(barId);
        wchar_t goodPath[1024] = L"";
        GetDlgItemTextW(GetDlgItem(window_, barId), kPathBarEditBase + barId, goodPath, 1024);
        SetBarText(barId, badPath);
        SendCommand(IDM_DOWNLOAD);
        EXPECT_FALSE(IsRunActive());
        EXPECT_EQ(ReadLocks(window_), idle);
        {
            std::lock_guard<std::mutex> guard(mutex_);
            ASSERT_EQ(runMessages_.size(), 1u);
            EXPECT_EQ(runMessages_[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
            // Asked in download mode.
            EXPECT_EQ(menuTextAtMessage_[0], L"ダウンロード中止(&D)\tF5");
            runMessages_.clear();
            menuTextAtMessage_.clear();
        }
        SetBarText(barId, goodPath);
    }
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_EQ(RowState(0), kStandby);
}

TEST_F(DownloadRunGuiTest, ALogThatCannotBeReadStopsTheStartAndSaysWhich) {
    const std::wstring url = Serve(L"plain", L"a.bin", Bytes(100, 'a'));
    CreateWindowUnderTest();
    ASSERT_TRUE(AddEntry(url));
    const RunLocks idle = ReadLocks(window_);
    const std::pair<int, const wchar_t*> logs[] = {
        {kDownloadLogBarId, L"ダウンロードログファイルの読み込みに失敗しました"},
        {kCancelLogBarId, L"中断ログファイルの読み込みに失敗しました"},
        {kErrorLogBarId, L"エラーログファイルの読み込みに失敗しました"},
    };
    for (const auto& [barId, failure] : logs) {
        SCOPED_TRACE(barId);
        // Big-endian UTF-16 is refused by the text layer.
        const std::wstring unreadable = folder_ + L"unreadable" + std::to_wstring(barId) + L".txt";
        ASSERT_TRUE(WriteBytes(unreadable, std::string("\xFE\xFF\0h\0t", 6)));
        wchar_t goodPath[1024] = L"";
        GetDlgItemTextW(GetDlgItem(window_, barId), kPathBarEditBase + barId, goodPath, 1024);
        SetBarText(barId, unreadable);
        SendCommand(IDM_DOWNLOAD);
        EXPECT_FALSE(IsRunActive());
        EXPECT_EQ(ReadLocks(window_), idle);
        {
            std::lock_guard<std::mutex> guard(mutex_);
            ASSERT_EQ(runMessages_.size(), 1u);
            EXPECT_EQ(runMessages_[0].text, failure);
            EXPECT_EQ(runMessages_[0].caption, L"エラー");
            EXPECT_EQ(runMessages_[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
            runMessages_.clear();
            menuTextAtMessage_.clear();
        }
        SetBarText(barId, goodPath);
    }
    EXPECT_TRUE(server_.Requests().empty());

    // The slots are whole again: the next start runs.
    SendCommand(IDM_DOWNLOAD);
    PumpUntilNotice();
    EXPECT_EQ(RowState(0), kDone);
}

TEST_F(DownloadRunGuiTest, WithoutContentLengthTheRowShowsQuestionMarksAndEndsDone) {
    const std::string body = Bytes(30000, 'a');
    const std::wstring url = Serve(L"nolength,slow=15000", L"open.bin", body);
    CreateWindowUnderTest();
    ASSERT_TRUE(AddEntry(url));

    SendCommand(IDM_DOWNLOAD);
    std::set<std::wstring> stateTexts;
    std::set<std::wstring> sizeTexts;
    PumpUntil(
        [&] {
            if (RowState(0) == kDownloading) {
                stateTexts.insert(RowText(0, kColumnState));
                sizeTexts.insert(RowText(0, kColumnSize));
            }
            return !IsRunActive();
        },
        kRunTimeoutMs);
    PumpUntilNotice();

    // The first update and at least one with data arrived, all without a total.
    ASSERT_GE(stateTexts.size(), 2u) << "too few progress updates were seen";
    for (const std::wstring& text : stateTexts) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(text.rfind(L"DL中：", 0), 0u);
        EXPECT_NE(text.find(L"/ ？"), std::wstring::npos) << "the total is not shown as unknown";
        EXPECT_NE(text.find(L"( ？%)"), std::wstring::npos) << "the percentage is not unknown";
    }
    EXPECT_EQ(sizeTexts, std::set<std::wstring>{FormatSizeText(kUnknownSize)});

    EXPECT_EQ(RowState(0), kDone);
    EXPECT_EQ(RowText(0, kColumnState), L"ダウンロード完了");
    EXPECT_EQ(ReadBytes(Saved(L"open.bin")), body);
    EXPECT_NE(RowRecordText(0).find(L"|30000"), std::wstring::npos) << RowRecordText(0).c_str();
}

TEST_F(DownloadRunGuiTest, F6DrawsTheRowsItTookLightBlueUntilTheRunEnds) {
    const std::wstring first = Serve(L"slow=20000", L"first.bin", Bytes(30000, 'f'));
    const std::wstring middle = Serve(L"plain", L"middle.bin", Bytes(100, 'm'));
    const std::wstring last = Serve(L"slow=20000", L"last.bin", Bytes(30000, 'l'));
    CreateWindowUnderTest();
    ASSERT_TRUE(AddEntry(first));
    ASSERT_TRUE(AddEntry(middle));
    ASSERT_TRUE(AddEntry(last));
    SelectRow(0, true);
    SelectRow(2, true);

    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = DownloadListWindow();
    draw.nmcd.hdr.idFrom = kListViewId;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    // What the list view would be told for the row, and the background it was given.
    auto drawRow = [&](int row) {
        draw.nmcd.dwDrawStage = CDDS_PREPAINT;
        LRESULT prepaint =
            SendMessageW(window_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&draw));
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw.clrTextBk = CLR_DEFAULT;
        LRESULT item =
            SendMessageW(window_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&draw));
        return std::make_tuple(prepaint, item, draw.clrTextBk);
    };

    SendCommand(IDM_DOWNLOAD_SELECTED);
    ASSERT_TRUE(IsRunActive());
    // The rows taken are the ones selected when the run started, whatever the user selects
    // afterwards.
    SelectRow(0, false);
    SelectRow(1, true);
    ASSERT_TRUE(PumpUntil([] { return RowState(0) == kDownloading; }, 5000));
    const auto lightBlue = std::make_tuple(LRESULT{CDRF_NOTIFYITEMDRAW}, LRESULT{CDRF_NEWFONT},
                                           COLORREF{RGB(216, 228, 255)});
    const auto plain = std::make_tuple(LRESULT{CDRF_NOTIFYITEMDRAW}, LRESULT{CDRF_DODEFAULT},
                                       COLORREF{CLR_DEFAULT});
    EXPECT_EQ(drawRow(0), lightBlue);
    EXPECT_EQ(drawRow(1), plain);
    EXPECT_EQ(drawRow(2), lightBlue);

    PumpUntilNotice();
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        auto [prepaint, item, background] = drawRow(row);
        EXPECT_EQ(prepaint, CDRF_DODEFAULT);
        EXPECT_EQ(item, CDRF_DODEFAULT);
        EXPECT_EQ(background, CLR_DEFAULT);
    }
    EXPECT_EQ(RowState(0), kDone);
    EXPECT_EQ(RowState(1), kStandby);
    EXPECT_EQ(RowState(2), kDone);
    EXPECT_FALSE(FileExists(Saved(L"middle.bin")));
    EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(DownloadRunGuiTest, DownloadModeHoldsForTheWholeRunAndEndsWithIt) {
    WriteSetting(L"TOOLBAR", L"REFERER_ON", L"1");  // the Referer field starts usable
    WriteSetting(L"OPTION", L"CONNECT_NUM", L"7");
    const std::wstring url = Serve(L"slow=20000", L"slow.bin", Bytes(30000, 's'));
    CreateWindowUnderTest();
    ASSERT_TRUE(AddEntry(url));
    const RunLocks idle = ReadLocks(window_);
    ASSERT_EQ(idle.fields, std::vector<bool>(6, true));

    RunLocks running = idle;
    running.title = L"ダウンロード実行中 - Velmora Downloader";
    running.downloadMenuText = L"ダウンロード中止(&D)\tF5";
    running.selectedMenuGrayed = true;
    running.startButton = false;
    running.stopButton = true;
    running.fields = {false, false, false, false, false, true};

    SendCommand(IDM_DOWNLOAD);
    EXPECT_EQ(ReadLocks(window_), running);
    // The library lets every connection of the run reach the same server at once (the
    // fixture server cannot show this under Wine, which sets no limit of its own).
    for (DWORD option :
         {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
        DWORD connections = 0;
        DWORD size = sizeof connections;
        ASSERT_TRUE(InternetQueryOptionW(nullptr, option, &connections, &size)) << option;
        EXPECT_GE(connections, 7u) << option;
    }
    // Still so once the transfer has data, while the workers work.
    ASSERT_TRUE(PumpUntil([] { return RowState(0) == kDownloading; }, 5000));
    ASSERT_TRUE(
        PumpUntil([] { return RowText(0, kColumnState) != FormatProgressText(0, 30000); }, 5000));
    EXPECT_TRUE(IsRunActive());
    EXPECT_EQ(ReadLocks(window_), running);

    PumpUntilNotice();
    EXPECT_EQ(ReadLocks(window_), idle);
    EXPECT_EQ(RowState(0), kDone);
}
