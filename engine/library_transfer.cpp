#include "engine/library_transfer.h"

#include "base/file_io.h"
#include "base/interface_thread.h"
#include "base/owned_handle.h"
#include "engine/download_logs.h"
#include "engine/host_pause.h"
#include "engine/http_text.h"
#include "engine/internet_call.h"
#include "engine/speed_ring.h"
#include "list/download_list.h"
#include "list/row_progress.h"
#include "list/row_text.h"

#include <wininet.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kUserAgent[] = L"Velmora Downloader";
constexpr int kOpenAttempts = 5;
// Always from the server, and no second copy of every download in the browser's cache.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kStatusOk = 200;
// While a read waits for a silent server, the row's progress is shown this often.
constexpr DWORD kShowWhileWaitingMs = 500;

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle None() { return nullptr; }
    static bool Close(Handle handle) { return InternetCloseHandle(handle) != 0; }
};
using InternetHandle = OwnedHandle<InternetHandleTraits>;

// What a transfer keeps open: the library, and the request with the connection it runs on,
// and its hold on what the request shares with the library's callback.
struct OpenTransfer {
    OpenTransfer() = default;
    OpenTransfer(const OpenTransfer&) = delete;
    OpenTransfer& operator=(const OpenTransfer&) = delete;
    ~OpenTransfer();

    InternetHandle session;
    InternetHandle connection;  // only for http and https
    InternetHandle request;
    InternetCall* call = nullptr;
    DWORD silenceMs = kServerSilenceMs;  // the run's: how long a silent server is waited for
};

// Closes the request and its connection, which abandons whatever call of theirs is still
// pending, and lets go of the request's shared part.
void CloseAttempt(OpenTransfer& transfer) {
    transfer.request.Close();
    transfer.connection.Close();
    if (transfer.call != nullptr) {
        transfer.call->DropBuffer();
        transfer.call->Leave();
        transfer.call = nullptr;
    }
}

// Closes the request, then its connection, then the library. The other order lets the
// library free the inner handles with the session and hand their numbers to another
// transfer, whose handles the later closes would then take.
void CloseTransfer(OpenTransfer& transfer) {
    CloseAttempt(transfer);
    transfer.session.Close();
}

OpenTransfer::~OpenTransfer() {
    CloseTransfer(*this);
}

void Show(int row, int state, const std::wstring& text, uint32_t elapsed, const std::wstring& url,
          double size, int32_t speed = 0) {
    UpdateRow(RowUpdate{state, row, text, speed, elapsed, url, size});
}

// While a transfer waits for its host the row counts the seconds down; then it prepares again.
void ShowHostWait(int row, const std::wstring& url, double size, int secondsLeft) {
    Show(row, kPreparing, secondsLeft > 0 ? ServerWaitText(secondsLeft) : L"ダウンロード準備中",
         kNoElapsed, url, size);
}

// The end of an entry that failed: its URL in the error log, and its row in Error with the
// failure's text.
void FailEntry(ConnectionSlot& slot, int row, const std::wstring& url, const std::wstring& text,
               uint32_t elapsed, double size) {
    AppendErrorLog(slot, url);
    Show(row, kError, text, elapsed, url, size);
}

bool IsWebUrl(const std::wstring& url) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    return InternetCrackUrlW(url.c_str(), 0, 0, &parts) &&
           (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS);
}

// http and https run in the library's asynchronous mode, everything else in its blocking mode
// (see OpenThroughLibrary).
InternetHandle OpenSession(const std::wstring& url, DWORD silenceMs) {
    if (IsWebUrl(url)) {
        return InternetHandle(OpenAsyncSession(kUserAgent, silenceMs));
    }
    InternetHandle session(
        InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session) {
        SetServerPatience(session.get(), silenceMs);
    }
    return session;
}

std::wstring Part(const wchar_t* text, DWORD length) {
    return text != nullptr ? std::wstring(text, length) : std::wstring();
}

// How an open ended: one attempt's end (never kRefused), or the end of all attempts (never
// kSilent). kRefused: the server still asks to come back later past the waits' limits; the
// request stays open, its status the error.
enum class OpenEnd { kOpened, kFailed, kStopped, kSilent, kRefused };

// How an attempt whose call was waited for ended. A call that the library itself timed out
// is a silent server like one that the wait gave up on.
OpenEnd EndOfWait(InternetCall& call, CallEnd end) {
    switch (end) {
        case CallEnd::kStopped:
            return OpenEnd::kStopped;
        case CallEnd::kSilent:
            return OpenEnd::kSilent;
        case CallEnd::kCompleted:
            break;
    }
    if (call.Succeeded()) {
        return OpenEnd::kOpened;
    }
    return call.Error() == ERROR_INTERNET_TIMEOUT ? OpenEnd::kSilent : OpenEnd::kFailed;
}

// Other schemes than http and https (ftp) go through the library's one-call open, in its
// blocking mode, on the call's own thread: under Wine its asynchronous ftp does not report
// the end of every call (a refused login, a server that goes away), so a wait for it could
// only end after the minute of silence.
OpenEnd OpenThroughLibrary(OpenTransfer& transfer, const std::wstring& url,
                           const std::wstring& headers) {
    InternetCall* call = InternetCall::Make(InternetCall::Mode::kBlocking, transfer.silenceMs);
    if (call == nullptr) {
        return OpenEnd::kFailed;
    }
    transfer.call = call;
    HINTERNET session = transfer.session.get();
    CallEnd end = call->Run([call, session, url, headers] {
        call->opened =
            InternetOpenUrlW(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                             headers.empty() ? 0 : static_cast<DWORD>(-1), kOpenFlags, 0);
        return call->opened != nullptr;
    });
    OpenEnd opened = EndOfWait(*call, end);
    if (opened == OpenEnd::kOpened) {
        transfer.request = InternetHandle(std::exchange(call->opened, nullptr));
    }
    return opened;
}

// One attempt to open the URL. For http and https the request is made step by step, with the
// request's own context for the library's callback.
OpenEnd OpenOnce(OpenTransfer& transfer, const std::wstring& url, const std::wstring& headers) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!IsWebUrl(url) || !InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        return OpenThroughLibrary(transfer, url, headers);
    }
    std::wstring host = Part(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring user = Part(parts.lpszUserName, parts.dwUserNameLength);
    std::wstring password = Part(parts.lpszPassword, parts.dwPasswordLength);
    std::wstring object = Part(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    InternetHandle connection(InternetConnectW(
        transfer.session.get(), host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
        password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return OpenEnd::kFailed;
    }
    SetServerPatience(connection.get(), transfer.silenceMs);
    DWORD flags = kOpenFlags;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    }
    InternetCall* call = InternetCall::Make(InternetCall::Mode::kAsynchronous, transfer.silenceMs);
    if (call == nullptr) {
        return OpenEnd::kFailed;
    }
    InternetHandle request(HttpOpenRequestW(connection.get(), L"GET",
                                            object.empty() ? L"/" : object.c_str(), nullptr,
                                            nullptr, nullptr, flags, call->Context()));
    if (!request) {
        call->Abandon();  // the library's share: no handle was made with it
        call->Leave();
        return OpenEnd::kFailed;
    }
    call->Adopt(request.get());
    transfer.connection = std::move(connection);
    transfer.request = std::move(request);
    transfer.call = call;
    HINTERNET sent = transfer.request.get();
    return EndOfWait(*call, call->Run([&] {
        return HttpSendRequestW(sent, headers.empty() ? nullptr : headers.c_str(),
                                headers.empty() ? 0 : static_cast<DWORD>(-1), nullptr, 0);
    }));
}

// The final status after redirects, or 0 when the answer is not an HTTP one (ftp).
DWORD StatusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return 0;
    }
    return status;
}

// A response header's text, or false when the answer has none.
bool QueryHeader(HINTERNET request, DWORD query, std::wstring& text) {
    DWORD bytes = 0;
    HttpQueryInfoW(request, query, nullptr, &bytes, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) {
        return false;
    }
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
    if (!HttpQueryInfoW(request, query, buffer.data(), &bytes, nullptr)) {
        return false;
    }
    text.assign(buffer.data(), bytes / sizeof(wchar_t));
    return true;
}

// The Content-Length of the answer, or -1 without one.
double ContentLength(HINTERNET request) {
    std::wstring text;
    return QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, text) ? ContentLengthValue(text)
                                                                 : kNoSize;
}

// Up to five attempts back to back, each when its host takes a request. A stop is noticed
// before each attempt and once more after the last. A server that says nothing for a minute
// ends the attempts at once, as if all five had failed: a server that never answers holds a
// worker one minute, not five. A server that asks to come back later is asked again, with
// the same request, after the wait: that is not a failed attempt.
OpenEnd OpenWithAttempts(OpenTransfer& transfer, const std::wstring& url,
                         const std::wstring& headers, HostWait& host) {
    int attempt = 0;
    while (attempt < kOpenAttempts) {
        if (!host.AwaitTurn()) {
            return OpenEnd::kStopped;
        }
        OpenEnd end = OpenOnce(transfer, url, headers);
        if (end == OpenEnd::kOpened) {
            if (!IsComeBackLaterStatus(StatusOf(transfer.request.get()))) {
                return OpenEnd::kOpened;
            }
            std::wstring retryAfter;
            std::wstring date;
            QueryHeader(transfer.request.get(), HTTP_QUERY_RETRY_AFTER, retryAfter);
            QueryHeader(transfer.request.get(), HTTP_QUERY_DATE, date);
            if (!host.AskAgainAfterRefusal(retryAfter, date)) {
                return OpenEnd::kRefused;
            }
            CloseAttempt(transfer);
            continue;
        }
        if (end == OpenEnd::kStopped) {
            return OpenEnd::kStopped;
        }
        CloseAttempt(transfer);
        if (end == OpenEnd::kSilent) {
            break;
        }
        ++attempt;
    }
    return gRunStop.IsSet() ? OpenEnd::kStopped : OpenEnd::kFailed;
}

enum class ReadEnd { kData, kEnd, kFailed, kStopped };

// How a read's waited call ended: kData when it succeeded and the read goes on.
ReadEnd EndOfReadCall(InternetCall& call, CallEnd end) {
    if (end == CallEnd::kStopped) {
        return ReadEnd::kStopped;
    }
    return end == CallEnd::kSilent || !call.Succeeded() ? ReadEnd::kFailed : ReadEnd::kData;
}

// A read in the blocking mode (ftp): the library's ftp read waits to fill what it is asked
// for, so it is asked for what its query says has arrived. With nothing reported one byte is
// asked for, since the library may report nothing before the data has ended: kEnd only at
// the end of the data.
ReadEnd ReadBlocking(HINTERNET request, InternetCall& call, DWORD size, DWORD& received) {
    DWORD* available = &call.Available();
    *available = 0;
    CallEnd end = call.Run(
        [request, available] { return InternetQueryDataAvailable(request, available, 0, 0); });
    if (ReadEnd failed = EndOfReadCall(call, end); failed != ReadEnd::kData) {
        return failed;
    }
    DWORD wanted = std::min(std::max<DWORD>(*available, 1), call.RoomAfter(0, size));
    char* buffer = call.Buffer();
    DWORD* got = &call.Received();
    *got = 0;
    end = call.Run(
        [request, buffer, wanted, got] { return InternetReadFile(request, buffer, wanted, got); });
    if (ReadEnd failed = EndOfReadCall(call, end); failed != ReadEnd::kData) {
        return failed;
    }
    received = *got;
    return received > 0 ? ReadEnd::kData : ReadEnd::kEnd;
}

// Takes everything the library has now, up to size bytes, into the call's buffer, and waits,
// with the stop, only while it has nothing: a slow transfer hands on each piece as it comes,
// a fast one fills the buffer. A minute without data is a failure (a line error).
//
// The reads do not wait (IRF_NO_WAIT), which also lets the library hand over straight from
// the connection what has arrived rather than through its own small buffer. A read that
// finds nothing is left pending: the library waits for data without taking any, and the
// next read, after waiting for it, takes the data. A read that finds nothing and is not left
// pending is the end of the data or a library that does not wait in that case; its query
// waits for data and reports none only at the end.
ReadEnd ReadAvailable(HINTERNET request, InternetCall& call, DWORD size, DWORD& received) {
    received = 0;
    if (call.mode() == InternetCall::Mode::kBlocking) {
        return ReadBlocking(request, call, size, received);
    }
    for (;;) {
        if (call.pending) {
            if (received > 0) {
                return ReadEnd::kData;
            }
            CallEnd end = call.Await();
            if (ReadEnd failed = EndOfReadCall(call, end); failed != ReadEnd::kData) {
                return failed;
            }
        }
        if (received == size) {
            return ReadEnd::kData;
        }
        DWORD room = call.RoomAfter(received, size);
        INTERNET_BUFFERSW& buffers = call.Buffers();
        buffers = {};
        buffers.dwStructSize = sizeof buffers;
        buffers.lpvBuffer = call.Buffer() + received;
        buffers.dwBufferLength = room;
        if (InternetReadFileExW(request, &buffers, IRF_NO_WAIT, call.Context())) {
            if (buffers.dwBufferLength > 0) {
                received += buffers.dwBufferLength;
                if (buffers.dwBufferLength < room) {
                    return ReadEnd::kData;  // it took all there was: no need to ask again
                }
                continue;
            }
            if (received > 0) {
                return ReadEnd::kData;
            }
            DWORD* available = &call.Available();
            *available = 0;
            CallEnd end = call.Run([request, available] {
                return InternetQueryDataAvailable(request, available, 0, 0);
            });
            if (ReadEnd failed = EndOfReadCall(call, end); failed != ReadEnd::kData) {
                return failed;
            }
            if (*available == 0) {
                return ReadEnd::kEnd;
            }
            continue;
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            return received > 0 ? ReadEnd::kData : ReadEnd::kFailed;
        }
        call.pending = true;
    }
}

struct ReadResult {
    double downloaded;
    uint32_t elapsed;
    bool readFailed;   // the connection broke or timed out: not the end of the data
    bool writeFailed;  // the save file took less than it was given (a full disk)
};

// Reads the answer into the file until its data ends, a read fails or a stop is asked for,
// showing the progress as it goes.
ReadResult ReadIntoFile(HINTERNET request, InternetCall& call, HANDLE file, int row,
                        const std::wstring& url, double downloaded, double total,
                        ConnectionSlot& slot) {
    ReadResult result = {downloaded, 0, false, false};
    if (gRunStop.IsSet()) {
        return result;
    }
    SpeedRing ring;
    DWORD start = GetTickCount();
    DWORD chunk = static_cast<DWORD>(slot.bufferBytes);
    // The row shows the transfer's progress at most every half second (UpdateRow), here
    // before each read and while a read waits for the server.
    auto showProgress = [&] {
        result.elapsed = GetTickCount() - start;
        Show(row, kDownloading, FormatProgressText(result.downloaded, total), result.elapsed, url,
             total, ring.NextSpeed());
    };
    DWORD shownWhileWaiting = GetTickCount();
    call.whileWaiting = [&] {
        if (GetTickCount() - shownWhileWaiting >= kShowWhileWaitingMs) {
            shownWhileWaiting = GetTickCount();
            showProgress();
        }
    };
    do {
        showProgress();
        DWORD received = 0;
        ReadEnd end = ReadAvailable(request, call, chunk, received);
        if (end == ReadEnd::kStopped || end == ReadEnd::kEnd) {
            break;
        }
        if (end == ReadEnd::kFailed) {
            result.readFailed = true;
            break;
        }
        if (!WriteAll(file, std::string_view(call.Buffer(), received))) {
            result.writeFailed = true;
            break;
        }
        result.downloaded += received;
        ring.Count(result.elapsed, received);
    } while (!gRunStop.IsSet());
    call.whileWaiting = nullptr;
    return result;
}

// The one outcome of a transfer that reached its read loop.
void Finish(int row, const std::wstring& url, ConnectionSlot& slot, const ReadResult& read,
            double total) {
    bool stopped = gRunStop.IsSet();
    if (!stopped && !read.writeFailed && !read.readFailed && total <= read.downloaded) {
        AppendDownloadLog(slot, url);
        UpdateRowWithTotal(
            RowUpdate{kDone, row, L"ダウンロード完了", 0, read.elapsed, url, read.downloaded},
            read.downloaded);
        return;
    }
    // Every other end keeps the partial file, and with it the total it belongs to, if known.
    if (total != kNoSize) {
        StoreTotalSize(row, total);
    }
    if (stopped) {
        AppendCancelLog(slot, url);
        Show(row, kInterrupted, FormatInterruptedText(read.downloaded, total), read.elapsed, url,
             total);
    } else if (read.writeFailed) {
        FailEntry(slot, row, url, L"ファイルの保存に失敗", read.elapsed, total);
    } else {
        FailEntry(slot, row, url, FormatLineErrorText(read.downloaded, total), read.elapsed, total);
    }
}

// What identifies the version of the file in this answer, for a later resume; empty for an
// answer without one (and for ftp).
std::wstring ValidatorOf(HINTERNET request) {
    std::wstring etag;
    std::wstring lastModified;
    QueryHeader(request, HTTP_QUERY_ETAG, etag);
    QueryHeader(request, HTTP_QUERY_LAST_MODIFIED, lastModified);
    return ResumeValidator(etag, lastModified);
}

// Whether the answer to a Range request continues the partial file: a 206 whose range starts
// where the file ends and that agrees with the stored total. The range itself is the server's
// word that it takes ranges, so no Accept-Ranges line is needed (servers send that line with
// their 200 answers, not always with 206). Anything else is downloaded afresh.
bool AnswerContinuesFile(HINTERNET request, double offset, double expected, double& total) {
    double length = ContentLength(request);
    if (length != kNoSize) {
        total = length + offset;
        if (expected != kNoSize && total != expected) {
            return false;
        }
    } else {
        total = expected;
    }
    std::wstring range;
    QueryHeader(request, HTTP_QUERY_CONTENT_RANGE, range);
    return ResumeContinuesFile(StatusOf(request), range, static_cast<int64_t>(offset), expected);
}

// Reads an opened answer into the emptied save file from its first byte and ends the
// transfer. The answer's validator is kept with the entry once the file is empty and before
// any of its bytes are written, so a kill at any moment leaves a validator that is either
// this answer's or an older one, which a resume's If-Range then refuses.
void ReadAnswerIntoEmptiedFile(int row, const std::wstring& url, FileHandle& file,
                               OpenTransfer& transfer, ConnectionSlot& slot) {
    HINTERNET request = transfer.request.get();
    std::wstring validator = ValidatorOf(request);
    double total = ContentLength(request);
    // In the same crossing to the interface thread, the row shows the download begun.
    RunOnInterfaceThread([&] {
        StoreResumeValidator(row, validator);
        Show(row, kDownloading, FormatProgressText(0, total), 0, url, total);
    });
    ReadResult read = ReadIntoFile(request, *transfer.call, file.get(), row, url, 0, total, slot);
    CloseTransfer(transfer);
    file.Close();
    Finish(row, url, slot, read, total);
}

}  // namespace

void LibraryDownload(const TransferEntry& entry, ConnectionSlot& slot) {
    int row = entry.row;
    const std::wstring& url = entry.url;
    // The file is opened, not truncated: a good copy from an earlier download stays whole
    // until the server's answer is known to be the file.
    FileHandle file = OpenSaveFile(entry.savePath, OPEN_ALWAYS);
    if (!file) {
        FailEntry(slot, row, url, L"ファイルの保存に失敗", kNoElapsed, kNoSize);
        return;
    }
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // Only a file this transfer created goes when it fails before any data.
    auto discardFile = [&] {
        file.Close();
        if (!existed) {
            DeleteFileW(entry.savePath.c_str());
        }
    };

    OpenTransfer transfer;
    transfer.silenceMs = slot.inputs->silenceMs;
    transfer.session = OpenSession(url, transfer.silenceMs);
    if (!transfer.session) {
        discardFile();
        FailEntry(slot, row, url, L"ダウンロードの準備に失敗", kNoElapsed, kNoSize);
        return;
    }
    Show(row, kPreparing, L"ダウンロード準備中", kNoElapsed, url, kNoSize);
    // The Referer as it stood at the claim, however long: it is sent whole.
    std::wstring headers = FreshRequestHeaders(entry.referer.on, entry.referer.text);
    HostWait host(slot.hosts, url, [&](int left) { ShowHostWait(row, url, kNoSize, left); });
    switch (OpenWithAttempts(transfer, url, headers, host)) {
        case OpenEnd::kStopped:
            discardFile();
            Show(row, kStandby, kStandbyText, kNoElapsed, url, kNoSize);
            return;
        case OpenEnd::kSilent:  // the attempts never end so: a silent server is a failure
        case OpenEnd::kFailed:
            discardFile();
            FailEntry(slot, row, url, L"URLのオープンに失敗", kNoElapsed, kNoSize);
            return;
        case OpenEnd::kRefused:  // its status ends it below
        case OpenEnd::kOpened:
            break;
    }
    // An error page is not the file: nothing of it is kept.
    DWORD status = StatusOf(transfer.request.get());
    if (IsHttpErrorStatus(status)) {
        discardFile();
        FailEntry(slot, row, url, HttpErrorText(status), kNoElapsed, kNoSize);
        return;
    }
    if (!TruncateFile(file.get())) {
        discardFile();
        FailEntry(slot, row, url, L"ファイルの保存に失敗", kNoElapsed, kNoSize);
        return;
    }
    ReadAnswerIntoEmptiedFile(row, url, file, transfer, slot);
}

void LibraryResume(const TransferEntry& entry, ConnectionSlot& slot) {
    int row = entry.row;
    const std::wstring& url = entry.url;
    FileHandle file = OpenSaveFile(entry.savePath, OPEN_EXISTING);
    int64_t size = 0;
    if (!file || !ResumableSize(file.get(), size)) {
        file.Close();
        LibraryDownload(entry, slot);
        return;
    }
    double offset = static_cast<double>(size);
    double expected = entry.total;
    const std::wstring& validator = entry.validator;

    OpenTransfer transfer;
    transfer.silenceMs = slot.inputs->silenceMs;
    transfer.session = OpenSession(url, transfer.silenceMs);
    if (!transfer.session) {
        FailEntry(slot, row, url, L"ダウンロードの準備に失敗", kNoElapsed, expected);
        return;
    }
    Show(row, kPreparing, L"ダウンロード準備中", kNoElapsed, url, expected);
    std::wstring headers =
        ResumeRequestHeaders(size, validator, entry.referer.on, entry.referer.text);
    HostWait host(slot.hosts, url, [&](int left) { ShowHostWait(row, url, expected, left); });
    switch (OpenWithAttempts(transfer, url, headers, host)) {
        case OpenEnd::kStopped:
            file.Close();
            AppendCancelLog(slot, url);
            Show(row, kInterrupted, FormatInterruptedText(offset, expected), kNoElapsed, url,
                 expected);
            return;
        case OpenEnd::kSilent:  // the attempts never end so: a silent server is a failure
        case OpenEnd::kFailed:
            FailEntry(slot, row, url, L"URLのオープンに失敗", kNoElapsed, expected);
            return;
        case OpenEnd::kRefused:
            // Not downloaded afresh: the server would refuse that the same way.
            FailEntry(slot, row, url, HttpErrorText(StatusOf(transfer.request.get())), kNoElapsed,
                      expected);
            return;
        case OpenEnd::kOpened:
            break;
    }
    // With If-Range, a 200 is the server saying that its file is no longer the one the
    // partial file began: this answer is the whole new file, written from the start.
    if (!validator.empty() && StatusOf(transfer.request.get()) == kStatusOk) {
        if (!TruncateFile(file.get())) {
            CloseTransfer(transfer);
            file.Close();
            FailEntry(slot, row, url, L"ファイルの保存に失敗", kNoElapsed, expected);
            return;
        }
        ReadAnswerIntoEmptiedFile(row, url, file, transfer, slot);
        return;
    }
    double total = kNoSize;
    if (!AnswerContinuesFile(transfer.request.get(), offset, expected, total) ||
        !SeekToEnd(file.get())) {
        CloseTransfer(transfer);
        file.Close();
        LibraryDownload(entry, slot);
        return;
    }
    ReadResult read = ReadIntoFile(transfer.request.get(), *transfer.call, file.get(), row, url,
                                   offset, total, slot);
    CloseTransfer(transfer);
    file.Close();
    Finish(row, url, slot, read, total);
}

void AllowConnectionsPerServer(int count) {
    // The library's own limits are 2 (HTTP/1.1) and 4 (HTTP/1.0) connections per server.
    DWORD connections = std::max<DWORD>(static_cast<DWORD>(count), 4);
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                       sizeof connections);
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                       sizeof connections);
}
