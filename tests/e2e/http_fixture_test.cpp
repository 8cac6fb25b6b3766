// The HTTP fixture server seen from a Windows test under Wine: started and stopped from here,
// answering WinINet the way each URL asks, and recording what the client sent.
#include "tests/support/http_fixture.h"

#include "engine/http_text.h"
#include "tests/support/test_files.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// Winsock's codes, as WinINet under Wine reports them for a failed read.
constexpr DWORD kConnectionReset = 10054;
constexpr DWORD kTimedOut = 10060;

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

struct Answer {
    bool opened = false;
    DWORD status = 0;
    std::optional<std::wstring> contentLength;
    std::optional<std::wstring> contentRange;
    std::optional<std::wstring> acceptRanges;
    std::optional<std::wstring> retryAfter;
    std::optional<std::wstring> date;
    DWORD headerChars = 0;
    std::string body;
    DWORD readError = 0;  // 0 when the body ended with a clean end of data
};

std::optional<std::wstring> QueryHeader(HINTERNET request, DWORD info) {
    wchar_t value[256];
    DWORD size = sizeof value;
    if (!HttpQueryInfoW(request, info, value, &size, nullptr)) {
        return std::nullopt;
    }
    return std::wstring(value, size / sizeof(wchar_t));
}

// Reads until the end of data or a failed read, in pieces of at most `piece` bytes.
void ReadBody(HINTERNET request, Answer& answer, DWORD piece = 65536) {
    std::string buffer(piece, '\0');
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), piece, &read)) {
            answer.readError = GetLastError();
            return;
        }
        if (read == 0) {
            return;
        }
        answer.body.append(buffer.data(), read);
    }
}

Answer ReadAnswer(HINTERNET request) {
    Answer answer;
    answer.opened = true;
    DWORD size = sizeof answer.status;
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer.status, &size,
                   nullptr);
    answer.contentLength = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
    answer.contentRange = QueryHeader(request, HTTP_QUERY_CONTENT_RANGE);
    answer.acceptRanges = QueryHeader(request, HTTP_QUERY_ACCEPT_RANGES);
    answer.retryAfter = QueryHeader(request, HTTP_QUERY_RETRY_AFTER);
    answer.date = QueryHeader(request, HTTP_QUERY_DATE);
    DWORD headerBytes = 0;  // a query without a buffer reports the size it needs
    HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &headerBytes, nullptr);
    answer.headerChars = headerBytes / sizeof(wchar_t);
    ReadBody(request, answer);
    return answer;
}

InternetHandle OpenSession() {
    return InternetHandle(
        InternetOpenW(L"Velmora Downloader", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
}

Answer Fetch(HINTERNET session, const std::wstring& url, const wchar_t* headers = nullptr) {
    InternetHandle request(InternetOpenUrlW(
        session, url.c_str(), headers, headers != nullptr ? static_cast<DWORD>(-1) : 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES, 0));
    if (!request) {
        return Answer{};
    }
    return ReadAnswer(request.get());
}

// Bytes that differ from their neighbours, so a body from a wrong offset never matches.
std::string NumberedBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

class HttpFixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeFreshFolder(L"vlmr_www_");
        content_ = NumberedBytes(100000);
        ASSERT_TRUE(WriteBytes(root_ + L"data.bin", content_));
        DWORD start = GetTickCount();
        ASSERT_TRUE(server_.Start(root_)) << server_.Error();
        startMs_ = GetTickCount() - start;
        session_ = OpenSession();
        ASSERT_TRUE(session_) << "InternetOpenW failed: " << GetLastError();
    }

    void TearDown() override {
        session_.reset();
        EXPECT_TRUE(server_.Stop()) << server_.Error();
        RemoveFolder(root_);
    }

    Answer Fetch(const wchar_t* options, const wchar_t* headers = nullptr) {
        return ::Fetch(session_.get(), server_.Url(options, L"data.bin"), headers);
    }

    std::wstring root_;
    std::string content_;
    HttpFixture server_;
    DWORD startMs_ = 0;
    InternetHandle session_;
};

TEST_F(HttpFixtureTest, ServesWholeFilesAndRangesAndRecordsWhatWasSent) {
    std::cout << "fixture server start (CreateProcessW to port known): " << startMs_ << " ms\n";
    RecordProperty("http_fixture_start_ms", static_cast<int>(startMs_));

    Answer whole = Fetch(L"plain");
    ASSERT_TRUE(whole.opened);
    EXPECT_EQ(whole.status, 200u);
    EXPECT_EQ(whole.contentLength, L"100000");
    EXPECT_EQ(whole.acceptRanges, L"bytes");
    EXPECT_TRUE(whole.body == content_) << "whole file: " << whole.body.size() << " bytes";

    Answer part = Fetch(L"plain", L"Range: bytes=40000-\r\nReferer: http://referer.test/list\r\n");
    ASSERT_TRUE(part.opened);
    EXPECT_EQ(part.status, 206u);
    EXPECT_EQ(part.contentRange, L"bytes 40000-99999/100000");
    EXPECT_EQ(part.contentLength, L"60000");
    EXPECT_TRUE(part.body == content_.substr(40000)) << "range: " << part.body.size() << " bytes";

    EXPECT_EQ(Fetch(L"plain", L"Range: bytes=100000-").status, 416u);
    Answer missing = ::Fetch(session_.get(), server_.Url(L"plain", L"missing.bin"));
    EXPECT_EQ(missing.status, 404u);

    std::vector<RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/plain/data.bin");
    EXPECT_EQ(requests[0].Header("Range"), std::nullopt);
    EXPECT_EQ(requests[0].Header("host"), "127.0.0.1:" + std::to_string(server_.Port()));
    EXPECT_EQ(requests[1].Header("RANGE"), "bytes=40000-");
    EXPECT_EQ(requests[1].Header("Referer"), "http://referer.test/list");
    EXPECT_EQ(requests[1].Header("User-Agent"), "Velmora Downloader");
    EXPECT_EQ(requests[3].path, "/plain/missing.bin");
}

TEST_F(HttpFixtureTest, EachUrlOptionMisbehavesAsAsked) {
    constexpr const wchar_t* kFrom40000 = L"Range: bytes=40000-";
    constexpr size_t kWhole = static_cast<size_t>(-1);
    struct Case {
        const wchar_t* options;
        const wchar_t* headers;
        DWORD status;
        size_t bodyFrom;               // offset of the expected body in the file
        size_t bodySize;               // kWhole: to the end of the file
        const wchar_t* contentLength;  // null: no header
        const wchar_t* contentRange;
        bool acceptRanges;
    };
    const Case cases[] = {
        {L"nolength", nullptr, 200, 0, kWhole, nullptr, nullptr, true},
        {L"noranges", nullptr, 200, 0, kWhole, L"100000", nullptr, false},
        {L"ignorerange", kFrom40000, 200, 0, kWhole, L"100000", nullptr, true},
        {L"badrange=0", kFrom40000, 206, 0, kWhole, L"100000", L"bytes 0-99999/100000", true},
        {L"wrongtotal", kFrom40000, 206, 40000, kWhole, L"60000", L"bytes 40000-99999/100001",
         true},
        {L"wrongtotal=7", kFrom40000, 206, 40000, kWhole, L"60000", L"bytes 40000-99999/7", true},
        {L"drop=3000", nullptr, 200, 0, 3000, L"100000", nullptr, true},
        {L"drop=3000,noranges", kFrom40000, 206, 40000, 3000, L"60000", L"bytes 40000-99999/100000",
         false},
        {L"redirect=2,nolength", nullptr, 200, 0, kWhole, nullptr, nullptr, true},
        {L"bigheaders=3000", nullptr, 200, 0, kWhole, L"100000", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Answer answer = Fetch(c.options, c.headers);
        ASSERT_TRUE(answer.opened);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_EQ(answer.contentLength,
                  c.contentLength ? std::optional<std::wstring>(c.contentLength) : std::nullopt);
        EXPECT_EQ(answer.contentRange,
                  c.contentRange ? std::optional<std::wstring>(c.contentRange) : std::nullopt);
        EXPECT_EQ(answer.acceptRanges.has_value(), c.acceptRanges);
        EXPECT_EQ(answer.readError, 0u);
        std::string expected = content_.substr(c.bodyFrom, c.bodySize);
        EXPECT_TRUE(answer.body == expected)
            << answer.body.size() << " bytes where " << expected.size() << " were expected";
    }

    // The same headers otherwise, the date included: the difference is the filler.
    Answer big = Fetch(L"bigheaders=3000");
    Answer plain = Fetch(L"plain");
    EXPECT_EQ(big.headerChars - plain.headerChars, 3000u);

    for (const wchar_t* status : {L"404", L"500", L"503"}) {
        Answer page = Fetch((std::wstring(L"status=") + status).c_str());
        EXPECT_EQ(page.status, std::wcstoul(status, nullptr, 10));
        EXPECT_NE(page.body.find("<html>"), std::string::npos);
    }

    // A host that limits its requests: two at once from its full bucket, then refusals with
    // the Retry-After the options ask for, which WinINet hands on.
    EXPECT_EQ(Fetch(L"rate=2").status, 200u);
    EXPECT_EQ(Fetch(L"rate=2").status, 200u);
    Answer over = Fetch(L"rate=2");
    EXPECT_EQ(over.status, 429u);
    EXPECT_EQ(over.retryAfter, L"2");
    Answer unavailable = Fetch(L"rate=0,refuse=503,retryafter=7");
    EXPECT_EQ(unavailable.status, 503u);
    EXPECT_EQ(unavailable.retryAfter, L"7");
    Answer dated = Fetch(L"rate=0,retrydate");
    EXPECT_EQ(dated.status, 429u);
    int64_t now = 0;
    int64_t seconds = -1;
    ASSERT_TRUE(dated.retryAfter && dated.date && ParseHttpDate(*dated.date, now));
    EXPECT_TRUE(RetryAfterSeconds(*dated.retryAfter, now, seconds) && seconds >= 1 && seconds <= 2)
        << *dated.retryAfter << " at " << *dated.date;
    Answer bare = Fetch(L"rate=0,noretryafter");
    EXPECT_EQ(bare.status, 429u);
    EXPECT_FALSE(bare.retryAfter);
    for (DWORD status : {429u, 429u, 200u}) {
        EXPECT_EQ(Fetch(L"refusals=2").status, status);
    }

    // An aborted connection fails the read that is waiting for more (WinINet drops what it
    // held for that read), where a closed one ends it cleanly.
    Answer reset = Fetch(L"reset=3000");
    ASSERT_TRUE(reset.opened) << "the headers must arrive before the reset";
    EXPECT_EQ(reset.status, 200u);
    EXPECT_EQ(reset.readError, kConnectionReset);
    EXPECT_LE(reset.body.size(), 3000u);

    std::vector<RecordedRequest> requests = server_.Requests();
    // Each request says when it came, by the same clock as the date of the answers.
    EXPECT_NEAR(requests.back().time, static_cast<double>(now), 30.0);
    EXPECT_LE(requests.front().time, requests.back().time);
    size_t redirects = 0;
    for (const RecordedRequest& request : requests) {
        redirects += request.path.find("redirect") != std::string::npos;
    }
    EXPECT_EQ(redirects, 2u) << "two hops, each recorded";
}

TEST_F(HttpFixtureTest, StalledBodyFailsAReadWithinTheReceiveTimeoutAndSlowBodyTakesItsTime) {
    // The receive time-out is honoured under Wine only on the request's own handles, set
    // before the request is sent.
    InternetHandle connection(InternetConnectW(session_.get(), L"127.0.0.1", server_.Port(),
                                               nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_TRUE(connection);
    InternetHandle request(
        HttpOpenRequestW(connection.get(), L"GET", L"/stall=5000/data.bin", nullptr, nullptr,
                         nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    ASSERT_TRUE(request);
    DWORD timeoutMs = 1000;
    ASSERT_TRUE(InternetSetOptionW(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeoutMs,
                                   sizeof timeoutMs));
    ASSERT_TRUE(HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0));
    // Read in pieces smaller than what arrives before the stall: a read that times out loses
    // what WinINet had gathered for it (one 64 KB read here gets 0 bytes and error 10060).
    Answer stalled;
    DWORD start = GetTickCount();
    ReadBody(request.get(), stalled, 1000);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(stalled.body, content_.substr(0, 5000));
    EXPECT_EQ(stalled.readError, kTimedOut) << "a stalled body must end in a failed read";
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 5000u) << "the stalled read was not bounded by the receive time-out";

    // 20,000 bytes at 40,000 bytes/s: the first tenth leaves at once, the rest over 0.45 s.
    ASSERT_TRUE(WriteBytes(root_ + L"small.bin", content_.substr(0, 20000)));
    start = GetTickCount();
    Answer slow = ::Fetch(session_.get(), server_.Url(L"slow=40000", L"small.bin"));
    elapsed = GetTickCount() - start;
    EXPECT_EQ(slow.body.size(), 20000u);
    EXPECT_GE(elapsed, 400u) << "the paced body came too fast";
}

TEST(HttpFixtureProcess, StopsWhileAClientWaitsAndMovesWithoutStopping) {
    std::wstring root = MakeFreshFolder(L"vlmr_www_");
    ASSERT_TRUE(WriteBytes(root + L"data.bin", NumberedBytes(1000)));
    HttpFixture server;
    ASSERT_TRUE(server.Start(root)) << server.Error();

    HttpFixture moved(std::move(server));
    EXPECT_FALSE(server.Running());
    ASSERT_TRUE(moved.Running());
    InternetHandle session = OpenSession();
    EXPECT_EQ(Fetch(session.get(), moved.Url(L"", L"data.bin")).status, 200u)
        << "the moved-from owner stopped the server";

    // A client held by a stalled body, without a receive time-out, must not hold the server.
    InternetHandle stalled(InternetOpenUrlW(session.get(),
                                            moved.Url(L"stall=100", L"data.bin").c_str(), nullptr,
                                            0, INTERNET_FLAG_RELOAD, 0));
    ASSERT_TRUE(stalled);
    char buffer[100];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(stalled.get(), buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 100u);
    unsigned short port = moved.Port();
    DWORD start = GetTickCount();
    EXPECT_TRUE(moved.Stop()) << moved.Error();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_FALSE(moved.Running());
    BOOL more = InternetReadFile(stalled.get(), buffer, sizeof buffer, &read);
    EXPECT_TRUE(!more || read == 0) << "the stalled body went on after the server stopped";

    InternetHandle fresh = OpenSession();
    std::wstring oldUrl = L"http://127.0.0.1:" + std::to_wstring(port) + L"/plain/data.bin";
    EXPECT_FALSE(Fetch(fresh.get(), oldUrl).opened) << "something still answers on the old port";

    // A server that cannot start says why, in its own words.
    HttpFixture failing;
    EXPECT_FALSE(failing.Start(root + L"missing"));
    EXPECT_NE(failing.Error().find("does not exist"), std::string::npos) << failing.Error();
    EXPECT_FALSE(failing.Running());
    RemoveFolder(root);
}

}  // namespace
