#include "engine/http_transfer.h"

#include "app/owned_handle.h"
#include "app/settings.h"
#include "app/window_ids.h"
#include "bars/path_bar_text.h"
#include "engine/download_logs.h"
#include "engine/ftp_transfer.h"
#include "engine/http_text.h"
#include "engine/speed_ring.h"
#include "list/download_list.h"
#include "list/row_progress.h"
#include "list/row_text.h"

#include <wininet.h>

#include <algorithm>
#include <vector>

namespace {

constexpr wchar_t kUserAgent[] = L"Velmora Downloader";
// Bounds how long a read from a server that sends nothing delays a stop.
constexpr DWORD kReceiveTimeoutMs = 2000;
constexpr int kOpenAttempts = 5;
// Always from the server, and no second copy of every download in the browser's cache.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr double kNoSize = -1;
// Reads start at the library's own buffer size and adapt to the transfer's pace.
constexpr DWORD kFirstReadBytes = 8192;
constexpr DWORD kQuickReadMs = 50;
constexpr DWORD kSlowReadMs = 200;
// A partial file larger than this (2^52 bytes) is not resumed: its size would not survive
// the double that carries byte counts.
constexpr LONG kLargestResumableHighPart = 0xFFFFF;

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle None() { return nullptr; }
    static bool Close(Handle handle) { return InternetCloseHandle(handle) != 0; }
};
using InternetHandle = OwnedHandle<InternetHandleTraits>;

// What a transfer keeps open: the library, and the request with the connection it runs on.
// Declared in this order so that they are destroyed request first.
struct OpenTransfer {
    InternetHandle session;
    InternetHandle connection;  // only for http and https
    InternetHandle request;
};

// Closes the request, then its connection, then the library. The other order lets the
// library free the inner handles with the session and hand their numbers to another
// transfer, whose handles the later closes would then take.
void CloseTransfer(OpenTransfer& transfer) {
    transfer.request.Close();
    transfer.connection.Close();
    transfer.session.Close();
}

void Show(int row, int state, const std::wstring& text, uint32_t elapsed, const std::wstring& url,
          double size, int32_t speed = 0) {
    UpdateRow(RowUpdate{state, row, text, speed, elapsed, url, size});
}

void SetReceiveTimeout(HINTERNET handle) {
    DWORD timeout = kReceiveTimeoutMs;
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
}

InternetHandle OpenSession() {
    InternetHandle session(
        InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session) {
        SetReceiveTimeout(session.get());
    }
    return session;
}

std::wstring Part(const wchar_t* text, DWORD length) {
    return text != nullptr ? std::wstring(text, length) : std::wstring();
}

// One attempt to open the URL. For http and https the request is made step by step, so the
// receive time-out can be set on the request itself: some library versions do not pass the
// session's time-out on to requests, and a stalled server would then hold a stop forever.
// Other schemes go through the library's one-call open.
bool OpenOnce(OpenTransfer& transfer, const std::wstring& url, const std::wstring& headers) {
    const wchar_t* extraHeaders = headers.empty() ? nullptr : headers.c_str();
    DWORD headersLength = headers.empty() ? 0 : static_cast<DWORD>(-1);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    bool web = InternetCrackUrlW(url.c_str(), 0, 0, &parts) &&
               (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS);
    if (!web) {
        transfer.request = InternetHandle(InternetOpenUrlW(
            transfer.session.get(), url.c_str(), extraHeaders, headersLength, kOpenFlags, 0));
        return static_cast<bool>(transfer.request);
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
        return false;
    }
    DWORD flags = kOpenFlags;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    }
    InternetHandle request(HttpOpenRequestW(connection.get(), L"GET",
                                            object.empty() ? L"/" : object.c_str(), nullptr,
                                            nullptr, nullptr, flags, 0));
    if (!request) {
        return false;
    }
    SetReceiveTimeout(request.get());
    if (!HttpSendRequestW(request.get(), extraHeaders, headersLength, nullptr, 0)) {
        return false;
    }
    transfer.connection = std::move(connection);
    transfer.request = std::move(request);
    return true;
}

enum class OpenResult { kOpened, kStopped, kFailed };

// Up to five attempts back to back. A stop is noticed before each attempt and once more
// after the last.
OpenResult OpenWithAttempts(OpenTransfer& transfer, const std::wstring& url,
                            const std::wstring& headers) {
    for (int attempt = 0; attempt < kOpenAttempts && !transfer.request; ++attempt) {
        if (gStopFlag) {
            return OpenResult::kStopped;
        }
        OpenOnce(transfer, url, headers);
    }
    if (gStopFlag) {
        return OpenResult::kStopped;
    }
    return transfer.request ? OpenResult::kOpened : OpenResult::kFailed;
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

bool WriteAll(HANDLE file, const char* bytes, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, count, &written, nullptr) || written == 0) {
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

// Reads up to size bytes once data is there. The read waits until size bytes have come (or
// the data ends); a read that then times out or breaks loses what it had gathered, so the
// caller keeps size to a fraction of a second of data. With nothing there yet, one byte is
// waited for, since the library may report nothing before the data has ended. Received 0
// only at the end of the data.
bool ReadChunk(HINTERNET request, void* buffer, DWORD size, DWORD& received) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
        return false;
    }
    return InternetReadFile(request, buffer, available == 0 ? 1 : size, &received) != 0;
}

// The size of the next read: doubled while reads fill quickly, halved when one takes long,
// so a fast transfer moves in large reads and a slow one never holds up a stop or loses
// much to a broken connection.
DWORD NextReadSize(DWORD size, DWORD received, DWORD tookMs, DWORD largest) {
    if (received == size && tookMs < kQuickReadMs) {
        return std::min(size * 2, largest);
    }
    if (tookMs > kSlowReadMs) {
        return std::max(size / 2, std::min(kFirstReadBytes, largest));
    }
    return size;
}

struct ReadResult {
    double downloaded;
    uint32_t elapsed;
    bool readFailed;   // the connection broke or timed out: not the end of the data
    bool writeFailed;  // the save file took less than it was given (a full disk)
};

// Reads the answer into the file until its data ends, a read fails or a stop is asked for,
// showing the progress as it goes.
ReadResult ReadIntoFile(HINTERNET request, HANDLE file, int row, const std::wstring& url,
                        double downloaded, double total, ConnectionSlot& slot) {
    ReadResult result = {downloaded, 0, false, false};
    if (gStopFlag) {
        return result;
    }
    SpeedRing ring;
    DWORD start = GetTickCount();
    DWORD chunk = static_cast<DWORD>(slot.bufferBytes);
    DWORD readSize = std::min(kFirstReadBytes, chunk);
    do {
        std::wstring text = FormatProgressText(result.downloaded, total);
        result.elapsed = GetTickCount() - start;
        int32_t speed = ring.NextSpeed();
        Show(row, kDownloading, text, result.elapsed, url, total, speed);
        DWORD received = 0;
        DWORD readStart = GetTickCount();
        if (!ReadChunk(request, slot.buffer, readSize, received)) {
            result.readFailed = true;
            break;
        }
        readSize = NextReadSize(readSize, received, GetTickCount() - readStart, chunk);
        if (received == 0) {
            break;
        }
        if (!WriteAll(file, static_cast<const char*>(slot.buffer), received)) {
            result.writeFailed = true;
            break;
        }
        result.downloaded += received;
        ring.Count(result.elapsed, received);
    } while (!gStopFlag);
    return result;
}

// The one outcome of a transfer that reached its read loop.
void Finish(int row, const std::wstring& url, ConnectionSlot& slot, const ReadResult& read,
            double total) {
    if (gStopFlag) {
        if (total != kNoSize) {
            StoreTotalSize(row, total);
        }
        AppendCancelLog(slot, url);
        Show(row, kInterrupted, FormatInterruptedText(read.downloaded, total), read.elapsed, url,
             total);
    } else if (read.writeFailed) {
        if (total != kNoSize) {
            StoreTotalSize(row, total);
        }
        AppendErrorLog(slot, url);
        Show(row, kError, L"ファイルの保存に失敗", read.elapsed, url, total);
    } else if (read.readFailed || total > read.downloaded) {
        if (total != kNoSize) {
            StoreTotalSize(row, total);
        }
        AppendErrorLog(slot, url);
        Show(row, kError, FormatLineErrorText(read.downloaded, total), read.elapsed, url, total);
    } else {
        StoreTotalSize(row, read.downloaded);
        AppendDownloadLog(slot, url);
        Show(row, kDone, L"ダウンロード完了", read.elapsed, url, read.downloaded);
    }
}

// The whole text of the Referer field, however long: it is sent as it stands.
std::wstring RefererText(const ConnectionSlot& slot) {
    return ReadWholePathBarText(slot.owner, kRefererBarId);
}

bool Truncate(HANDLE file) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Whether the answer to a Range request continues the partial file: it must say that it
// takes ranges, agree with the stored total, and be a 206 whose range starts where the file
// ends. Anything else is downloaded afresh.
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
    std::wstring headers;
    if (!QueryHeader(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers) ||
        headers.find(L"Accept-Ranges: bytes") == std::wstring::npos) {
        return false;
    }
    std::wstring range;
    QueryHeader(request, HTTP_QUERY_CONTENT_RANGE, range);
    return ResumeContinuesFile(StatusOf(request), range, static_cast<int64_t>(offset), expected);
}

}  // namespace

void HttpDownload(int row, const std::wstring& url, const std::wstring& savePath,
                  ConnectionSlot& slot) {
    // The file is opened, not truncated: a good copy from an earlier download stays whole
    // until the server's answer is known to be the file.
    FileHandle file(CreateFileW(savePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (savePath.empty() || !file) {
        AppendErrorLog(slot, url);
        Show(row, kError, L"ファイルの保存に失敗", kNoElapsed, url, kNoSize);
        return;
    }
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // Only a file this transfer created goes when it fails before any data.
    auto discardFile = [&] {
        file.Close();
        if (!existed) {
            DeleteFileW(savePath.c_str());
        }
    };

    OpenTransfer transfer;
    transfer.session = OpenSession();
    if (!transfer.session) {
        discardFile();
        AppendErrorLog(slot, url);
        Show(row, kError, L"ダウンロードの準備に失敗", kNoElapsed, url, kNoSize);
        return;
    }
    Show(row, kPreparing, L"ダウンロード準備中", kNoElapsed, url, kNoSize);
    std::wstring headers = FreshRequestHeaders(gSettings.refererOn, RefererText(slot));
    switch (OpenWithAttempts(transfer, url, headers)) {
        case OpenResult::kStopped:
            discardFile();
            Show(row, kStandby, kStandbyText, kNoElapsed, url, kNoSize);
            return;
        case OpenResult::kFailed:
            discardFile();
            AppendErrorLog(slot, url);
            Show(row, kError, L"URLのオープンに失敗", kNoElapsed, url, kNoSize);
            return;
        case OpenResult::kOpened:
            break;
    }
    // An error page is not the file: nothing of it is kept.
    DWORD status = StatusOf(transfer.request.get());
    if (IsHttpErrorStatus(status)) {
        discardFile();
        AppendErrorLog(slot, url);
        Show(row, kError, HttpErrorText(status), kNoElapsed, url, kNoSize);
        return;
    }
    if (!Truncate(file.get())) {
        discardFile();
        AppendErrorLog(slot, url);
        Show(row, kError, L"ファイルの保存に失敗", kNoElapsed, url, kNoSize);
        return;
    }
    double total = ContentLength(transfer.request.get());
    ReadResult read = ReadIntoFile(transfer.request.get(), file.get(), row, url, 0, total, slot);
    CloseTransfer(transfer);
    file.Close();
    Finish(row, url, slot, read, total);
}

void HttpResume(int row, const std::wstring& url, const std::wstring& savePath,
                ConnectionSlot& slot) {
    // Through a proxy only the library reaches ftp servers; otherwise the program's own
    // client resumes with a restart offset.
    if (!gSettings.proxyOn && IsFtpUrl(url)) {
        FtpDownload(row, url, savePath, slot, FtpStart::kResume);
        return;
    }
    FileHandle file(CreateFileW(savePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (savePath.empty() || !file || !GetFileSizeEx(file.get(), &size) ||
        size.HighPart > kLargestResumableHighPart) {
        file.Close();
        HttpDownload(row, url, savePath, slot);
        return;
    }
    double offset = static_cast<double>(size.QuadPart);
    double expected = ReadTotalSize(row);

    OpenTransfer transfer;
    transfer.session = OpenSession();
    if (!transfer.session) {
        AppendErrorLog(slot, url);
        Show(row, kError, L"ダウンロードの準備に失敗", kNoElapsed, url, expected);
        return;
    }
    Show(row, kPreparing, L"ダウンロード準備中", kNoElapsed, url, expected);
    std::wstring headers =
        ResumeRequestHeaders(size.QuadPart, gSettings.refererOn, RefererText(slot));
    switch (OpenWithAttempts(transfer, url, headers)) {
        case OpenResult::kStopped:
            file.Close();
            AppendCancelLog(slot, url);
            Show(row, kInterrupted, FormatInterruptedText(offset, expected), kNoElapsed, url,
                 expected);
            return;
        case OpenResult::kFailed:
            AppendErrorLog(slot, url);
            Show(row, kError, L"URLのオープンに失敗", kNoElapsed, url, expected);
            return;
        case OpenResult::kOpened:
            break;
    }
    double total = kNoSize;
    LARGE_INTEGER end = {};
    if (!AnswerContinuesFile(transfer.request.get(), offset, expected, total) ||
        !SetFilePointerEx(file.get(), end, nullptr, FILE_END)) {
        CloseTransfer(transfer);
        file.Close();
        HttpDownload(row, url, savePath, slot);
        return;
    }
    ReadResult read =
        ReadIntoFile(transfer.request.get(), file.get(), row, url, offset, total, slot);
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
