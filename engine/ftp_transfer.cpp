#include "engine/ftp_transfer.h"

#include "app/owned_handle.h"
#include "engine/download_logs.h"
#include "engine/ftp_text.h"
#include "engine/http_transfer.h"
#include "engine/speed_ring.h"
#include "list/download_list.h"
#include "list/row_progress.h"
#include "list/row_text.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>

namespace {

constexpr DWORD kCommandPauseMs = 500;
constexpr DWORD kPollMs = 250;
constexpr int kReplyPolls = 10;  // 2.5 s for a reply
// A data connection that brings nothing for this long is given up.
constexpr DWORD kDataSilenceLimitMs = 60000;
constexpr size_t kReplyChunkBytes = 2047;
// A reply line longer than this is cut; nothing the client reads needs more.
constexpr size_t kLongestReplyLine = 4096;
constexpr double kNoSize = -1;

struct SocketTraits {
    using Handle = SOCKET;
    static Handle None() { return INVALID_SOCKET; }
    static bool Close(Handle handle) { return closesocket(handle) == 0; }
};
using Socket = OwnedHandle<SocketTraits>;

// Shared by the transfer, its data receiver and (for opening it) the control reader.
struct FtpDataBlock {
    std::atomic<SOCKET> socket{INVALID_SOCKET};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> ok{1};
    std::atomic<DWORD> lastDataTick{0};
    HANDLE file = INVALID_HANDLE_VALUE;
    bool truncateFirst = false;  // a fresh transfer empties the file only when data comes
    std::atomic<double> downloaded{0};
    std::atomic<uint32_t> elapsed{kNoElapsed};
    int row = 0;
    double expected = kNoSize;
    const std::wstring* url = nullptr;
    char* buffer = nullptr;
    size_t bufferBytes = 0;
    sockaddr_in server = {};  // the control connection's peer: data comes from there too
    HANDLE thread = nullptr;
};

// Shared by the transfer and its control reader.
struct FtpControlBlock {
    SOCKET socket = INVALID_SOCKET;
    std::atomic<int32_t> reply{0};
    std::atomic<int32_t> alive{1};
    std::atomic<int32_t> refused{0};   // a 4xx or 5xx reply came
    std::atomic<int32_t> complete{0};  // the server said the transfer has ended (226, 250)
    FtpDataBlock* data = nullptr;
};

void Show(const FtpDataBlock& data, int state, const std::wstring& text, int32_t speed,
          uint32_t elapsed, double size) {
    UpdateRow(RowUpdate{state, data.row, text, speed, elapsed, *data.url, size});
}

DWORD WINAPI FtpDataReceiver(LPVOID parameter) {
    auto& data = *static_cast<FtpDataBlock*>(parameter);
    SpeedRing ring;
    DWORD start = 0;
    uint32_t elapsed = 0;
    bool first = true;
    int chunk = static_cast<int>(std::min<size_t>(data.bufferBytes, 1 << 30));
    for (;;) {
        int received = recv(data.socket, data.buffer, chunk, 0);
        if (received <= 0) {
            if (received < 0) {
                data.ok = 0;
            }
            break;
        }
        data.lastDataTick = GetTickCount();
        if (first) {
            start = GetTickCount();
            first = false;
            if (data.truncateFirst) {
                LARGE_INTEGER zero = {};
                SetFilePointerEx(data.file, zero, nullptr, FILE_BEGIN);
                SetEndOfFile(data.file);
            }
        }
        DWORD written = 0;
        if (!WriteFile(data.file, data.buffer, static_cast<DWORD>(received), &written, nullptr) ||
            written != static_cast<DWORD>(received)) {
            data.ok = 0;  // a full disk: the file is not what the server sent
            break;
        }
        data.downloaded = data.downloaded + written;
        ring.Count(elapsed, written);
        int32_t speed = ring.NextSpeed();
        elapsed = GetTickCount() - start;
        data.elapsed = elapsed;
        Show(data, kDownloading, FormatProgressText(data.downloaded, kNoSize), speed, elapsed,
             data.expected);
    }
    data.running = 0;
    return 0;
}

// Connects a data socket to the server's address at the port of the passive reply and starts
// the receiver on it.
bool FtpOpenDataConnection(FtpDataBlock& data, const std::string& reply) {
    uint16_t port = 0;
    if (!ParsePassivePort(reply, port)) {
        return false;
    }
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return false;
    }
    sockaddr_in address = data.server;
    address.sin_port = htons(port);
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(socket);
        return false;
    }
    data.socket = socket;
    data.lastDataTick = GetTickCount();
    data.running = 1;
    data.thread = CreateThread(nullptr, 0, FtpDataReceiver, &data, 0, nullptr);
    if (data.thread == nullptr) {
        data.running = 0;
        return false;
    }
    return true;
}

// Reads the control connection's replies line by line until the connection ends, a request
// is refused, or the data connection cannot be opened.
DWORD WINAPI FtpControlReader(LPVOID parameter) {
    auto& control = *static_cast<FtpControlBlock*>(parameter);
    std::string line;
    char chunk[kReplyChunkBytes + 1];
    bool go = true;
    while (go) {
        int received = recv(control.socket, chunk, static_cast<int>(kReplyChunkBytes), 0);
        if (received <= 0) {
            break;
        }
        for (int i = 0; i < received && go; ++i) {
            if (chunk[i] != '\n') {
                if (line.size() < kLongestReplyLine) {
                    line += chunk[i];
                }
                continue;
            }
            switch (ClassifyFtpReply(line)) {
                case FtpReplyKind::kPassive:
                    go = FtpOpenDataConnection(*control.data, line);
                    break;
                case FtpReplyKind::kRefused:
                    control.refused = 1;
                    go = false;
                    break;
                case FtpReplyKind::kComplete:
                    control.complete = 1;
                    break;
                case FtpReplyKind::kOther:
                    break;
            }
            line.clear();
        }
        if (go) {
            control.reply = 1;
        }
    }
    control.reply = 1;
    control.alive = 0;
    return 0;
}

// Polls every 250 ms, at most polls times, until done() holds.
template <typename Condition>
bool PollUntil(int polls, Condition done) {
    for (int i = 0; i < polls; ++i) {
        if (done()) {
            return true;
        }
        Sleep(kPollMs);
    }
    return done();
}

bool SendAll(SOCKET socket, const std::string& text) {
    return send(socket, text.data(), static_cast<int>(text.size()), 0) ==
           static_cast<int>(text.size());
}

void ShutDown(SOCKET socket) {
    if (socket != INVALID_SOCKET) {
        shutdown(socket, SD_BOTH);
    }
}

// Connects to the host as an address or, failing that, to each IPv4 address of its name.
bool ConnectControl(Socket& control, const FtpTarget& target, sockaddr_in& peer) {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (target.host.empty() || getaddrinfo(target.host.c_str(), nullptr, &hints, &found) != 0) {
        return false;
    }
    bool connected = false;
    for (addrinfo* entry = found; entry != nullptr && !connected; entry = entry->ai_next) {
        sockaddr_in address = *reinterpret_cast<sockaddr_in*>(entry->ai_addr);
        address.sin_port = htons(target.port);
        if (connect(control.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            peer = address;
            connected = true;
        }
    }
    freeaddrinfo(found);
    return connected;
}

// The threads of one transfer and what they share. Whatever way the transfer ends, both
// sockets are shut and both threads have ended before the file is closed.
class FtpSession {
public:
    FtpSession(FtpControlBlock& control, FtpDataBlock& data) : control_(control), data_(data) {}
    ~FtpSession() { End(); }
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    bool StartReader(Socket&& socket) {
        socket_ = std::move(socket);
        control_.socket = socket_.get();
        reader_ = CreateThread(nullptr, 0, FtpControlReader, &control_, 0, nullptr);
        return reader_ != nullptr;
    }

    // Shuts the control connection first (the reader may still be opening the data
    // connection), then the data connection, and waits for both threads.
    void End() {
        ShutDown(socket_.get());
        Join(reader_);
        ShutDown(data_.socket);
        Join(data_.thread);
        socket_.Close();
        if (data_.socket != INVALID_SOCKET) {
            closesocket(data_.socket);
            data_.socket = INVALID_SOCKET;
        }
    }

private:
    static void Join(HANDLE& thread) {
        if (thread != nullptr) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            thread = nullptr;
        }
    }

    FtpControlBlock& control_;
    FtpDataBlock& data_;
    Socket socket_;
    HANDLE reader_ = nullptr;
};

// One command after the pause, then up to 2.5 s for its reply (or for until()).
template <typename Condition>
bool Command(FtpControlBlock& control, SOCKET socket, const std::string& text, Condition until) {
    Sleep(kCommandPauseMs);
    control.reply = 0;
    if (!SendAll(socket, text)) {
        return false;
    }
    PollUntil(kReplyPolls, [&] { return until() || !control.alive; });
    return true;
}

void FtpFallback(int row, const std::wstring& url, const std::wstring& savePath,
                 ConnectionSlot& slot, FtpStart start) {
    if (start == FtpStart::kResume) {
        FtpDownload(row, url, savePath, slot, FtpStart::kFresh);
    } else {
        HttpDownload(row, url, savePath, slot);
    }
}

enum class FtpOutcome { kDone, kStopped, kFallBack };

// The dialogue and the wait for the data; the file is open and the session holds nothing yet.
FtpOutcome Converse(FtpSession& session, FtpControlBlock& control, FtpDataBlock& data,
                    const FtpTarget& target, FtpStart start) {
    Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket || !ConnectControl(socket, target, data.server)) {
        return FtpOutcome::kFallBack;
    }
    SOCKET controlSocket = socket.get();
    if (!session.StartReader(std::move(socket))) {
        return FtpOutcome::kFallBack;
    }
    auto replied = [&] { return control.reply != 0; };
    PollUntil(kReplyPolls, [&] { return replied() || !control.alive; });  // the greeting
    for (const char* text : {"USER anonymous\r\n", "PASS \r\n", "TYPE I\r\n"}) {
        if (!control.alive || !Command(control, controlSocket, text, replied)) {
            return FtpOutcome::kFallBack;
        }
    }
    if (!control.alive || !Command(control, controlSocket, "PASV\r\n",
                                   [&] { return replied() && data.running != 0; })) {
        return FtpOutcome::kFallBack;
    }
    if (start == FtpStart::kResume && control.alive && data.running &&
        !Command(control, controlSocket, RestCommand(data.downloaded), replied)) {
        return FtpOutcome::kFallBack;
    }
    if (!control.alive || !data.running) {
        return FtpOutcome::kFallBack;
    }
    Sleep(kCommandPauseMs);
    LARGE_INTEGER end = {};
    SetFilePointerEx(data.file, end, nullptr, FILE_END);
    data.lastDataTick = GetTickCount();
    if (!SendAll(controlSocket, RetrCommand(target.path))) {
        return FtpOutcome::kFallBack;
    }
    // The stop is looked at only from here on: the dialogue before is short and bounded.
    for (;;) {
        if (gStopFlag) {
            return FtpOutcome::kStopped;
        }
        if (!data.running) {
            break;
        }
        // A refused retrieval, a control connection gone before the data is complete, or a
        // data connection silent for a minute: not a download.
        DWORD lastData = data.lastDataTick;  // read before the clock, so never in its future
        if (control.refused || (!control.alive && !control.complete) ||
            GetTickCount() - lastData > kDataSilenceLimitMs) {
            return FtpOutcome::kFallBack;
        }
        Sleep(kPollMs);
    }
    // The data connection has closed. The server's word on the retrieval may still be on its
    // way: a refusal (a missing file) must not count as an empty download.
    PollUntil(kReplyPolls, [&] { return control.complete || control.refused || !control.alive; });
    if (!data.ok || control.refused) {
        return FtpOutcome::kFallBack;
    }
    return FtpOutcome::kDone;
}

}  // namespace

void FtpDownload(int row, const std::wstring& url, const std::wstring& savePath,
                 ConnectionSlot& slot, FtpStart start) {
    FtpDataBlock data;
    data.row = row;
    data.url = &url;
    data.buffer = static_cast<char*>(slot.buffer);
    data.bufferBytes = slot.bufferBytes;
    data.expected = ReadTotalSize(row);
    Show(data, kPreparing, L"ダウンロード準備中", 0, kNoElapsed, data.expected);

    bool resume = start == FtpStart::kResume;
    // A fresh transfer leaves a file already there as it is until data arrives.
    FileHandle file(CreateFileW(savePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                resume ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    bool existed = resume || GetLastError() == ERROR_ALREADY_EXISTS;
    LARGE_INTEGER size = {};
    if (savePath.empty() || !file ||
        (resume && (!GetFileSizeEx(file.get(), &size) || size.HighPart > 0xFFFFF))) {
        file.Close();
        FtpFallback(row, url, savePath, slot, start);
        return;
    }
    data.file = file.get();
    data.truncateFirst = !resume;
    data.downloaded = resume ? static_cast<double>(size.QuadPart) : 0;

    FtpControlBlock control;
    control.data = &data;
    FtpTarget target = ParseFtpUrl(url);
    FtpOutcome outcome;
    {
        FtpSession session(control, data);
        outcome = Converse(session, control, data, target, start);
    }
    uint32_t elapsed = data.elapsed;
    double downloaded = data.downloaded;
    file.Close();
    switch (outcome) {
        case FtpOutcome::kStopped:
            AppendCancelLog(slot, url);
            Show(data, kInterrupted, FormatInterruptedText(downloaded, data.expected), 0, elapsed,
                 data.expected);
            return;
        case FtpOutcome::kDone:
            StoreTotalSize(row, downloaded);
            AppendDownloadLog(slot, url);
            Show(data, kDone, L"ダウンロード完了", 0, elapsed, downloaded);
            return;
        case FtpOutcome::kFallBack:
            // An empty file this transfer made is not left behind for the next one to find.
            if (!existed && downloaded == 0) {
                DeleteFileW(savePath.c_str());
            }
            FtpFallback(row, url, savePath, slot, start);
            return;
    }
}
