#include "engine/ftp_transfer.h"

#include "base/file_io.h"
#include "base/owned_handle.h"
#include "engine/download_logs.h"
#include "engine/ftp_text.h"
#include "engine/library_transfer.h"
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
constexpr DWORD kReplyWaitMs = 2500;
constexpr size_t kReplyChunkBytes = 2047;
// A reply line longer than this is cut; nothing the client reads needs more.
constexpr size_t kLongestReplyLine = 4096;

struct SocketTraits {
    using Handle = SOCKET;
    static Handle None() { return INVALID_SOCKET; }
    static bool Close(Handle handle) { return closesocket(handle) == 0; }
};
using Socket = OwnedHandle<SocketTraits>;

KernelHandle NewEvent(bool manualReset) {
    return KernelHandle(CreateEventW(nullptr, manualReset, FALSE, nullptr));
}

// A socket with what its waits wait on: its own event (set by a connect, by data or by the
// end of the connection) and the transfer's quit.
struct WatchedSocket {
    SOCKET socket;
    HANDLE event;
    HANDLE quit;
};

// Shared by the transfer, its data receiver and (for opening it) the control reader.
struct FtpDataBlock {
    std::atomic<SOCKET> socket{INVALID_SOCKET};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> ok{1};
    std::atomic<DWORD> lastDataTick{0};
    HANDLE file = INVALID_HANDLE_VALUE;
    bool truncateFirst = false;  // a fresh transfer empties the file only when data comes
    bool truncated = false;      // it has done so: what the file holds is this transfer's
    std::atomic<double> downloaded{0};
    std::atomic<uint32_t> elapsed{kNoElapsed};
    int row = 0;
    double expected = kNoSize;
    const std::wstring* url = nullptr;
    char* buffer = nullptr;
    size_t bufferBytes = 0;
    sockaddr_in server = {};  // the control connection's peer: data comes from there too
    // The run's silence bound: a host or data port that does not answer a connect (rather than
    // after the system's own time-out of minutes), a data connection that brings nothing, and
    // a server that does not confirm a retrieval after its data connection closed are given
    // up after this long.
    DWORD silenceMs = kServerSilenceMs;
    // Written by the control reader only: a transfer opens one data connection at most, so a
    // second passive reply cannot start a receiver over the first one's socket and file.
    bool opened = false;
    HANDLE thread = nullptr;
    KernelHandle socketEvent = NewEvent(true);
    // Set when the transfer is ending: both threads and a connect give up.
    KernelHandle quit = NewEvent(true);
    // Set by both threads when they change what the transfer waits for (a reply, a refusal,
    // the end of a thread), so that it waits for that instead of looking again and again.
    KernelHandle changed = NewEvent(false);

    WatchedSocket Watched(SOCKET watched) const { return {watched, socketEvent.get(), quit.get()}; }
};

// Shared by the transfer and its control reader.
struct FtpControlBlock {
    SOCKET socket = INVALID_SOCKET;
    std::atomic<int32_t> reply{0};
    std::atomic<int32_t> alive{1};
    std::atomic<int32_t> refused{0};     // a 4xx or 5xx reply came
    std::atomic<int32_t> retrieving{0};  // set before RETR is sent
    std::atomic<int32_t> complete{0};    // the server said the retrieval has ended (226, 250)
    FtpDataBlock* data = nullptr;
    KernelHandle socketEvent = NewEvent(true);

    WatchedSocket Watched(SOCKET watched) const {
        return {watched, socketEvent.get(), data->quit.get()};
    }
};

// Every wait of the transfer blocks on one of these events together with the run's stop.
bool HasEvents(const FtpControlBlock& control) {
    const FtpDataBlock& data = *control.data;
    return control.socketEvent && data.socketEvent && data.quit && data.changed &&
           gRunStop.Event() != nullptr;
}

void TellTheTransfer(const FtpDataBlock& data) {
    SetEvent(data.changed.get());
}

bool Quitting(const WatchedSocket& watched) {
    return WaitForSingleObject(watched.quit, 0) == WAIT_OBJECT_0;
}

// Receives what has come on the socket; false, with nothing received, once the transfer quits.
// The threads never sit in a blocking receive: under Wine shutting a socket down from another
// thread does not end one, so a silent server would hold the stop. When nothing has come they
// wait on the socket's event, which the receive that found nothing has armed, and the quit.
bool ReceiveUnlessQuitting(const WatchedSocket& watched, char* buffer, int bytes, int& received) {
    while (!Quitting(watched)) {
        received = recv(watched.socket, buffer, bytes, 0);
        if (received != SOCKET_ERROR || WSAGetLastError() != WSAEWOULDBLOCK) {
            return true;  // data, the end of the connection or an error
        }
        const HANDLE ends[] = {watched.event, watched.quit};
        if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_FAILED) {
            received = SOCKET_ERROR;  // no way to learn what comes: as good as a failed receive
            return true;
        }
        WSANETWORKEVENTS events;
        WSAEnumNetworkEvents(watched.socket, watched.event, &events);  // resets the event
    }
    return false;
}

void Show(const FtpDataBlock& data, int state, const std::wstring& text, int32_t speed,
          uint32_t elapsed, double size) {
    UpdateRow(RowUpdate{state, data.row, text, speed, elapsed, *data.url, size});
}

// Receives the data connection into the file until it ends.
void ReceiveData(FtpDataBlock& data) {
    SpeedRing ring;
    DWORD start = 0;
    uint32_t elapsed = 0;
    bool first = true;
    int chunk = static_cast<int>(std::min<size_t>(data.bufferBytes, 1 << 30));
    int received = 0;
    while (ReceiveUnlessQuitting(data.Watched(data.socket), data.buffer, chunk, received)) {
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
                data.truncated = true;
                if (!TruncateFile(data.file)) {
                    data.ok = 0;  // the old content would stay under the new data
                    break;
                }
            }
        }
        if (!WriteAll(data.file, std::string_view(data.buffer, static_cast<size_t>(received)))) {
            data.ok = 0;  // a full disk: the file is not what the server sent
            break;
        }
        data.downloaded = data.downloaded + received;
        ring.Count(elapsed, received);
        int32_t speed = ring.NextSpeed();
        elapsed = GetTickCount() - start;
        data.elapsed = elapsed;
        Show(data, kDownloading, FormatProgressText(data.downloaded, kNoSize), speed, elapsed,
             data.expected);
    }
}

DWORD WINAPI FtpDataReceiver(LPVOID parameter) {
    auto& data = *static_cast<FtpDataBlock*>(parameter);
    data.elapsed = 0;  // a transfer that brings no data still took no time
    try {
        ReceiveData(data);
    } catch (...) {
        data.ok = 0;  // the row texts could not be made: the transfer is handed on
    }
    data.running = 0;
    TellTheTransfer(data);
    return 0;
}

// Connects without blocking, so that the transfer's quit and the run's stop end the wait at
// once; false when the connect fails, is cancelled or has not succeeded within limitMs. The
// socket is left non-blocking, its event watching for data and the end of the connection.
bool ConnectWithin(const WatchedSocket& watched, const sockaddr_in& address, DWORD limitMs) {
    ResetEvent(watched.event);  // a socket that failed before may have left it set
    if (WSAEventSelect(watched.socket, watched.event, FD_CONNECT) != 0) {
        return false;
    }
    bool connected =
        connect(watched.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        const HANDLE ends[] = {watched.event, watched.quit, gRunStop.Event()};
        WSANETWORKEVENTS events = {};
        connected = WaitForMultipleObjects(3, ends, FALSE, limitMs) == WAIT_OBJECT_0 &&
                    WSAEnumNetworkEvents(watched.socket, watched.event, &events) == 0 &&
                    (events.lNetworkEvents & FD_CONNECT) != 0 &&
                    events.iErrorCode[FD_CONNECT_BIT] == 0;
    }
    return connected && WSAEventSelect(watched.socket, watched.event, FD_READ | FD_CLOSE) == 0;
}

// Connects a data socket to the server's address at the port of the passive reply and starts
// the receiver on it.
bool FtpOpenDataConnection(FtpDataBlock& data, const std::string& reply) {
    if (data.opened) {
        return true;  // a second passive reply: the first connection serves the transfer
    }
    data.opened = true;
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
    if (!ConnectWithin(data.Watched(socket), address, data.silenceMs)) {
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
void ReadReplies(FtpControlBlock& control) {
    std::string line;
    char chunk[kReplyChunkBytes + 1];
    bool go = true;
    int received = 0;
    while (go && ReceiveUnlessQuitting(control.Watched(control.socket), chunk,
                                       static_cast<int>(kReplyChunkBytes), received)) {
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
                    // Only the retrieval's own reply counts: a late answer to an earlier
                    // command says nothing about the data.
                    if (control.retrieving) {
                        control.complete = 1;
                    }
                    break;
                case FtpReplyKind::kOther:
                    break;
            }
            line.clear();
        }
        if (go) {
            control.reply = 1;
            TellTheTransfer(*control.data);
        }
    }
}

DWORD WINAPI FtpControlReader(LPVOID parameter) {
    auto& control = *static_cast<FtpControlBlock*>(parameter);
    try {
        ReadReplies(control);
    } catch (...) {
        control.refused = 1;  // replies that cannot be read are no basis for a download
    }
    control.reply = 1;
    control.alive = 0;
    TellTheTransfer(*control.data);
    return 0;
}

// Sleeps ms; false as soon as a stop is asked for.
bool PauseUnlessStopped(DWORD ms) {
    return gRunStop.SleepUnlessStopped(ms);
}

// Waits up to ms for the threads to change something; false when a stop comes first.
bool AwaitNews(const FtpDataBlock& data, DWORD ms) {
    const HANDLE ends[] = {data.changed.get(), gRunStop.Event()};
    WaitForMultipleObjects(2, ends, FALSE, ms);
    return !gRunStop.IsSet();
}

// Waits up to limitMs until done() holds; false only when a stop was asked for meanwhile.
template <typename Condition>
bool WaitUnlessStopped(const FtpDataBlock& data, DWORD limitMs, Condition done) {
    DWORD start = GetTickCount();
    for (DWORD waited = 0; !done() && waited < limitMs; waited = GetTickCount() - start) {
        if (!AwaitNews(data, limitMs - waited)) {
            return false;
        }
    }
    return !gRunStop.IsSet();
}

// The socket does not block (its event watches it), but a command is a short line that goes
// out whole at once unless the server has stopped reading; then the dialogue is over.
bool SendAll(SOCKET socket, const std::string& text) {
    return send(socket, text.data(), static_cast<int>(text.size()), 0) ==
           static_cast<int>(text.size());
}

// Connects to the host as an address or, failing that, to each IPv4 address of its name.
// The connection's peer goes to the data block: the data connection is made to it.
bool ConnectControl(Socket& connected, const FtpTarget& target, const FtpControlBlock& control) {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (target.host.empty() || getaddrinfo(target.host.c_str(), nullptr, &hints, &found) != 0) {
        return false;
    }
    FtpDataBlock& data = *control.data;
    for (addrinfo* entry = found; entry != nullptr && !connected && !gRunStop.IsSet();
         entry = entry->ai_next) {
        sockaddr_in address = *reinterpret_cast<sockaddr_in*>(entry->ai_addr);
        address.sin_port = htons(target.port);
        // A socket whose connect failed is not reused: each address gets a fresh one.
        Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (socket && ConnectWithin(control.Watched(socket.get()), address, data.silenceMs)) {
            connected = std::move(socket);
            data.server = address;
        }
    }
    freeaddrinfo(found);
    return static_cast<bool>(connected);
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

    // The quit ends every wait of both threads at once, a data connect under way included;
    // the data socket is looked at once the reader, which may still be opening it, has ended.
    void End() {
        SetEvent(data_.quit.get());
        Join(reader_);
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

enum class FtpOutcome { kDone, kStopped, kFallBack, kGoOn };

// One command after the pause, then up to 2.5 s for its reply (or for until()). kGoOn also
// when no reply came: a slow server does not stop the dialogue, a dead reader does.
template <typename Condition>
FtpOutcome Command(FtpControlBlock& control, SOCKET socket, const std::string& text,
                   Condition until) {
    if (!PauseUnlessStopped(kCommandPauseMs)) {
        return FtpOutcome::kStopped;
    }
    control.reply = 0;
    if (!SendAll(socket, text)) {
        return FtpOutcome::kFallBack;
    }
    if (!WaitUnlessStopped(*control.data, kReplyWaitMs,
                           [&] { return until() || !control.alive; })) {
        return FtpOutcome::kStopped;
    }
    return FtpOutcome::kGoOn;
}

void FtpFallback(const TransferEntry& entry, ConnectionSlot& slot, FtpStart start) {
    if (start == FtpStart::kResume) {
        FtpDownload(entry, slot, FtpStart::kFresh);
    } else {
        LibraryDownload(entry, slot);
    }
}

// Waits while the data comes; kGoOn once the data connection has ended. A refused retrieval,
// a control connection gone before the data is complete, or a data connection silent for the
// silence bound: not a download.
FtpOutcome AwaitData(const FtpControlBlock& control, const FtpDataBlock& data) {
    for (;;) {
        if (gRunStop.IsSet()) {
            return FtpOutcome::kStopped;
        }
        if (!data.running) {
            return FtpOutcome::kGoOn;
        }
        DWORD lastData = data.lastDataTick;  // read before the clock, so never in its future
        DWORD silentMs = GetTickCount() - lastData;
        if (control.refused || (!control.alive && !control.complete) || silentMs > data.silenceMs) {
            return FtpOutcome::kFallBack;
        }
        // Data that came meanwhile has moved the bound on; the wait then just looks again.
        AwaitNews(data, data.silenceMs - silentMs + 1);
    }
}

// The dialogue and the wait for the data; the file is open and the session holds nothing yet.
// A stop is looked at in every pause and wait, so it takes effect at any step.
FtpOutcome Converse(FtpSession& session, FtpControlBlock& control, FtpDataBlock& data,
                    const FtpTarget& target, FtpStart start) {
    Socket socket;
    if (!ConnectControl(socket, target, control)) {
        return gRunStop.IsSet() ? FtpOutcome::kStopped : FtpOutcome::kFallBack;
    }
    SOCKET controlSocket = socket.get();
    if (!session.StartReader(std::move(socket))) {
        return FtpOutcome::kFallBack;
    }
    auto replied = [&] { return control.reply != 0; };
    if (!WaitUnlessStopped(data, kReplyWaitMs, [&] { return replied() || !control.alive; })) {
        return FtpOutcome::kStopped;  // while waiting for the greeting
    }
    for (const char* text : {"USER anonymous\r\n", "PASS \r\n", "TYPE I\r\n"}) {
        if (!control.alive) {
            return FtpOutcome::kFallBack;
        }
        FtpOutcome sent = Command(control, controlSocket, text, replied);
        if (sent != FtpOutcome::kGoOn) {
            return sent;
        }
    }
    if (!control.alive) {
        return FtpOutcome::kFallBack;
    }
    FtpOutcome sent =
        Command(control, controlSocket, "PASV\r\n", [&] { return replied() && data.running != 0; });
    if (sent != FtpOutcome::kGoOn) {
        return sent;
    }
    if (start == FtpStart::kResume && control.alive && data.running) {
        sent = Command(control, controlSocket, RestCommand(data.downloaded), replied);
        if (sent != FtpOutcome::kGoOn) {
            return sent;
        }
    }
    if (!control.alive || !data.running) {
        return FtpOutcome::kFallBack;
    }
    if (!PauseUnlessStopped(kCommandPauseMs)) {
        return FtpOutcome::kStopped;
    }
    SeekToEnd(data.file);
    data.lastDataTick = GetTickCount();
    control.retrieving = 1;
    if (!SendAll(controlSocket, RetrCommand(target.path))) {
        return FtpOutcome::kFallBack;
    }
    FtpOutcome received = AwaitData(control, data);
    if (received != FtpOutcome::kGoOn) {
        return received;
    }
    if (!data.ok) {
        return FtpOutcome::kFallBack;
    }
    // The data connection has closed, which by itself proves nothing: a server that refuses
    // the retrieval (a missing file) may close it empty and say so later, and one that dies
    // closes it early. Only the server's completion reply makes the file a download.
    auto answered = [&] { return control.complete || control.refused || !control.alive; };
    if (!answered() && !WaitUnlessStopped(data, data.silenceMs, answered)) {
        return FtpOutcome::kStopped;
    }
    return control.complete && !control.refused ? FtpOutcome::kDone : FtpOutcome::kFallBack;
}

}  // namespace

void FtpDownload(const TransferEntry& entry, ConnectionSlot& slot, FtpStart start) {
    int row = entry.row;
    const std::wstring& url = entry.url;
    const std::wstring& savePath = entry.savePath;
    FtpDataBlock data;
    data.row = row;
    data.url = &url;
    data.buffer = static_cast<char*>(slot.buffer);
    data.bufferBytes = slot.bufferBytes;
    data.silenceMs = slot.inputs->silenceMs;
    data.expected = entry.total;
    Show(data, kPreparing, L"ダウンロード準備中", 0, kNoElapsed, data.expected);
    FtpControlBlock control;
    control.data = &data;
    if (!HasEvents(control)) {
        FtpFallback(entry, slot, start);  // the library's route can do without them
        return;
    }

    bool resume = start == FtpStart::kResume;
    // A fresh transfer leaves a file already there as it is until data arrives.
    FileHandle file = OpenSaveFile(savePath, resume ? OPEN_EXISTING : OPEN_ALWAYS);
    bool existed = resume || GetLastError() == ERROR_ALREADY_EXISTS;
    int64_t size = 0;
    if (!file || (resume && !ResumableSize(file.get(), size))) {
        file.Close();
        FtpFallback(entry, slot, start);
        return;
    }
    data.file = file.get();
    data.truncateFirst = !resume;
    data.downloaded = resume ? static_cast<double>(size) : 0;

    FtpTarget target = ParseFtpUrl(url);
    FtpOutcome outcome;
    {
        FtpSession session(control, data);
        outcome = Converse(session, control, data, target, start);
    }
    uint32_t elapsed = data.elapsed;
    double downloaded = data.downloaded;
    // The server confirmed a retrieval that brought no data: the file is the empty download,
    // not what an earlier download left there.
    if (outcome == FtpOutcome::kDone && !resume && !data.truncated && !TruncateFile(file.get())) {
        outcome = FtpOutcome::kFallBack;
    }
    file.Close();
    // Whatever this transfer itself put there, an empty file it created or a fragment it
    // wrote, is not left behind for the library's retry to find and keep.
    bool onlyOurs = !resume && (!existed || data.truncated);
    switch (outcome) {
        case FtpOutcome::kStopped:
            if (!existed && downloaded == 0) {
                DeleteFileW(savePath.c_str());
            }
            AppendCancelLog(slot, url);
            Show(data, kInterrupted, FormatInterruptedText(downloaded, data.expected), 0, elapsed,
                 data.expected);
            return;
        case FtpOutcome::kDone:
            AppendDownloadLog(slot, url);
            UpdateRowWithTotal(
                RowUpdate{kDone, row, L"ダウンロード完了", 0, elapsed, url, downloaded},
                downloaded);
            return;
        case FtpOutcome::kGoOn:  // not an end; the dialogue never returns it
        case FtpOutcome::kFallBack:
            if (onlyOurs) {
                DeleteFileW(savePath.c_str());
            }
            FtpFallback(entry, slot, start);
            return;
    }
}
