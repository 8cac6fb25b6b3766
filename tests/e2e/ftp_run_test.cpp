// Runs of ftp entries through the program's own FTP client, against pyftpdlib and against the
// scripted server that misbehaves on purpose.
#include <winsock2.h>

#include "tests/e2e/run_helpers.h"
#include "tests/support/ftp_fixture.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

namespace {

// A port on 127.0.0.1 that never answers a connect: it listens, but its accept queue is
// already full with a connection that is never taken, so a new connect hears nothing.
class SilentPort {
public:
    SilentPort() = default;
    ~SilentPort() {
        for (SOCKET socket : {filler_, listener_}) {
            if (socket != INVALID_SOCKET) {
                closesocket(socket);
            }
        }
        if (started_) {
            WSACleanup();
        }
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    bool Open() {
        WSADATA winsock;
        started_ = WSAStartup(MAKEWORD(2, 2), &winsock) == 0;
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (!started_ || listener_ == INVALID_SOCKET ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 0) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return false;
        }
        port_ = ntohs(address.sin_port);
        filler_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        if (filler_ == INVALID_SOCKET || ioctlsocket(filler_, FIONBIO, &nonBlocking) != 0) {
            return false;
        }
        connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        // The port is silent only if a second connect now goes unanswered.
        SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ioctlsocket(probe, FIONBIO, &nonBlocking);
        connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fd_set answered;
        FD_ZERO(&answered);
        FD_SET(probe, &answered);
        timeval wait = {0, 500000};
        bool silent = select(0, nullptr, &answered, nullptr, &wait) == 0;
        closesocket(probe);
        return silent;
    }
    unsigned short Port() const { return port_; }

private:
    bool started_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET filler_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

class FtpRunTest : public ProgramRunTest {
protected:
    void StartReal() { ASSERT_TRUE(ftp_.StartReal(served_)) << ftp_.Error(); }
    void StartScripted(const std::vector<std::string>& options) {
        ASSERT_TRUE(ftp_.Start(served_, options)) << ftp_.Error();
    }
    static std::wstring Interrupted(const std::wstring& url, const wchar_t* total = nullptr) {
        return L"4|DL中断||" + url + (total ? std::wstring(L"|") + total : L"");
    }

    FtpFixture ftp_;
};

const std::vector<std::string> kFreshDialogue = {"USER anonymous\r\n", "PASS \r\n", "TYPE I\r\n",
                                                 "PASV\r\n"};

std::vector<std::string> Dialogue(std::vector<std::string> tail) {
    std::vector<std::string> lines = kFreshDialogue;
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

}  // namespace

TEST_F(FtpRunTest, FreshDownloadsFromARealServerAreWholeDoneAndLogged) {
    const std::vector<std::pair<std::wstring, size_t>> files = {
        {L"empty.bin", 0}, {L"ten.bin", 10 * 1024}, {L"big.bin", 50 << 20}};
    std::vector<std::wstring> records;
    StartReal();
    for (const auto& [name, size] : files) {
        Serve(name, Pattern(size));
        records.push_back(Waiting(ftp_.Url(name)));
    }
    // An empty download replaces what an earlier one left: the file on disk is the download.
    ASSERT_TRUE(WriteBytes(Saved(L"empty.bin"), Pattern(1000)));
    RunToCompletion(records);
    for (size_t row = 0; row < files.size(); ++row) {
        const auto& [name, size] = files[row];
        ExpectDownloadedWhole(row, name, Pattern(size), ftp_.Url(name));
    }
    // One control connection per entry, each the program's own client's dialogue: it did
    // every transfer itself.
    std::vector<std::vector<std::string>> sessions = ftp_.Sessions();
    EXPECT_EQ(sessions.size(), files.size());
    for (const std::vector<std::string>& session : sessions) {
        ASSERT_GE(session.size(), kFreshDialogue.size());
        EXPECT_EQ(
            std::vector<std::string>(session.begin(), session.begin() + kFreshDialogue.size()),
            kFreshDialogue);
    }
}

TEST_F(FtpRunTest, DialogueIsExactlyTheClientsCommandsAndDataComesFromTheControlPeer) {
    Serve(L"a.bin", Pattern(3000));
    ASSERT_TRUE(CreateDirectoryW((served_ + L"dir").c_str(), nullptr));
    Serve(L"dir\\b~c.bin", Pattern(100));
    // The passive reply names another host: the data still comes from the server talked to.
    StartScripted({"--pasv-host=10.1.2.3"});
    RunToCompletion({Waiting(ftp_.Url(L"a.bin")), Waiting(ftp_.Url(L"dir/b\u00e9~c.bin"))});
    EXPECT_EQ(ReadBytes(Saved(L"a.bin")), Pattern(3000));
    EXPECT_EQ(RecordOf(0).state, L"3");
    EXPECT_EQ(RecordOf(1).state, L"3");
    // The two entries run side by side: their sessions may come in either order.
    std::vector<std::vector<std::string>> sessions = ftp_.Sessions();
    std::sort(sessions.begin(), sessions.end());
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0], Dialogue({"RETR /a.bin\r\n"}));
    // Characters outside ASCII are dropped before sending.
    EXPECT_EQ(sessions[1], Dialogue({"RETR /dir/b~c.bin\r\n"}));
}

TEST_F(FtpRunTest, UrlWithoutAPathAsksForTheRoot) {
    StartScripted({});
    RunToCompletion({Waiting(L"ftp://127.0.0.1:" + std::to_wstring(ftp_.Port()) + L"/")});
    ASSERT_FALSE(ftp_.Sessions().empty());
    EXPECT_EQ(ftp_.Sessions()[0], Dialogue({"RETR /\r\n"}));
}

TEST_F(FtpRunTest, ResumeSendsTheRestartOffsetAndCompletesThePartialFile) {
    const std::string full = Pattern(200000);
    Serve(L"part.bin", full);
    ASSERT_TRUE(WriteBytes(Saved(L"part.bin"), full.substr(0, 70000)));
    StartReal();
    RunToCompletion({Interrupted(ftp_.Url(L"part.bin"), L"200000")});
    EXPECT_EQ(ReadBytes(Saved(L"part.bin")), full);
    EXPECT_EQ(RecordOf(0).state, L"3");
    EXPECT_EQ(RecordOf(0).total, L"200000");
    ASSERT_EQ(ftp_.Sessions().size(), 1u);
    EXPECT_EQ(ftp_.Sessions()[0], Dialogue({"REST 70000\r\n", "RETR /part.bin\r\n"}));
}

TEST_F(FtpRunTest, RefusedRestartDownloadsTheWholeFileAgain) {
    const std::string full = Pattern(50000);
    Serve(L"part.bin", full);
    ASSERT_TRUE(WriteBytes(Saved(L"part.bin"), Pattern(20000, 7)));
    StartScripted({"--reply=REST:502"});
    RunToCompletion({Interrupted(ftp_.Url(L"part.bin"))});
    EXPECT_EQ(ReadBytes(Saved(L"part.bin")), full);
    EXPECT_EQ(RecordOf(0).state, L"3");
    std::vector<std::vector<std::string>> sessions = ftp_.Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0], Dialogue({"REST 20000\r\n"}));
    EXPECT_EQ(sessions[1], Dialogue({"RETR /part.bin\r\n"}));
}

// Every way the client gives up hands the entry on; the library then meets the same server
// and the chain ends in the HTTP transfer's error row and error log.
TEST_F(FtpRunTest, FailuresFallBackAndEndAsTheLibrarysError) {
    struct Case {
        std::vector<std::string> options;
        const char* what;
    };
    const Case cases[] = {
        {{"--reply=PASS:530"}, "login refused"},
        {{"--pasv=malformed"}, "malformed passive reply"},
        {{"--data=refuse"}, "data connection refused"},
        {{"--reply=RETR:550"}, "missing file"},
        // The data connection ends empty at once; the refusal comes 3 s later.
        {{"--reply=RETR:550", "--delay=RETR:3"}, "late refusal"},
        // Half the file, the control connection gone before the data connection, no word
        // of completion; the fragment is not left for the library, which is refused.
        {{"--data=close:2000", "--control-close-at=2000", "--later-sessions=refuse"},
         "control connection closed before the data"},
    };
    Serve(L"f.bin", Pattern(4000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ftp_.Stop();
        StartScripted(c.options);
        if (program_.Running()) {
            PostMessageW(program_.window(), WM_CLOSE, 0, 0);
            ASSERT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
        }
        DeleteFileW(Saved(L"f.bin").c_str());
        ASSERT_TRUE(WriteBytes(ErrorLog(), ""));
        RunToCompletion({Waiting(ftp_.Url(L"f.bin"))});
        ListRecord record = RecordOf(0);
        EXPECT_EQ(record.state, L"5") << testing::PrintToString(record.text);
        EXPECT_NE(record.text, L"ダウンロード完了");
        EXPECT_EQ(CountInLog(ErrorLog(), ftp_.Url(L"f.bin")), 1u);
        EXPECT_EQ(CountInLog(DownloadLog(), ftp_.Url(L"f.bin")), 0u);
        EXPECT_EQ(GetFileAttributesW(Saved(L"f.bin").c_str()), INVALID_FILE_ATTRIBUTES)
            << "a file the transfers created is left";
        // The program's own client came first, with its exact login (the library's sends a
        // password).
        std::vector<std::vector<std::string>> sessions = ftp_.Sessions();
        ASSERT_FALSE(sessions.empty());
        ASSERT_GE(sessions[0].size(), 2u);
        EXPECT_EQ(sessions[0][0], "USER anonymous\r\n");
        EXPECT_EQ(sessions[0][1], "PASS \r\n");
    }
}

// A passive reply whose text after "(" runs to 5,000 bytes, its numbers first: read without
// overflow, and the numbers it starts with are good, so the download goes through.
TEST_F(FtpRunTest, OverlongPassiveReplyIsReadSafely) {
    Serve(L"f.bin", Pattern(4000));
    StartScripted({"--pasv=overlong"});
    RunToCompletion({Waiting(ftp_.Url(L"f.bin"))});
    EXPECT_EQ(RecordOf(0).state, L"3");
    EXPECT_EQ(ReadBytes(Saved(L"f.bin")), Pattern(4000));
    EXPECT_EQ(ftp_.Sessions().size(), 1u);
}

TEST_F(FtpRunTest, RefusedLoginOfAResumedEntryIsTriedAfreshBeforeTheLibrary) {
    Serve(L"f.bin", Pattern(4000));
    ASSERT_TRUE(WriteBytes(Saved(L"f.bin"), Pattern(1000)));
    StartScripted({"--reply=PASS:530"});
    RunToCompletion({Interrupted(ftp_.Url(L"f.bin"))});
    std::vector<std::vector<std::string>> sessions = ftp_.Sessions();
    ASSERT_GE(sessions.size(), 3u);
    // Resumed, then afresh, both by the program's client, then the library.
    EXPECT_EQ(sessions[0], (std::vector<std::string>{"USER anonymous\r\n", "PASS \r\n"}));
    EXPECT_EQ(sessions[1], (std::vector<std::string>{"USER anonymous\r\n", "PASS \r\n"}));
    EXPECT_EQ(RecordOf(0).state, L"5");
}

// A stop takes effect at once at any step: while the client waits for a greeting or a reply,
// while a connect is never answered, and while the data connection stalls. Nothing of the
// transfer is left on disk but the data that came.
TEST_F(FtpRunTest, StopTakesEffectWithinASecondAtEveryStep) {
    struct Case {
        std::vector<std::string> options;
        const char* reached;  // the command the client has sent when the stop comes
        const char* what;
        size_t kept = 0;  // the bytes that have come when the stop comes
    };
    const Case cases[] = {
        {{"--greeting=none"}, "USER anonymous\r\n", "no greeting"},
        {{"--delay=USER:10"}, "USER anonymous\r\n", "login answered after 10 s"},
        {{"--data=blackhole"}, "PASV\r\n", "data port that never answers a connect"},
        {{}, nullptr, "control port that never answers a connect"},
        {{"--data=stall:3000"}, "RETR /slow.bin\r\n", "data connection that stalls", 3000},
    };
    Serve(L"slow.bin", Pattern(100000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ftp_.Stop();
        StartScripted(c.options);
        SilentPort silent;
        std::wstring url = ftp_.Url(L"slow.bin");
        if (c.reached == nullptr) {
            ASSERT_TRUE(silent.Open());
            url = L"ftp://127.0.0.1:" + std::to_wstring(silent.Port()) + L"/slow.bin";
        }
        if (program_.Running()) {
            PostMessageW(program_.window(), WM_CLOSE, 0, 0);
            ASSERT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
        }
        program_.WriteList({Waiting(url)});
        ASSERT_TRUE(program_.StartAndWaitForWindow());
        program_.PostCommand(IDM_DOWNLOAD);
        if (c.reached != nullptr) {
            ASSERT_TRUE(WaitUntil(
                [&] {
                    std::vector<std::string> sent = ftp_.Commands();
                    return std::find(sent.begin(), sent.end(), c.reached) != sent.end();
                },
                10000));
            ASSERT_TRUE(WaitUntil([&] { return FileSize(Saved(L"slow.bin")) == c.kept; }, 10000));
        } else {
            // The worker has claimed the entry: the FTP client is connecting.
            ASSERT_TRUE(WaitUntil([&] { return RecordOf(0).state == L"1"; }, 10000));
        }
        EXPECT_LE(StopAndTimeToIdle(c.what), 1500u);
        ListRecord record = RecordOf(0);
        EXPECT_EQ(record.state, L"4");
        EXPECT_EQ(record.text.rfind(L"DL中断：", 0), 0u) << testing::PrintToString(record.text);
        EXPECT_EQ(CountInLog(CancelLog(), url), 1u);
        if (c.kept != 0) {
            EXPECT_EQ(ReadBytes(Saved(L"slow.bin")), Pattern(100000).substr(0, c.kept));
            continue;
        }
        EXPECT_EQ(GetFileAttributesW(Saved(L"slow.bin").c_str()), INVALID_FILE_ATTRIBUTES);
        std::vector<std::string> sent = ftp_.Commands();
        EXPECT_EQ(std::find(sent.begin(), sent.end(), "RETR /slow.bin\r\n"), sent.end());
    }
}

// Two passive replies, the second for a port that sends bytes that are not the file: the
// client opens one data connection only, so the file is the server's, and no receiver is
// left behind when the transfer ends.
TEST_F(FtpRunTest, ASecondPassiveReplyOpensNoSecondDataConnection) {
    Serve(L"f.bin", Pattern(30000));
    StartScripted({"--pasv=twice"});
    RunToCompletion({Waiting(ftp_.Url(L"f.bin"))});
    ExpectDownloadedWhole(0, L"f.bin", Pattern(30000), ftp_.Url(L"f.bin"));
    EXPECT_EQ(ftp_.Sessions().size(), 1u);
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
}

// A data connection that goes silent without closing holds the worker for the silence bound
// (a minute; here 3 s) at most; then the entry is handed on (here to the library, which the
// test releases by stopping the server).
TEST_F(FtpRunTest, SilentDataConnectionReleasesTheWorkerAfterTheSilenceBound) {
    ShortSilenceBound bound(3000);
    Serve(L"stall.bin", Pattern(100000));
    StartScripted({"--data=stall:3000"});
    program_.WriteList({Waiting(ftp_.Url(L"stall.bin"))});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    ASSERT_TRUE(WaitUntil([&] { return ftp_.Sessions().size() == 1; }, 10000));
    DWORD start = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return ftp_.Sessions().size() >= 2; }, 20000))
        << "the client still waits on the silent data connection";
    DWORD heldMs = GetTickCount() - start;
    std::cout << "silent data connection held the worker for " << heldMs << " ms\n";
    EXPECT_GE(heldMs, 2900u);
    EXPECT_EQ(CountInLog(DownloadLog(), ftp_.Url(L"stall.bin")), 0u);
    ftp_.Stop();
    ASSERT_TRUE(program_.WaitForTitle(kIdleTitle, 20000));
}

// Through a proxy an interrupted ftp entry goes to the library (which asks for an active data
// connection), whose ftp calls block: a stop
// while its data connection stalls still takes effect at once, and the part that came stays;
// a server that sends the whole file gets it downloaded whole.
TEST_F(FtpRunTest, AStopReachesTheLibrarysStalledFtpTransferAtOnce) {
    Serve(L"stall.bin", Pattern(100000));
    StartScripted({"--active", "--data=stall:3000"});
    program_.WriteSetting(L"OPTION", L"PROXY_ON", L"1");
    ASSERT_TRUE(WriteBytes(Saved(L"stall.bin"), Pattern(1000)));
    const std::wstring url = ftp_.Url(L"stall.bin");
    program_.WriteList({Interrupted(url, L"100000")});
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    program_.PostCommand(IDM_DOWNLOAD);
    // The library asks for the whole file (it cannot resume ftp), so the transfer starts
    // afresh on a second session, which stalls after 3,000 bytes.
    ASSERT_TRUE(WaitUntil(
        [&] { return ftp_.Sessions().size() >= 2 && FileSize(Saved(L"stall.bin")) == 3000; },
        20000))
        << testing::PrintToString(ftp_.Sessions()) << " " << FileSize(Saved(L"stall.bin")) << " "
        << testing::PrintToString(RecordOf(0).text);
    EXPECT_LE(StopAndTimeToIdle("in the library's stalled ftp read"), 1500u);
    ListRecord record = RecordOf(0);
    EXPECT_EQ(record.state, L"4");
    EXPECT_EQ(record.text.rfind(L"DL中断：", 0), 0u) << testing::PrintToString(record.text);
    EXPECT_EQ(CountInLog(CancelLog(), url), 1u);
    EXPECT_EQ(ReadBytes(Saved(L"stall.bin")), Pattern(3000));
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 4000), 0u);

    // The same route against a server that sends the whole file: Done, byte for byte.
    ftp_.Stop();
    StartScripted({"--active"});
    const std::wstring whole = ftp_.Url(L"stall.bin");
    RunToCompletion({Interrupted(whole, L"100000")});
    ExpectDownloadedWhole(0, L"stall.bin", Pattern(100000), whole);
}

TEST_F(FtpRunTest, TenEntriesOnFiveConnectionsFinishAndTheProgramExitsCleanly) {
    program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"5");
    StartReal();
    std::vector<std::wstring> records;
    for (int i = 0; i < 10; ++i) {
        std::wstring name = L"f" + std::to_wstring(i) + L".bin";
        Serve(name, Pattern(20000 + i, i));
        records.push_back(Waiting(ftp_.Url(name)));
    }
    RunToCompletion(records);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(RecordOf(i).state, L"3") << i;
        EXPECT_EQ(ReadBytes(Saved(L"f" + std::to_wstring(i) + L".bin")), Pattern(20000 + i, i));
    }
    PostMessageW(program_.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 10000), 0u);
}
