// The rules of a download run in the built program: the questions of the start, which
// entries a run takes, how many transfers run at once, how a run ends (notice, stop, close),
// the logs, a stop while the server has not answered yet, and the run over selected rows.
#include "base/window_ids.h"
#include "tests/e2e/run_helpers.h"
#include "tests/support/test_files.h"

#include <winsock2.h>

#include <commctrl.h>

#include <atomic>
#include <iostream>
#include <ostream>
#include <thread>

namespace {

// What a start that does not go ahead must leave as it was: the title, the fields a run
// locks, and the start, stop and F6 buttons. (Wine does not let another process read a
// window's menu; the in-process tests look at the menu.)
struct IdleView {
    std::wstring title;
    std::vector<bool> fields;  // path bars 2 to 6
    bool startButton = false;
    bool stopButton = false;
    bool selectedButton = false;

    bool operator==(const IdleView&) const = default;
};

void PrintTo(const IdleView& view, std::ostream* out) {
    *out << "title length " << view.title.size() << ", fields";
    for (bool enabled : view.fields) {
        *out << ' ' << enabled;
    }
    *out << ", buttons 1005/2016/1062 " << view.startButton << view.stopButton
         << view.selectedButton;
}

bool ToolbarButtonEnabled(HWND window, UINT command) {
    return SendMessageW(GetDlgItem(window, kMainToolbarId), TB_ISBUTTONENABLED, command, 0) != 0;
}

IdleView ViewOf(HWND window) {
    IdleView view;
    view.title = WindowTitle(window);
    for (int barId = kDownloadListBarId; barId <= kSaveFolderBarId; ++barId) {
        view.fields.push_back(IsWindowEnabled(PathBarField(window, barId)) != 0);
    }
    view.startButton = ToolbarButtonEnabled(window, IDM_DOWNLOAD);
    view.stopButton = ToolbarButtonEnabled(window, IDM_STOP);
    view.selectedButton = ToolbarButtonEnabled(window, IDM_DOWNLOAD_SELECTED);
    return view;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// A server that takes every connection and never answers: each request waits for the
// transfer's receive time-out. It counts the connections it has taken.
class SilentServer {
public:
    SilentServer() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (listener_ != INVALID_SOCKET &&
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(listener_, 64) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            port_ = ntohs(address.sin_port);
            acceptor_ = std::thread([this] { TakeConnections(); });
        }
    }
    ~SilentServer() {
        stopping_ = true;
        if (acceptor_.joinable()) {
            acceptor_.join();
        }
        for (SOCKET connection : connections_) {
            closesocket(connection);
        }
        if (listener_ != INVALID_SOCKET) {
            closesocket(listener_);
        }
        if (started_) {
            WSACleanup();
        }
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    unsigned short Port() const { return port_; }
    std::wstring Url(const wchar_t* name) const {
        return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/silent/" + name;
    }
    int Connections() const { return count_; }

private:
    void TakeConnections() {
        while (!stopping_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait = {0, 50000};
            if (select(0, &readable, nullptr, nullptr, &wait) == 1) {
                SOCKET connection = accept(listener_, nullptr, nullptr);
                if (connection != INVALID_SOCKET) {
                    connections_.push_back(connection);  // only this thread, until joined
                    ++count_;
                }
            }
        }
    }

    bool started_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> count_{0};
    std::vector<SOCKET> connections_;
};

BOOL CALLBACK CountNotice(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<std::pair<DWORD, int>*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (owner == search->first && wcscmp(name, L"#32770") == 0 && WindowTitle(window) == L"確認" &&
        IsWindowVisible(window)) {
        ++search->second;
    }
    return TRUE;
}

// The "確認" boxes the process shows at the moment.
int CountNotices(DWORD processId) {
    std::pair<DWORD, int> search = {processId, 0};
    EnumWindows(CountNotice, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

}  // namespace

class RunRulesTest : public ProgramRunTest {};

TEST_F(RunRulesTest, AnsweringNoToAStartQuestionLeavesEverythingAsItWas) {
    Serve(L"a.bin", Pattern(3000));
    const std::wstring good = server_.Url(L"plain", L"a.bin");
    const std::wstring missing = server_.Url(L"status=404", L"gone.bin");
    const std::vector<std::wstring> records = {Waiting(good), Waiting(missing)};
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    HWND window = program_.window();
    const IdleView idle = ViewOf(window);
    ASSERT_EQ(idle.title, kIdleTitle);
    ASSERT_EQ(idle.fields, std::vector<bool>(5, true));
    ASSERT_TRUE(idle.startButton);
    ASSERT_FALSE(idle.stopButton);

    const std::wstring newDownloadLog = program_.folder() + L"new done.txt";
    const std::wstring newCancelLog = program_.folder() + L"new cancel.txt";
    const std::wstring newErrorLog = program_.folder() + L"new error.txt";
    struct Question {
        int barId;
        std::wstring goodPath;
        std::wstring badPath;
        const wchar_t* text;
    };
    const Question questions[] = {
        {kSaveFolderBarId, saveFolder_, program_.folder() + L"no such folder",
         L"保存フォルダの指定が不正です。\nダウンロードしたファイルを、デスクトップに保存しますが"
         L"いいですか？"},
        {kDownloadLogBarId, DownloadLog(), newDownloadLog,
         L"ダウンロードログファイルの指定が不正です。\nダウンロードログを保存しませんがダウンロード"
         L"を実行しますか？"},
        {kCancelLogBarId, CancelLog(), newCancelLog,
         L"中断ログファイルの指定が不正です。\n中断ログを保存しませんがダウンロードを実行しますか"
         L"？"},
        {kErrorLogBarId, ErrorLog(), newErrorLog,
         L"エラーログファイルの指定が不正です。\nエラーログを保存しませんがダウンロードを実行します"
         L"か？"},
    };
    for (const Question& question : questions) {
        SCOPED_TRACE(question.barId);
        SetPathBarText(window, question.barId, question.badPath);
        program_.PostCommand(IDM_DOWNLOAD);
        MessageBoxSeen box = program_.WaitForMessageBox(L"確認", ProcessId(), 10000);
        ASSERT_NE(box.box, nullptr) << "no question about bar " << question.barId;
        EXPECT_EQ(box.text, question.text);
        // The questions are asked in download mode.
        EXPECT_TRUE(ToolbarButtonEnabled(window, IDM_STOP));
        program_.Answer(box, IDNO);
        EXPECT_TRUE(WaitUntil([&] { return ViewOf(window) == idle; }, 5000))
            << testing::PrintToString(ViewOf(window));
        SetPathBarText(window, question.barId, question.goodPath);
    }
    EXPECT_TRUE(server_.Requests().empty()) << "a declined start sent a request";
    EXPECT_EQ(ListLines(), records);
    EXPECT_FALSE(FileExists(Saved(L"a.bin")));

    // Yes to the three missing logs: the run goes ahead, and the appends go to the paths the
    // bars hold, so a log whose folder exists is created by its first append.
    SetPathBarText(window, kDownloadLogBarId, newDownloadLog);
    SetPathBarText(window, kCancelLogBarId, newCancelLog);
    SetPathBarText(window, kErrorLogBarId, newErrorLog);
    program_.PostCommand(IDM_DOWNLOAD);
    for (size_t log = 1; log < std::size(questions); ++log) {
        MessageBoxSeen box = program_.WaitForMessageBox(L"確認", ProcessId(), 10000);
        ASSERT_NE(box.box, nullptr) << "no question about bar " << questions[log].barId;
        EXPECT_EQ(box.text, questions[log].text);
        program_.Answer(box, IDYES);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.box); }, 5000));
    }
    ExpectNoticeAndIdle();
    EXPECT_EQ(ReadBytes(Saved(L"a.bin")), Pattern(3000));
    EXPECT_EQ(RecordOf(1).text, L"HTTPエラー：404");
    EXPECT_EQ(LogLines(newDownloadLog), (std::vector<std::wstring>{L"", good}));
    EXPECT_EQ(LogLines(newErrorLog), (std::vector<std::wstring>{L"", missing}));
    EXPECT_FALSE(FileExists(newCancelLog));
    for (const std::wstring& log : {DownloadLog(), CancelLog(), ErrorLog()}) {
        EXPECT_EQ(ReadBytes(log), "") << Narrow(log);
    }
}

TEST_F(RunRulesTest, F5TakesOnlyStandbyAndInterruptedEntries) {
    const std::wstring names[] = {L"standby.bin", L"preparing.bin",   L"downloading.bin",
                                  L"done.bin",    L"interrupted.bin", L"error.bin",
                                  L"last.bin"};
    std::vector<std::wstring> urls;
    for (size_t i = 0; i < std::size(names); ++i) {
        Serve(names[i], Pattern(4000, static_cast<uint32_t>(i)));
        urls.push_back(server_.Url(L"plain", names[i]));
    }
    ASSERT_TRUE(WriteBytes(Saved(L"interrupted.bin"), Pattern(4000, 4).substr(0, 1000)));
    const std::vector<std::wstring> records = {
        Waiting(urls[0]),
        L"1|ダウンロード準備中||" + urls[1],
        L"2|DL中：   1 KB /    4 KB (  25%)|   4 KB |" + urls[2] + L"|4000",
        L"3|ダウンロード完了|   4 KB |" + urls[3] + L"|4000",
        L"4|DL中断：   1 KB /    4 KB (  25%)|   4 KB |" + urls[4] + L"|4000",
        L"5|回線エラー：   1 KB /    4 KB (  25%)|   4 KB |" + urls[5] + L"|4000",
        Waiting(urls[6]),
    };
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    RunUntilNotice();

    std::vector<RecordedRequest> requests = server_.Requests();
    std::vector<std::wstring> lines = ListLines();
    ASSERT_EQ(lines.size(), records.size());
    for (size_t i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE(Narrow(names[i]));
        std::vector<RecordedRequest> mine = RequestsFor(requests, Narrow(names[i]));
        bool taken = i == 0 || i == 4 || i == 6;
        if (!taken) {
            EXPECT_TRUE(mine.empty());
            EXPECT_EQ(lines[i], records[i]);
            EXPECT_FALSE(FileExists(Saved(names[i])));
            continue;
        }
        ASSERT_EQ(mine.size(), 1u);
        EXPECT_EQ(mine[0].Header("Range").value_or("<none>"), i == 4 ? "bytes=1000-" : "<none>");
        EXPECT_EQ(ParseRecord(lines[i]).state, L"3");
        EXPECT_EQ(ReadBytes(Saved(names[i])), Pattern(4000, static_cast<uint32_t>(i)));
    }
}

TEST_F(RunRulesTest, RunWithNothingToDoStillEndsWithTheNotice) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"8");
    const std::wstring url = server_.Url(L"plain", L"never.bin");
    program_.WriteList({L"3|ダウンロード完了|   1 KB |" + url + L"|1000",
                        L"5|URLのオープンに失敗| ？ Byte|" + url});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    MessageBoxSeen notice = program_.WaitForMessageBox(L"確認", ProcessId(), 10000);
    ASSERT_NE(notice.box, nullptr) << "the run did not end with a notice";
    EXPECT_EQ(notice.text, kCompletionNotice);

    // The run has ended when its notice shows: a new one starts while the box is still open,
    // and ends with a notice of its own.
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil([&] { return CountNotices(ProcessId()) == 2; }, 10000))
        << "F5 during the notice did not run again";
    program_.Answer(notice, IDOK);
    ExpectNoticeAndIdle();
    EXPECT_EQ(CountNotices(ProcessId()), 0);
    EXPECT_TRUE(server_.Requests().empty());
}

// The options dialog's highest connection count over three entries: the run starts workers
// for its three entries only, and all three are Done. Before it, the program's private message
// numbers arrive from this process with values it never handed out: they are ignored.
TEST_F(RunRulesTest, ForeignMessagesAndTheHighestConnectionCountLeaveARunWorking) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"32767");
    std::vector<std::wstring> records;
    for (int i = 0; i < 3; ++i) {
        std::wstring name = L"c" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(20000, static_cast<uint32_t>(i)));
        records.push_back(Waiting(server_.Url(L"plain", name)));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    const LPARAM values[] = {0, 1, 0x41414141, static_cast<LPARAM>(0x5DEECE66DULL * 2654435761ULL)};
    for (UINT message = WM_APP; message <= WM_APP + 8; ++message) {
        for (WPARAM wParam : {0, 1, 2}) {
            for (LPARAM lParam : values) {
                PostMessageW(program_.window(), message, wParam, lParam);
                DWORD_PTR result = 0;
                SendMessageTimeoutW(program_.window(), message, wParam, lParam, SMTO_ABORTIFHUNG,
                                    2000, &result);
            }
        }
    }
    ASSERT_TRUE(program_.Running()) << "a foreign message ended the program";
    RunUntilNotice();
    for (int i = 0; i < 3; ++i) {
        std::wstring name = L"c" + std::to_wstring(i) + L".bin";
        EXPECT_EQ(RecordOf(static_cast<size_t>(i)).state, L"3") << i;
        EXPECT_EQ(ReadBytes(Saved(name)), Pattern(20000, static_cast<uint32_t>(i))) << i;
    }
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
}

class RunRulesConnectionsTest : public ProgramRunTest, public testing::WithParamInterface<int> {};

// The list starts with fewer waiting entries than connections (none at all for one
// connection); a download list file then adds more entries than connections, and a second
// run takes only those.
TEST_P(RunRulesConnectionsTest, EveryEntryIsDoneWithFewerOrMoreEntriesThanConnections) {
    const int connections = GetParam();
    const size_t fewer = static_cast<size_t>(connections / 2);
    const size_t total = fewer + static_cast<size_t>(connections * 2 + 1);
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", std::to_wstring(connections).c_str());
    std::vector<std::wstring> urls;
    std::string urlFile;
    for (size_t i = 0; i < total; ++i) {
        std::wstring name = L"file" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(1000 + 37 * i, static_cast<uint32_t>(i)));
        urls.push_back(server_.Url(L"plain", name));
        urlFile += (i == 0 ? "" : "\r\n") + Narrow(urls.back());
    }
    const std::wstring listFile = program_.folder() + L"urls.txt";
    ASSERT_TRUE(WriteBytes(listFile, urlFile));
    program_.WriteSetting(L"TOOLBAR", L"DL_LIST", listFile.c_str());
    std::vector<std::wstring> records;
    for (size_t i = 0; i < fewer; ++i) {
        records.push_back(Waiting(urls[i]));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());

    RunUntilNotice();
    EXPECT_EQ(server_.Requests().size(), fewer);
    program_.PostCommand(IDM_ADD_DL_LIST);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return SendMessageW(ListViewOf(program_.window()), LVM_GETITEMCOUNT, 0, 0) ==
                   static_cast<LRESULT>(total);
        },
        10000))
        << "the download list file was not added";
    RunUntilNotice();

    std::vector<RecordedRequest> requests = server_.Requests();
    EXPECT_EQ(requests.size(), total);
    for (size_t i = 0; i < total; ++i) {
        std::string name = "file" + std::to_string(i) + ".bin";
        SCOPED_TRACE(name);
        EXPECT_EQ(RequestsFor(requests, name).size(), 1u);
        EXPECT_EQ(RecordOf(i).state, L"3");
        EXPECT_EQ(ReadBytes(Saved(std::wstring(name.begin(), name.end()))),
                  Pattern(1000 + 37 * i, static_cast<uint32_t>(i)));
    }
    EXPECT_EQ(LogLines(DownloadLog()).size(), total + 1);
}

INSTANTIATE_TEST_SUITE_P(RunRules, RunRulesConnectionsTest, testing::Values(1, 5, 8));

TEST_F(RunRulesTest, FiveTransfersFromOneServerAreInProgressAtOnce) {
    constexpr size_t kSize = 100000;
    constexpr int kBytesPerSecond = 20000;  // five seconds for each body
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"5");
    std::vector<std::wstring> records;
    for (int i = 0; i < 5; ++i) {
        std::wstring name = L"slow" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(kSize));
        records.push_back(Waiting(server_.Url(L"slow=" + std::to_wstring(kBytesPerSecond), name)));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil([&] { return !server_.Requests().empty(); }, 10000))
        << "no request arrived";
    DWORD first = GetTickCount();
    bool allFive = WaitUntil([&] { return server_.Requests().size() == 5; }, 3000);
    DWORD spread = GetTickCount() - first;
    std::cout << "five requests within " << spread << " ms\n";
    EXPECT_TRUE(allFive) << "only " << server_.Requests().size()
                         << " of five requests arrived while the first body was still being "
                            "sent: transfers from one server do not run at once";
    for (int i = 0; i < 5; ++i) {
        EXPECT_LT(FileSize(Saved(L"slow" + std::to_wstring(i) + L".bin")), kSize);
    }
    program_.PostCommand(IDM_STOP);
    ExpectIdleWithoutNotice();
}

// While a host waits, the workers go on with the entries for other hosts: listed among the
// entries of a host that takes two requests a second, another host's entries take about as
// long as in a run of their own.
TEST_F(RunRulesTest, AHostThatAsksToWaitDoesNotHoldBackAnotherHost) {
    constexpr int kOthers = 40;  // half a second each, eight seconds' work for five connections
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"5");
    HttpFixture other;
    ASSERT_TRUE(other.Start(served_)) << other.Error();
    std::vector<std::wstring> records;
    for (int i = 0; i < kOthers; ++i) {
        if (i % 2 == 0) {
            std::wstring name = L"limited" + std::to_wstring(i) + L".bin";
            Serve(name, Pattern(10000));
            records.push_back(L"3|ダウンロード完了|   9 KB |" + server_.Url(L"rate=2", name) +
                              L"|10000");
        }
        std::wstring name = L"other" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(10000));
        records.push_back(Waiting(other.Url(L"delay=500", name)));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    // From the first request of the run to the last answer of the other host.
    auto othersTook = [&](size_t othersBefore, size_t limitedBefore) {
        std::vector<RecordedRequest> others = other.Requests();
        std::vector<RecordedRequest> limited = server_.Requests();
        double first = others.at(othersBefore).time;
        if (limited.size() > limitedBefore) {
            first = std::min(first, limited[limitedBefore].time);
        }
        return others.back().time + 0.5 - first;
    };
    // Alone: the limited host's entries are Done.
    RunUntilNotice();
    double alone = othersTook(0, 0);
    ASSERT_EQ(other.Requests().size(), static_cast<size_t>(kOthers));
    // Among them: all entries afresh.
    program_.PostCommand(IDM_ALL_TO_STANDBY);
    RunUntilNotice();
    double among = othersTook(kOthers, 0);
    std::cout << "the other host's entries took " << alone << " s alone and " << among
              << " s among the limited host's, which refused " << server_.Requests().size() - kOthers / 2
              << " requests\n";
    EXPECT_EQ(other.Requests().size(), 2u * kOthers);
    EXPECT_LT(among, alone * 1.5);
    for (size_t row = 0; row < records.size(); ++row) {
        EXPECT_EQ(RecordOf(row).state, L"3") << row;
    }
}

TEST_F(RunRulesTest, F5DuringARunAndTheStopCommandEndItWithoutANotice) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"2");
    std::vector<std::wstring> urls;
    std::vector<std::wstring> records;
    for (int i = 0; i < 4; ++i) {
        std::wstring name = L"slow" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(100000));
        urls.push_back(server_.Url(L"slow=20000", name));
        records.push_back(Waiting(urls.back()));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());

    // The first run is stopped by F5 once both connections are receiving, the second (which
    // resumes those two entries) by the stop command.
    for (UINT stopCommand : {IDM_DOWNLOAD, IDM_STOP}) {
        SCOPED_TRACE(stopCommand);
        size_t requestsBefore = server_.Requests().size();
        program_.PostCommand(IDM_DOWNLOAD);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return server_.Requests().size() == requestsBefore + 2 &&
                       FileSize(Saved(L"slow0.bin")) > 0 && FileSize(Saved(L"slow1.bin")) > 0;
            },
            10000))
            << "the two transfers did not start";
        EXPECT_EQ(WindowTitle(program_.window()), kRunningTitle);
        program_.PostCommand(stopCommand);
        ExpectIdleWithoutNotice();
        EXPECT_TRUE(ToolbarButtonEnabled(program_.window(), IDM_DOWNLOAD));

        for (size_t row = 0; row < 2; ++row) {
            ListRecord record = RecordOf(row);
            EXPECT_EQ(record.state, L"4") << row;
            EXPECT_EQ(record.text.rfind(L"DL中断：", 0), 0u) << Narrow(record.text);
            EXPECT_EQ(record.total, L"100000");
            // Written by the first stop, and known to the log from then on.
            EXPECT_EQ(CountInLog(CancelLog(), urls[row]), 1u);
        }
        // No entry is taken after the stop.
        std::vector<std::wstring> lines = ListLines();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2], records[2]);
        EXPECT_EQ(lines[3], records[3]);
        EXPECT_TRUE(RequestsFor(server_.Requests(), "slow2.bin").empty());
        EXPECT_TRUE(RequestsFor(server_.Requests(), "slow3.bin").empty());
    }
    std::vector<RecordedRequest> resumed = RequestsFor(server_.Requests(), "slow0.bin");
    ASSERT_EQ(resumed.size(), 2u);
    EXPECT_TRUE(resumed[1].Header("Range")) << "the second run did not resume";
}

TEST_F(RunRulesTest, ClosingDuringARunWaitsForTheWorkersAndExits) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"2");
    std::vector<std::wstring> urls;
    std::vector<std::wstring> records;
    for (int i = 0; i < 2; ++i) {
        std::wstring name = L"stalled" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(200000));
        urls.push_back(server_.Url(L"stall=50000", name));
        records.push_back(Waiting(urls.back()));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return FileSize(Saved(L"stalled0.bin")) >= 8192 &&
                   FileSize(Saved(L"stalled1.bin")) >= 8192;
        },
        10000))
        << "the two transfers did not reach the stall";

    // Each worker waits for data that does not come; the close stops them, waits until they
    // have written their outcome, and ends within about two seconds.
    DWORD closeAt = GetTickCount();
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 2500), 0u)
        << "the program did not end with 0 soon after the close";
    std::cout << "close to exit while the server stalls: " << GetTickCount() - closeAt << " ms\n";
    // The rows carry the outcome of each worker's transfer.
    for (size_t row = 0; row < 2; ++row) {
        ListRecord record = RecordOf(row);
        EXPECT_EQ(record.state, L"4") << row;
        EXPECT_EQ(record.text.rfind(L"DL中断：", 0), 0u) << Narrow(record.text);
        EXPECT_EQ(record.total, L"200000");
        EXPECT_EQ(CountInLog(CancelLog(), urls[row]), 1u);
    }
}

TEST_F(RunRulesTest, LogsTakeARepeatedUrlTwiceAndSkipALogWhoseFolderIsMissing) {
    // One connection: the same worker finishes the URL twice with the same copy of the log.
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"1");
    const std::wstring nowhere = program_.folder() + L"no such folder\\error.txt";
    program_.WriteSetting(L"TOOLBAR", L"ERR_LOG", nowhere.c_str());
    Serve(L"twice.bin", Pattern(2000));
    const std::wstring twice = server_.Url(L"plain", L"twice.bin");
    const std::wstring failing = server_.Url(L"status=404", L"missing.bin");
    program_.WriteList({Waiting(failing), Waiting(twice), Waiting(twice)});
    ASSERT_TRUE(program_.StartAndWaitForWindow());

    program_.PostCommand(IDM_DOWNLOAD);
    MessageBoxSeen question = program_.WaitForMessageBox(L"確認", ProcessId(), 10000);
    ASSERT_NE(question.box, nullptr);
    EXPECT_EQ(question.text.rfind(L"エラーログファイルの指定が不正です。", 0), 0u);
    program_.Answer(question, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question.box); }, 5000));
    ExpectNoticeAndIdle();

    EXPECT_EQ(RecordOf(0).state, L"5");
    EXPECT_EQ(RecordOf(0).text, L"HTTPエラー：404");
    EXPECT_FALSE(FileExists(program_.folder() + L"no such folder"));
    EXPECT_EQ(RecordOf(1).state, L"3");
    EXPECT_EQ(RecordOf(2).state, L"3");
    EXPECT_EQ(ReadBytes(Saved(L"twice.bin")), Pattern(2000));
    EXPECT_EQ(CountInLog(DownloadLog(), twice), 2u);
    EXPECT_EQ(RequestsFor(server_.Requests(), "twice.bin").size(), 2u);
}

TEST_F(RunRulesTest, StopWhileTheServerHasNotAnsweredPutsAFreshEntryBackToStandby) {
    SilentServer silent;
    ASSERT_NE(silent.Port(), 0) << "no listening socket";
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"2");
    const std::wstring fresh = silent.Url(L"fresh.bin");
    const std::wstring resumed = silent.Url(L"part.bin");
    const std::string partial = Pattern(1500);
    ASSERT_TRUE(WriteBytes(Saved(L"part.bin"), partial));
    program_.WriteList(
        {Waiting(fresh), L"4|DL中断：   1 KB /    4 KB (  37%)|   4 KB |" + resumed + L"|4000"});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    // Both transfers have connected and wait for an answer. (The list file is not read while
    // the program may replace it: an open reader makes the replacement fail.)
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() >= 2; }, 10000))
        << "the entries did not reach their open attempts";
    EXPECT_TRUE(FileExists(Saved(L"fresh.bin")));

    DWORD stopMs = StopAndTimeToIdle("while the server has not answered");
    // The attempt under way ends with the receive time-out; no further attempt is made.
    EXPECT_LT(stopMs, 3000u);
    EXPECT_EQ(silent.Connections(), 2);
    ExpectIdleWithoutNotice();

    ListRecord freshRecord = RecordOf(0);
    EXPECT_EQ(freshRecord.state, L"0");
    EXPECT_EQ(freshRecord.text, L"スタンバイ");
    EXPECT_EQ(freshRecord.total, L"");
    EXPECT_FALSE(FileExists(Saved(L"fresh.bin"))) << "the empty new file was left behind";

    ListRecord resumedRecord = RecordOf(1);
    EXPECT_EQ(resumedRecord.state, L"4");
    EXPECT_EQ(resumedRecord.text.rfind(L"DL中断：", 0), 0u) << Narrow(resumedRecord.text);
    EXPECT_EQ(resumedRecord.total, L"4000");
    EXPECT_EQ(ReadBytes(Saved(L"part.bin")), partial);

    EXPECT_EQ(LogLines(CancelLog()), (std::vector<std::wstring>{L"", resumed}));
    EXPECT_EQ(ReadBytes(DownloadLog()), "");
    EXPECT_EQ(ReadBytes(ErrorLog()), "");
}

TEST_F(RunRulesTest, F6DownloadsDoneAndErrorEntriesAfreshAndResumesInterruptedOnes) {
    const std::string doneNew = Pattern(2500, 1);
    const std::string failed = Pattern(3000, 2);
    const std::string interrupted = Pattern(4000, 3);
    Serve(L"done.bin", doneNew);
    Serve(L"failed.bin", failed);
    Serve(L"interrupted.bin", interrupted);
    Serve(L"waiting.bin", Pattern(500, 4));
    Serve(L"unselected.bin", Pattern(600, 5));
    ASSERT_TRUE(WriteBytes(Saved(L"done.bin"), Pattern(2000, 9)));  // an older copy
    ASSERT_TRUE(WriteBytes(Saved(L"failed.bin"), failed.substr(0, 1000)));
    ASSERT_TRUE(WriteBytes(Saved(L"interrupted.bin"), interrupted.substr(0, 1500)));
    const std::vector<std::wstring> records = {
        L"3|ダウンロード完了|   2 KB |" + server_.Url(L"plain", L"done.bin") + L"|2000",
        L"5|回線エラー：   1 KB /    3 KB (  33%)|   3 KB |" +
            server_.Url(L"plain", L"failed.bin") + L"|3000",
        L"4|DL中断：   1 KB /    4 KB (  37%)|   4 KB |" +
            server_.Url(L"plain", L"interrupted.bin") + L"|4000",
        Waiting(server_.Url(L"plain", L"unselected.bin")),
        Waiting(server_.Url(L"plain", L"waiting.bin")),
    };
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    ASSERT_TRUE(SelectListRows(ListViewOf(program_.window()), {0, 1, 2, 4}))
        << "the rows could not be selected";

    RunUntilNotice(IDM_DOWNLOAD_SELECTED);

    std::vector<RecordedRequest> requests = server_.Requests();
    struct Expected {
        const char* name;
        const char* range;
        std::string content;
    };
    const Expected expected[] = {
        {"done.bin", "<none>", doneNew},
        {"failed.bin", "<none>", failed},
        {"interrupted.bin", "bytes=1500-", interrupted},
        {"waiting.bin", "<none>", Pattern(500, 4)},
    };
    for (const Expected& entry : expected) {
        SCOPED_TRACE(entry.name);
        std::vector<RecordedRequest> mine = RequestsFor(requests, entry.name);
        ASSERT_EQ(mine.size(), 1u);
        EXPECT_EQ(mine[0].Header("Range").value_or("<none>"), entry.range);
        std::string name = entry.name;
        EXPECT_EQ(ReadBytes(Saved(std::wstring(name.begin(), name.end()))), entry.content);
    }
    for (size_t row : {0u, 1u, 2u, 4u}) {
        EXPECT_EQ(RecordOf(row).state, L"3") << row;
    }
    EXPECT_TRUE(RequestsFor(requests, "unselected.bin").empty());
    EXPECT_EQ(ListLines().at(3), records[3]);
    EXPECT_FALSE(FileExists(Saved(L"unselected.bin")));

    // The rows stay selected: F6 again takes the same rows from the top, all Done by now.
    RunUntilNotice(IDM_DOWNLOAD_SELECTED);
    requests = server_.Requests();
    for (const Expected& entry : expected) {
        SCOPED_TRACE(entry.name);
        std::vector<RecordedRequest> mine = RequestsFor(requests, entry.name);
        ASSERT_EQ(mine.size(), 2u);
        EXPECT_FALSE(mine[1].Header("Range"));
    }
    EXPECT_TRUE(RequestsFor(requests, "unselected.bin").empty());
}

TEST_F(RunRulesTest, ClosingWhileAStartQuestionIsOpenEndsTheProgramWithoutARun) {
    Serve(L"a.bin", Pattern(100));
    program_.WriteSetting(L"TOOLBAR", L"DL_LOG", (program_.folder() + L"new done.txt").c_str());
    program_.WriteList({Waiting(server_.Url(L"plain", L"a.bin"))});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    MessageBoxSeen question = program_.WaitForMessageBox(L"確認", ProcessId(), 10000);
    ASSERT_NE(question.box, nullptr);
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 10000), 0u)
        << "the program did not end with 0";
    EXPECT_TRUE(server_.Requests().empty());
}
