// The system's Internet library in its asynchronous mode, as the transfers use it: a call
// that cannot complete at once is waited for together with the run's stop, and a server that
// says nothing for a minute ends the wait. The caller then closes the handle, which abandons
// the pending call at once; the library may still finish that call later, so everything the
// call writes to lives in a context that the library itself lets go of, when it says that
// the handle is closing.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <functional>
#include <cstddef>
#include <memory>

// How long a transfer waits for a server that sends nothing, before the answer or in the
// body, before it gives up.
constexpr DWORD kServerSilenceMs = 60000;

enum class CallEnd {
    kCompleted,  // the call finished, well or not: its own result says which
    kStopped,    // the run is to stop
    kSilent,     // a minute without a word from the server
};

// What one request shares with the library's callback. Made with two holders: the transfer,
// and the library for the request's handle, which lets go when that handle is closing.
class InternetCall {
public:
    InternetCall();
    ~InternetCall();
    InternetCall(const InternetCall&) = delete;
    InternetCall& operator=(const InternetCall&) = delete;

    // The context value to give the library with the request's handle.
    DWORD_PTR Context() { return reinterpret_cast<DWORD_PTR>(this); }
    // The handle whose closing ends the library's share.
    void Adopt(HINTERNET request) { request_ = request; }
    // Lets go of one holder's share; the last one frees the call. Where no handle was made
    // with the call, the transfer lets go of the library's share too.
    void Release();

    // After a call returned FALSE: waits for it when it is pending. The completion event
    // needs no reset before a call: every pending call is waited for until its completion
    // (which resets the event) or the request is closed, and a call that completes at once
    // signals nothing. kCompleted with
    // Succeeded() false for a call that failed at once.
    CallEnd AwaitIfPending();
    // Waits for a call known to be pending.
    CallEnd Await();
    // Whether the last completed call succeeded, and its error otherwise.
    bool Succeeded() const { return error_ == ERROR_SUCCESS; }
    DWORD Error() const { return error_; }

    // Where reads land, and the counts the library fills in, all kept alive with the call.
    // The buffer grows with what the reads bring, so a small file never costs a large one.
    char* Buffer() { return buffer_.get(); }
    // Makes room for bytes, keeping what the buffer holds; never while a read is in flight.
    void Reserve(size_t bytes);
    DWORD& Available() { return available_; }
    DWORD& Received() { return received_; }
    // A query for data that was left pending, to be waited for by the next read.
    bool queryPending = false;
    // Called every tenth of a second while a call is waited for (the row's elapsed time and
    // speed go on moving while the server is silent).
    std::function<void()> whileWaiting;
    // A read that the library has not finished: its buffer must stay.
    bool readInFlight = false;
    // False for a request of a session in the library's blocking mode: its calls return only
    // when done, so a read hands on what one call brought.
    bool asynchronous = true;
    void DropBuffer() {
        buffer_.reset();
        capacity_ = 0;
    }

    // The library's status callback, for the session handle.
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                  DWORD infoLength);

private:
    std::atomic<int> holders_{2};
    std::atomic<HINTERNET> request_{nullptr};
    HANDLE completed_;
    DWORD error_ = ERROR_SUCCESS;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    DWORD available_ = 0;
    DWORD received_ = 0;
};

// A session in the asynchronous mode with the program's user agent and the minute of
// patience on every handle made from it.
HINTERNET OpenAsyncSession(const wchar_t* userAgent);
// Gives a handle the minute of patience for connecting, sending and receiving.
void SetServerPatience(HINTERNET handle);
