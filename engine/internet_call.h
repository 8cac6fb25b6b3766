// The system's Internet library as the transfers use it: every call that can wait for a
// server is waited for together with the run's stop, and a server that says nothing for a
// minute ends the wait. The caller then closes the handle and leaves the call.
//
// http and https run in the library's asynchronous mode: closing the handle abandons the
// pending call at once, and the library may still finish that call later, so everything the
// call writes to lives here, in a part that the library itself lets go of when it says the
// handle is closing. Other schemes (ftp) run in the library's blocking mode, whose calls
// return only when done: each runs on a thread of the call's own, which holds the part in the
// library's place and lets go of it when its last call has returned.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

enum class CallEnd {
    kCompleted,  // the call finished, well or not: Succeeded() says which
    kStopped,    // the run is to stop; the call may still be running
    kSilent,     // the run's silence bound (a minute) without a word from the server; the call
                 // may still be running
};

// What one request shares with the library (its callback, or the thread that makes its
// calls). Made with two holders, the transfer and the library's side; the last to let go
// frees it.
class InternetCall {
public:
    enum class Mode { kAsynchronous, kBlocking };

    // nullptr when the system has no room for it (a blocking call's thread). A call that
    // hears nothing from the server for silenceMs ends as kSilent.
    static InternetCall* Make(Mode mode, DWORD silenceMs);
    InternetCall(const InternetCall&) = delete;
    InternetCall& operator=(const InternetCall&) = delete;

    Mode mode() const { return mode_; }
    // The context value to give the library with the request's handle.
    DWORD_PTR Context() { return reinterpret_cast<DWORD_PTR>(this); }
    // The handle whose closing ends the library's share (asynchronous mode).
    void Adopt(HINTERNET request) { request_ = request; }
    // The transfer lets go of its share, after closing its handles. Where no handle was
    // made with an asynchronous call, the library never takes its share: Abandon() first.
    void Leave();
    void Abandon() { Release(); }

    // Makes one library call and waits for its end. `issue` returns the call's BOOL result;
    // in the blocking mode it runs on the call's thread, so it may use only what lives here
    // or is captured by value.
    CallEnd Run(std::function<BOOL()> issue);
    // Waits for a call that the asynchronous mode left pending.
    CallEnd Await();
    // Whether the last completed call succeeded, and its error otherwise.
    bool Succeeded() const { return error_ == ERROR_SUCCESS; }
    DWORD Error() const { return error_; }

    // A handle that a call made (a one-call open in the blocking mode); taken by the
    // transfer, or closed with the call when the transfer had stopped waiting for it.
    HINTERNET opened = nullptr;

    // Where reads land, and what the library fills in, all kept alive with the call. The
    // buffer grows with what the reads bring, so a small file never costs a large one.
    char* Buffer() { return buffer_.get(); }
    // Room after `used` bytes, grown towards `most` when it is full; never while a read is
    // pending.
    DWORD RoomAfter(DWORD used, DWORD most);
    INTERNET_BUFFERSW& Buffers() { return buffers_; }
    DWORD& Available() { return available_; }
    DWORD& Received() { return received_; }
    // A call that the library has not finished: its buffer must stay, and the next read
    // waits for it first.
    bool pending = false;
    void DropBuffer();
    // Called every tenth of a second while a call is waited for (the row's elapsed time and
    // speed go on moving while the server is silent).
    std::function<void()> whileWaiting;

    // The library's status callback, for sessions in the asynchronous mode.
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                  DWORD infoLength);

private:
    InternetCall(Mode mode, DWORD silenceMs);
    ~InternetCall();
    void Release();
    static DWORD WINAPI CallThread(void* call);

    Mode mode_;
    DWORD silenceMs_;
    std::atomic<int> holders_{2};
    std::atomic<HINTERNET> request_{nullptr};
    HANDLE completed_;
    HANDLE work_ = nullptr;  // blocking mode: a call to make, or the transfer has left
    std::function<BOOL()> issue_;
    std::atomic<bool> left_{false};
    DWORD error_ = ERROR_SUCCESS;
    std::unique_ptr<char[]> buffer_;
    DWORD capacity_ = 0;
    INTERNET_BUFFERSW buffers_ = {};
    DWORD available_ = 0;
    DWORD received_ = 0;
};

// A session in the asynchronous mode with the program's user agent and the patience of the
// silence bound on every handle made from it.
HINTERNET OpenAsyncSession(const wchar_t* userAgent, DWORD silenceMs);
// Gives a handle the patience of the silence bound for connecting, sending and receiving.
void SetServerPatience(HINTERNET handle, DWORD silenceMs);
