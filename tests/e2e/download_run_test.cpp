// Download runs of the built program against the HTTP fixture server: saved files, row
// states in the list file, the three logs, stops and resumes.
#include "tests/e2e/command_walk_helpers.h"
#include "tests/e2e/run_helpers.h"
#include "tests/support/test_files.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>

using DownloadRunTest = ProgramRunTest;

namespace {

// The start of a row's state text while it waits for a server that asked it to come back.
constexpr std::wstring_view kWaitingText = L"サーバー待機中：残り";

}  // namespace

TEST_F(DownloadRunTest, FreshDownloadsAreWholeDoneSizedAndLoggedOnce) {
    const std::vector<std::pair<std::wstring, size_t>> files = {
        {L"empty.bin", 0}, {L"one.bin", 1}, {L"ten.bin", 10 * 1024}, {L"big.bin", 50 << 20}};
    std::vector<std::wstring> records;
    for (const auto& [name, size] : files) {
        Serve(name, Pattern(size));
        records.push_back(Waiting(server_.Url(L"plain", name)));
    }
    // Already in the download log when the run starts: not written again.
    std::wstring known = server_.Url(L"plain", L"one.bin");
    ASSERT_TRUE(WriteBytes(DownloadLog(), std::string(known.begin(), known.end())));

    RunToCompletion(records);
    for (size_t row = 0; row < files.size(); ++row) {
        const auto& [name, size] = files[row];
        ExpectDownloadedWhole(row, name, Pattern(size), server_.Url(L"plain", name));
    }
    EXPECT_EQ(ReadBytes(ErrorLog()), "");
}

// The list file is saved behind the changes; a kill at any moment of a run still finds every
// row in it once, in a valid line. A kill right after the completion notice, or right after
// the window has gone, finds every row's last state in it.
TEST_F(DownloadRunTest, KillsDuringARunLeaveEveryRowOnceAndTheEndsLeaveTheFileCurrent) {
    constexpr int kEntries = 300;
    std::vector<std::wstring> records;
    std::set<std::wstring> urls;
    for (int i = 0; i < kEntries; ++i) {
        std::wstring name = L"k" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(100, static_cast<uint32_t>(i)));
        records.push_back(Waiting(server_.Url(L"plain", name)));
        urls.insert(server_.Url(L"plain", name));
    }
    program_.WriteList(records);
    auto expectEveryRowOnce = [&](const wchar_t* state) {
        std::vector<std::wstring> lines = program_.ReadList();
        ASSERT_EQ(lines.size(), static_cast<size_t>(kEntries));
        std::set<std::wstring> seen;
        for (const std::wstring& line : lines) {
            ListRecord record = ParseRecord(line);
            EXPECT_TRUE(record.state.size() == 1 && record.state[0] >= L'0' &&
                        record.state[0] <= L'5')
                << testing::PrintToString(line);
            EXPECT_TRUE(state == nullptr || record.state == state) << testing::PrintToString(line);
            EXPECT_TRUE(urls.contains(record.url) && seen.insert(record.url).second)
                << testing::PrintToString(line);
        }
    };
    std::mt19937 random(20261207);
    for (int kill = 0; kill < 30; ++kill) {
        SCOPED_TRACE(kill);
        ASSERT_TRUE(program_.StartAndWaitForWindow());
        program_.PostCommand(IDM_DOWNLOAD);
        Sleep(std::uniform_int_distribution<DWORD>(0, 1000)(random));
        program_.Kill();
        expectEveryRowOnce(nullptr);
    }

    // The killed runs left rows in Downloading, which no run takes: all go back to Standby.
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_ALL_TO_STANDBY);
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_NE(program_.WaitForMessageBox(L"確認", ProcessId(), kRunTimeoutMs).box, nullptr);
    program_.Kill();
    expectEveryRowOnce(L"3");

    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_ALL_TO_STANDBY);
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    HWND window = program_.window();
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(window); }, 10000));
    program_.Kill();
    expectEveryRowOnce(L"0");
}

TEST_F(DownloadRunTest, ErrorsAndBrokenConnectionsEndAsErrors) {
    Serve(L"page.html", Pattern(5000));
    Serve(L"cut.bin", Pattern(300000));
    Serve(L"reset.bin", Pattern(300000));
    Serve(L"open.bin", Pattern(20000));
    // A good copy from an earlier download survives a failed one.
    ASSERT_TRUE(WriteBytes(Saved(L"page.html"), "earlier copy"));
    const std::wstring missing = server_.Url(L"status=404", L"missing.bin");
    const std::wstring failing = server_.Url(L"status=500", L"page.html");
    const std::wstring cut = server_.Url(L"drop=100000", L"cut.bin");
    const std::wstring reset = server_.Url(L"nolength,reset=100000", L"reset.bin");
    const std::wstring open = server_.Url(L"nolength", L"open.bin");
    // A server that asks to come back later is asked again after the wait it names, or after
    // 2 s and then 4 s when it names none; not for more than 5 minutes, nor past five waits.
    // A resume's Range request the same: asked again as a resume, and past the limits an
    // error with the partial file kept, not a fresh download.
    Serve(L"later.bin", Pattern(3000));
    Serve(L"hour.bin", Pattern(3000));
    Serve(L"resumed-later.bin", Pattern(3000));
    Serve(L"resumed-six.bin", Pattern(3000));
    ASSERT_TRUE(WriteBytes(Saved(L"resumed-later.bin"), Pattern(1000)));
    ASSERT_TRUE(WriteBytes(Saved(L"resumed-six.bin"), Pattern(1000)));
    const std::wstring later = server_.Url(L"refusals=2,noretryafter", L"later.bin");
    const std::wstring hour = server_.Url(L"refusals=1,retryafter=3600", L"hour.bin");
    const std::wstring resumedLater = server_.Url(L"refusals=1,retryafter=1", L"resumed-later.bin");
    const std::wstring resumedSix =
        server_.Url(L"refusals=6,refuse=503,retryafter=0", L"resumed-six.bin");
    RunToCompletion({Waiting(missing), Waiting(failing), Waiting(cut), Waiting(reset),
                     Waiting(open), Waiting(later), Waiting(hour),
                     L"4|DL中断||" + resumedLater + L"|3000",
                     L"4|DL中断||" + resumedSix + L"|3000"});

    EXPECT_EQ(RecordOf(0).text, L"HTTPエラー：404");
    EXPECT_EQ(RecordOf(0).state, L"5");
    EXPECT_FALSE(FileExists(Saved(L"missing.bin")));
    EXPECT_EQ(RecordOf(1).text, L"HTTPエラー：500");
    EXPECT_EQ(RecordOf(1).total, L"");
    EXPECT_EQ(ReadBytes(Saved(L"page.html")), "earlier copy");

    ListRecord cutRecord = RecordOf(2);
    EXPECT_EQ(cutRecord.state, L"5");
    EXPECT_EQ(cutRecord.text.rfind(L"回線エラー：", 0), 0u) << cutRecord.text;
    EXPECT_EQ(cutRecord.total, L"300000");
    EXPECT_EQ(ReadBytes(Saved(L"cut.bin")), Pattern(100000));

    ListRecord resetRecord = RecordOf(3);
    EXPECT_EQ(resetRecord.state, L"5");
    EXPECT_EQ(resetRecord.text.rfind(L"回線エラー：", 0), 0u) << resetRecord.text;
    EXPECT_NE(resetRecord.text.find(L"？"), std::wstring::npos) << resetRecord.text;

    // Without a length, a connection closed in order is the end of the data.
    EXPECT_EQ(RecordOf(4).state, L"3");
    EXPECT_EQ(ReadBytes(Saved(L"open.bin")), Pattern(20000));

    std::vector<RecordedRequest> requests = server_.Requests();
    EXPECT_EQ(RecordOf(5).state, L"3");
    EXPECT_EQ(ReadBytes(Saved(L"later.bin")), Pattern(3000));
    std::vector<RecordedRequest> laterAsked = RequestsFor(requests, "later.bin");
    ASSERT_EQ(laterAsked.size(), 3u);
    EXPECT_GE(laterAsked[1].time - laterAsked[0].time, 1.9);
    EXPECT_GE(laterAsked[2].time - laterAsked[1].time, 3.9);
    EXPECT_EQ(RecordOf(6).state, L"5");
    EXPECT_EQ(RecordOf(6).text, L"HTTPエラー：429");
    EXPECT_EQ(RecordOf(6).total, L"");
    EXPECT_EQ(RequestsFor(requests, "hour.bin").size(), 1u);
    EXPECT_FALSE(FileExists(Saved(L"hour.bin")));
    EXPECT_EQ(RecordOf(7).state, L"3");
    EXPECT_EQ(ReadBytes(Saved(L"resumed-later.bin")), Pattern(3000));
    EXPECT_EQ(RecordOf(8).state, L"5");
    EXPECT_EQ(RecordOf(8).text, L"HTTPエラー：503");
    EXPECT_EQ(ReadBytes(Saved(L"resumed-six.bin")), Pattern(1000));
    const std::pair<const char*, size_t> resumes[] = {{"resumed-later.bin", 2},
                                                      {"resumed-six.bin", 6}};
    for (const auto& [name, count] : resumes) {
        SCOPED_TRACE(name);
        std::vector<RecordedRequest> asked = RequestsFor(requests, name);
        EXPECT_EQ(asked.size(), count);
        for (const RecordedRequest& request : asked) {
            EXPECT_EQ(request.Header("Range").value_or("<none>"), "bytes=1000-");
        }
    }
    // Every other error status ends the entry at once.
    EXPECT_EQ(RequestsFor(requests, "missing.bin").size(), 1u);
    EXPECT_EQ(RequestsFor(requests, "page.html").size(), 1u);

    for (const std::wstring& url : {missing, failing, cut, reset, hour, resumedSix}) {
        EXPECT_EQ(CountInLog(ErrorLog(), url), 1u) << std::string(url.begin(), url.end());
    }
    EXPECT_EQ(CountInLog(DownloadLog(), open), 1u);
}

// A busy server is not a failure: an answer that takes 5 s and a body that pauses 5 s in the
// middle both download whole, with one request each, afresh and resumed.
TEST_F(DownloadRunTest, SlowServersDownloadWholeWithOneRequestEach) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"4");
    const std::string full = Pattern(300000);
    for (const wchar_t* name :
         {L"late.bin", L"paused.bin", L"late-resumed.bin", L"paused-resumed.bin"}) {
        Serve(name, full);
    }
    ASSERT_TRUE(WriteBytes(Saved(L"late-resumed.bin"), full.substr(0, 1000)));
    ASSERT_TRUE(WriteBytes(Saved(L"paused-resumed.bin"), full.substr(0, 1000)));
    const std::wstring late = server_.Url(L"delay=5000", L"late.bin");
    const std::wstring paused = server_.Url(L"pause=100000", L"paused.bin");
    const std::wstring lateResumed = server_.Url(L"delay=5000", L"late-resumed.bin");
    const std::wstring pausedResumed = server_.Url(L"pause=100000", L"paused-resumed.bin");
    RunToCompletion({Waiting(late), Waiting(paused), L"4|DL中断||" + lateResumed + L"|300000",
                     L"4|DL中断||" + pausedResumed + L"|300000"});
    std::vector<RecordedRequest> requests = server_.Requests();
    for (const wchar_t* name :
         {L"late.bin", L"paused.bin", L"late-resumed.bin", L"paused-resumed.bin"}) {
        std::string narrow(name, name + wcslen(name));
        SCOPED_TRACE(narrow);
        EXPECT_EQ(RequestsFor(requests, narrow).size(), 1u);
        EXPECT_EQ(ReadBytes(Saved(name)), full);
    }
    for (size_t row = 0; row < 4; ++row) {
        EXPECT_EQ(RecordOf(row).state, L"3") << row;
    }
}

// A host that takes two requests a second and refuses the rest, a third of the files each
// with 429 and seconds, 503 and seconds, and 429 and a date: every file comes whole, about
// as fast as the host allows (15 s for 30), and the host has to refuse few requests.
TEST_F(DownloadRunTest, AHostThatLimitsRequestsIsWaitedForAndGivesEveryFile) {
    constexpr int kFiles = 30;
    const wchar_t* const limits[] = {L"rate=2", L"rate=2,refuse=503", L"rate=2,retrydate"};
    std::vector<std::wstring> records;
    for (int i = 0; i < kFiles; ++i) {
        std::wstring name = L"limited" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(50000, static_cast<uint32_t>(i)));
        records.push_back(Waiting(server_.Url(limits[i % 3], name)));
    }
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    DWORD start = GetTickCount();
    RunUntilNotice();
    DWORD tookMs = GetTickCount() - start;
    size_t refusals = server_.Requests().size() - kFiles;
    std::cout << kFiles << " files from a host taking 2 requests a second: " << tookMs << " ms, "
              << refusals << " refusals\n";
    for (int i = 0; i < kFiles; ++i) {
        std::wstring name = L"limited" + std::to_wstring(i) + L".bin";
        ExpectDownloadedWhole(static_cast<size_t>(i), name,
                              Pattern(50000, static_cast<uint32_t>(i)),
                              server_.Url(limits[i % 3], name));
    }
    EXPECT_LT(tookMs, 22500u);
    EXPECT_LE(refusals, 2u * kFiles);
    EXPECT_EQ(ReadBytes(ErrorLog()), "");
}

// The silence bound (a minute; here 3 s) without a word ends a transfer as written: while
// waiting for the answer, at once as five failed opens, with one request; in the body, a line
// error with the partial file kept.
TEST_F(DownloadRunTest, TheSilenceBoundEndsTheOpenOrTheBody) {
    ShortSilenceBound bound(3000);
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"2");
    Serve(L"never.bin", Pattern(1000));
    Serve(L"stalled.bin", Pattern(200000));
    const std::wstring never = server_.Url(L"delay=600000", L"never.bin");
    const std::wstring stalled = server_.Url(L"stall=50000", L"stalled.bin");
    program_.WriteList({Waiting(never), Waiting(stalled)});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    DWORD start = GetTickCount();
    program_.PostCommand(IDM_DOWNLOAD);
    MessageBoxSeen notice = program_.WaitForMessageBox(L"確認", ProcessId(), 30000);
    DWORD tookMs = GetTickCount() - start;
    ASSERT_NE(notice.box, nullptr) << "the run did not end";
    program_.Answer(notice, IDOK);
    ASSERT_TRUE(program_.WaitForTitle(kIdleTitle, 5000));
    std::cout << "two silent servers ended after " << tookMs << " ms\n";
    EXPECT_GE(tookMs, 2900u);
    EXPECT_EQ(RecordOf(0).state, L"5");
    EXPECT_EQ(RecordOf(0).text, L"URLのオープンに失敗");
    EXPECT_EQ(RequestsFor(server_.Requests(), "never.bin").size(), 1u);
    ListRecord body = RecordOf(1);
    EXPECT_EQ(body.state, L"5");
    EXPECT_EQ(body.text.rfind(L"回線エラー：", 0), 0u) << body.text;
    EXPECT_EQ(ReadBytes(Saved(L"stalled.bin")), Pattern(50000));
    EXPECT_EQ(CountInLog(ErrorLog(), never), 1u);
    EXPECT_EQ(CountInLog(ErrorLog(), stalled), 1u);
}

// A stop takes effect within a second and a half in every phase of a transfer: a port that
// takes the connection and never answers, an answer that does not come, a body that stalls,
// a body that drips a byte every half second (its row shows the bytes coming), a resumed
// transfer that stalls, and a fresh and a resumed entry waiting for a host that asked them
// to come back later (their rows count the seconds down). A fresh entry stopped before its
// answer goes back to Standby; the others are Interrupted with their partial files and logged
// as cancelled.
TEST_F(DownloadRunTest, AStopTakesEffectWithinASecondAndAHalfInEveryPhase) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"7");
    SOCKET silent = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(silent, 5), 0);
    ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::wstring noAnswer =
        L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/quiet.bin";

    Serve(L"late.bin", Pattern(1000));
    Serve(L"stalled.bin", Pattern(200000));
    Serve(L"drip.bin", Pattern(1000));  // counted in bytes, so each one shows
    Serve(L"resumed.bin", Pattern(200000));
    ASSERT_TRUE(WriteBytes(Saved(L"resumed.bin"), Pattern(200000).substr(0, 1000)));
    const std::wstring late = server_.Url(L"delay=600000", L"late.bin");
    const std::wstring stalled = server_.Url(L"stall=50000", L"stalled.bin");
    const std::wstring drip = server_.Url(L"drip=100", L"drip.bin");
    const std::wstring resumed = server_.Url(L"stall=50000", L"resumed.bin");
    // A host that asked to come back in half a minute, for a fresh and a resumed entry: its
    // own server, since the wait holds back every request to it.
    HttpFixture busy;
    ASSERT_TRUE(busy.Start(served_)) << busy.Error();
    Serve(L"busy.bin", Pattern(1000));
    Serve(L"busy-resumed.bin", Pattern(200000));
    ASSERT_TRUE(WriteBytes(Saved(L"busy-resumed.bin"), Pattern(200000).substr(0, 1000)));
    const std::wstring busyFresh = busy.Url(L"refusals=1,retryafter=30", L"busy.bin");
    const std::wstring busyResumed = busy.Url(L"refusals=1,retryafter=30", L"busy-resumed.bin");
    program_.WriteList({Waiting(noAnswer), Waiting(late), Waiting(stalled), Waiting(drip),
                        L"4|DL中断||" + resumed + L"|200000", Waiting(busyFresh),
                        L"4|DL中断||" + busyResumed + L"|200000"});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return FileSize(Saved(L"stalled.bin")) == 50000 &&
                   FileSize(Saved(L"resumed.bin")) == 51000 &&
                   FileSize(Saved(L"drip.bin")) >= 102 &&
                   !RequestsFor(server_.Requests(), "late.bin").empty() &&
                   ListCellText(ListViewOf(program_.window()), 5, 1).starts_with(kWaitingText) &&
                   ListCellText(ListViewOf(program_.window()), 6, 1).starts_with(kWaitingText);
        },
        20000))
        << "the transfers did not reach their phases";
    // The drip's row shows what has come, a byte at a time; the waiting rows count down.
    HWND list = ListViewOf(program_.window());
    std::wstring before = ListCellText(list, 3, 1);
    ASSERT_TRUE(WaitUntil([&] { return ListCellText(list, 3, 1) != before; }, 3000))
        << testing::PrintToString(before);
    for (int row : {5, 6}) {
        SCOPED_TRACE(row);
        std::wstring counted = ListCellText(list, row, 1);
        EXPECT_TRUE(WaitUntil(
            [&] {
                std::wstring now = ListCellText(list, row, 1);
                return now != counted && now.starts_with(kWaitingText);
            },
            1500))
            << testing::PrintToString(counted);
    }
    // The first refusal paused the host: the other entry may not have asked at all.
    size_t busyAsked = busy.Requests().size();
    EXPECT_GE(busyAsked, 1u);

    EXPECT_LT(StopAndTimeToIdle("with servers in seven phases"), 1500u);
    EXPECT_EQ(program_.WaitForMessageBox(L"確認", ProcessId(), 500).box, nullptr);
    closesocket(silent);

    for (size_t row : {0u, 1u, 5u}) {
        EXPECT_EQ(RecordOf(row).state, L"0") << row;
    }
    EXPECT_EQ(CountInLog(CancelLog(), noAnswer), 0u);
    EXPECT_EQ(CountInLog(CancelLog(), late), 0u);
    EXPECT_EQ(CountInLog(CancelLog(), busyFresh), 0u);
    EXPECT_FALSE(FileExists(Saved(L"quiet.bin")));
    EXPECT_FALSE(FileExists(Saved(L"late.bin")));
    EXPECT_FALSE(FileExists(Saved(L"busy.bin")));
    EXPECT_EQ(busy.Requests().size(), busyAsked) << "a waiting entry asked again after the stop";
    const struct {
        size_t row;
        const wchar_t* name;
    } cut[] = {
        {2, L"stalled.bin"}, {3, L"drip.bin"}, {4, L"resumed.bin"}, {6, L"busy-resumed.bin"}};
    for (const auto& entry : cut) {
        SCOPED_TRACE(entry.row);
        ListRecord record = RecordOf(entry.row);
        EXPECT_EQ(record.state, L"4") << testing::PrintToString(record.text);
        EXPECT_EQ(record.text.rfind(L"DL中断：", 0), 0u) << record.text;
        std::string partial = ReadBytes(Saved(entry.name));
        const std::string served = Pattern(entry.row == 3 ? 1000 : 200000);
        EXPECT_EQ(partial, served.substr(0, partial.size()));
    }
    EXPECT_EQ(ReadBytes(Saved(L"busy-resumed.bin")), Pattern(1000));
    for (const std::wstring& url : {stalled, drip, resumed, busyResumed}) {
        EXPECT_EQ(CountInLog(CancelLog(), url), 1u);
    }
    EXPECT_EQ(ReadBytes(ErrorLog()), "");
}

// Closing the window while a server drips its body ends the program within seconds, with the
// list file current.
TEST_F(DownloadRunTest, ClosingDuringADripEndsTheProgramWithTheListCurrent) {
    Serve(L"drip.bin", Pattern(1000));
    const std::wstring drip = server_.Url(L"drip=100", L"drip.bin");
    program_.WriteList({Waiting(drip)});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil([&] { return FileSize(Saved(L"drip.bin")) >= 102; }, 10000));
    DWORD closeAt = GetTickCount();
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 4000), 0u);
    std::cout << "close to exit during a drip: " << GetTickCount() - closeAt << " ms\n";
    ListRecord record = RecordOf(0);
    EXPECT_EQ(record.state, L"4") << testing::PrintToString(record.text);
    EXPECT_EQ(CountInLog(CancelLog(), drip), 1u);
}

namespace {

// The served files' modification time, so the test knows the validators the server sends:
// 2026-12-01 00:00:00 UTC.
constexpr ULONGLONG kServedFileTime = 134405568000000000;
constexpr wchar_t kServedDate[] = L"Tue, 01 Dec 2026 00:00:00 GMT";
constexpr wchar_t kServedEtag[] = L"\"18ecf827830c0000-61a80\"";  // of a 400,000-byte file

bool SetModifiedTime(const std::wstring& path, ULONGLONG fileTime) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME time = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    bool set = SetFileTime(file, nullptr, nullptr, &time) != 0;
    CloseHandle(file);
    return set;
}

}  // namespace

// A resume appends only an answer that continues the partial file: a 206 whose range starts
// where the file ends, with or without an Accept-Ranges line. An entry that keeps the
// validator of its file sends it as If-Range; a server whose file has changed then answers
// with the whole new file, which is written from the start without asking again. Whatever
// the path, the file ends whole and the record keeps the validator of what it holds: a strong
// ETag, else the date.
TEST_F(DownloadRunTest, ResumeContinuesOnlyAnAnswerThatFollowsThePartialFile) {
    const std::string full = Pattern(400000);
    const std::wstring etag = kServedEtag;
    const std::wstring date = kServedDate;
    struct Case {
        const wchar_t* options;
        std::wstring storedTotal;  // the record's fifth field, or empty
        bool partialFile;
        int freshRequests;     // requests without a range
        const char* ifRange;   // sent with the range request, or null for none
        std::wstring kept;     // the record's fifth field at the end
        bool changed = false;  // the partial file is the start of an older version
    };
    const Case cases[] = {
        {L"plain", L"400000", true, 0, nullptr, L"400000"},
        {L"bigheaders=3000", L"", true, 0, nullptr, L"400000"},
        {L"noranges", L"", true, 0, nullptr, L"400000"},
        {L"ignorerange", L"", true, 1, nullptr, L"400000"},
        {L"badrange=0", L"", true, 1, nullptr, L"400000"},
        {L"plain", L"399999", true, 1, nullptr, L"400000"},
        {L"plain", L"400000", false, 1, nullptr, L"400000"},
        // The same file as the partial one: continued, and its validator stays.
        {L"etag,noranges", L"400000 " + etag, true, 0, "\"18ecf827830c0000-61a80\"",
         L"400000 " + etag},
        {L"lastmod", L"0 " + date, true, 0, "Tue, 01 Dec 2026 00:00:00 GMT", L"400000 " + date},
        // Changed since: the 200 answer is the whole new file, in one request.
        {L"etag", L"400000 \"older\"", true, 0, "\"older\"", L"400000 " + etag, true},
        // A weak ETag is no validator for a range: the date is kept instead.
        {L"weaketag,lastmod", L"", false, 1, nullptr, L"400000 " + date},
    };
    std::vector<std::wstring> records;
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::wstring name = L"part" + std::to_wstring(i) + L".bin";
        Serve(name, full);
        ASSERT_TRUE(SetModifiedTime(served_ + name, kServedFileTime));
        if (cases[i].partialFile) {
            // An older version's start holds other bytes: a splice would show.
            std::string partial = cases[i].changed ? Pattern(150000, 777) : full.substr(0, 150000);
            ASSERT_TRUE(WriteBytes(Saved(name), partial));
        }
        std::wstring record = L"4|DL中断||" + server_.Url(cases[i].options, name);
        if (!cases[i].storedTotal.empty()) {
            record += L"|" + cases[i].storedTotal;
        }
        records.push_back(record);
    }
    RunToCompletion(records);

    std::vector<RecordedRequest> requests = server_.Requests();
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string name = "part" + std::to_string(i) + ".bin";
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadBytes(Saved(std::wstring(name.begin(), name.end()))), full);
        EXPECT_EQ(RecordOf(i).state, L"3");
        std::wstring line = ListLines()[i];
        EXPECT_EQ(line.substr(line.find(L"|", line.find(L".bin")) + 1), cases[i].kept);
        int ranged = 0;
        int fresh = 0;
        for (const RecordedRequest& request : RequestsFor(requests, name)) {
            std::optional<std::string> range = request.Header("Range");
            if (range) {
                EXPECT_EQ(*range, "bytes=150000-");
                EXPECT_EQ(request.Header("If-Range").value_or("<none>"),
                          cases[i].ifRange != nullptr ? cases[i].ifRange : "<none>");
                ++ranged;
            } else {
                ++fresh;
            }
        }
        EXPECT_EQ(ranged, cases[i].partialFile ? 1 : 0);
        EXPECT_EQ(fresh, cases[i].freshRequests);
    }
}

// Resume against nginx, which sends no Accept-Ranges line with its 206 answers and honours
// If-Range: an unchanged file continues with only the rest sent, a file replaced on the
// server by another of the same size comes back whole, and both hold over a restart of the
// program between the stop and the resume.
TEST_F(DownloadRunTest, ResumesFromNginxAndNeverSplicesAFileThatChangedMeanwhile) {
    FixtureServer nginx;
    // Slow enough that a stop lands part-way through 20 MB.
    ASSERT_TRUE(nginx.Start("nginx_server.py", served_, L"access.log", {"--rate", "6m"}, "nginx"))
        << nginx.Error();
    constexpr size_t kSize = 20 << 20;
    const std::string same = Pattern(kSize, 1);
    const std::string older = Pattern(kSize, 2);
    const std::string newer = Pattern(kSize, 3);
    auto url = [&](const std::wstring& name) {
        return L"http://127.0.0.1:" + std::to_wstring(nginx.Port()) + L"/" + name;
    };
    // Each access log line: METHOD URI STATUS BODY_BYTES_SENT "RANGE" "IF_RANGE".
    auto answersFor = [&](const std::wstring& name) {
        std::vector<std::pair<int, uint64_t>> answers;
        std::string uri = " /" + std::string(name.begin(), name.end()) + " ";
        for (const std::wstring& line : LogLines(nginx.LogPath())) {
            std::string text(line.begin(), line.end());
            size_t at = text.find(uri);
            if (at != std::string::npos) {
                const char* rest = text.c_str() + at + uri.size();
                char* end = nullptr;
                int status = static_cast<int>(std::strtol(rest, &end, 10));
                answers.emplace_back(status, std::strtoull(end, nullptr, 10));
            }
        }
        return answers;
    };
    auto stopPartWay = [&](const std::vector<std::wstring>& names) {
        program_.PostCommand(IDM_DOWNLOAD);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return std::all_of(names.begin(), names.end(), [&](const std::wstring& name) {
                    return FileSize(Saved(name)) >= (1u << 20);
                });
            },
            20000));
        StopAndTimeToIdle("during nginx downloads");
        for (size_t row = 0; row < names.size(); ++row) {
            ASSERT_EQ(RecordOf(row).state, L"4") << "not stopped part-way";
            ASSERT_LT(FileSize(Saved(names[row])), kSize);
        }
    };
    // Another file of the same size, and another modification time, as a rebuilt file has.
    auto replaceOnServer = [&](const std::wstring& name) {
        Serve(name, newer);
        ASSERT_TRUE(SetModifiedTime(served_ + name, kServedFileTime));
    };
    auto expectResumedAndReplaced = [&](const std::wstring& kept, const std::wstring& changed,
                                        uint64_t keptPartial) {
        ExpectDownloadedWhole(0, kept, same, url(kept));
        ExpectDownloadedWhole(1, changed, newer, url(changed));
        auto keptAnswers = answersFor(kept);
        auto changedAnswers = answersFor(changed);
        for (const auto& [status, bytes] : keptAnswers) {
            std::cout << "nginx sent for the unchanged file: " << status << ", " << bytes
                      << " bytes (stopped at " << keptPartial << ")\n";
        }
        for (const auto& [status, bytes] : changedAnswers) {
            std::cout << "nginx sent for the replaced file: " << status << ", " << bytes
                      << " bytes\n";
        }
        ASSERT_EQ(keptAnswers.size(), 2u);
        EXPECT_EQ(keptAnswers[1], std::make_pair(206, kSize - keptPartial)) << "not only the rest";
        ASSERT_EQ(changedAnswers.size(), 2u);
        EXPECT_EQ(changedAnswers[1], std::make_pair(200, uint64_t{kSize}));
    };

    // Stopped, the server's file replaced, resumed in the same session.
    Serve(L"same.bin", same);
    Serve(L"changed.bin", older);
    program_.WriteList({Waiting(url(L"same.bin")), Waiting(url(L"changed.bin"))});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    stopPartWay({L"same.bin", L"changed.bin"});
    uint64_t partial = FileSize(Saved(L"same.bin"));
    replaceOnServer(L"changed.bin");
    RunUntilNotice();
    expectResumedAndReplaced(L"same.bin", L"changed.bin", partial);

    // The same with the program closed and started again between the stop and the resume.
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
    Serve(L"same2.bin", same);
    Serve(L"changed2.bin", older);
    program_.WriteList({Waiting(url(L"same2.bin")), Waiting(url(L"changed2.bin"))});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    stopPartWay({L"same2.bin", L"changed2.bin"});
    partial = FileSize(Saved(L"same2.bin"));
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
    replaceOnServer(L"changed2.bin");
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    RunUntilNotice();
    expectResumedAndReplaced(L"same2.bin", L"changed2.bin", partial);
    EXPECT_EQ(ReadBytes(ErrorLog()), "");
}

// The Referer is read at the start of every transfer: the text pasted before the run goes
// whole with the first, and a text changed while the run waits for its first answer goes
// with the next transfer.
TEST_F(DownloadRunTest, RefererIsSentWholeExactlyWhenItIsOnAndNotEmpty) {
    Serve(L"a.bin", Pattern(100));
    Serve(L"b.bin", Pattern(1000));
    ASSERT_TRUE(WriteBytes(Saved(L"b.bin"), Pattern(400)));
    std::wstring referer = L"http://example.com/" + std::wstring(3000, L'r');
    const std::wstring next = L"http://example.org/next";
    program_.WriteSetting(L"TOOLBAR", L"REFERER_ON", L"1");
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"1");
    program_.WriteList({Waiting(server_.Url(L"delay=1500", L"a.bin")),
                        L"4|DL中断||" + server_.Url(L"plain", L"b.bin")});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    HWND field = GetDlgItem(GetDlgItem(program_.window(), 7), 3007);
    // Pasted into the field: longer than the settings file keeps, and still sent whole.
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(referer.c_str()));
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil([&] { return !server_.Requests().empty(); }, 10000));
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(next.c_str()));
    ExpectNoticeAndIdle();
    std::vector<RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Referer").value_or("<none>"),
              std::string(referer.begin(), referer.end()));
    EXPECT_EQ(requests[1].Header("Referer").value_or("<none>"),
              std::string(next.begin(), next.end()));
    EXPECT_EQ(ReadBytes(Saved(L"b.bin")), Pattern(1000));
}

TEST_F(DownloadRunTest, NoRefererWhenItIsOffOrEmpty) {
    Serve(L"a.bin", Pattern(100));
    program_.WriteSetting(L"TOOLBAR", L"REFERER_ON", L"0");
    program_.WriteSetting(L"TOOLBAR", L"REFERER", L"http://example.com/");
    RunToCompletion({Waiting(server_.Url(L"plain", L"a.bin"))});
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_FALSE(server_.Requests()[0].Header("Referer"));
}

TEST_F(DownloadRunTest, UnsafeSaveNamesFailAndWriteNothingOutsideTheSaveFolder) {
    const wchar_t* const names[] = {L"..",   L"CON", L"NUL.txt",
                                    L"LPT1", L"a:b", L"..\\..\\escaped.txt"};
    std::vector<std::wstring> records;
    for (const wchar_t* name : names) {
        records.push_back(Waiting(server_.Url(L"plain", L"x") + L"/" + name));
    }
    // Over-long: the folder and the name together pass 1023 characters.
    records.push_back(
        Waiting(server_.Url(L"plain", std::wstring(1100 - saveFolder_.size(), L'n'))));
    RunToCompletion(records);
    for (size_t row = 0; row < records.size(); ++row) {
        SCOPED_TRACE(row);
        ListRecord record = RecordOf(row);
        EXPECT_EQ(record.state, L"5");
        EXPECT_EQ(record.text, L"ファイルの保存に失敗");
        EXPECT_EQ(CountInLog(ErrorLog(), record.url), 1u);
    }
    EXPECT_FALSE(FileExists(program_.folder() + L"escaped.txt"));
    EXPECT_FALSE(FileExists(saveFolder_ + L"\\escaped.txt"));
    EXPECT_TRUE(server_.Requests().empty());
}
