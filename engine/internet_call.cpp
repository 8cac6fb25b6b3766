#include "engine/internet_call.h"

#include "engine/run_state.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// How often a wait looks at the run's stop: a stop takes effect within this.
constexpr DWORD kStopPollMs = 100;
constexpr DWORD kLibraryGraceMs = 30000;

}  // namespace

InternetCall::InternetCall() : completed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (completed_ == nullptr) {
        throw std::bad_alloc();
    }
}

InternetCall::~InternetCall() {
    CloseHandle(completed_);
}

void InternetCall::Reserve(size_t bytes) {
    if (bytes <= capacity_) {
        return;
    }
    size_t capacity = std::max<size_t>(bytes, 2 * capacity_);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (capacity_ != 0) {
        std::memcpy(grown.get(), buffer_.get(), capacity_);
    }
    buffer_ = std::move(grown);
    capacity_ = capacity;
}

void InternetCall::Release() {
    if (holders_.fetch_sub(1) == 1) {
        delete this;
    }
}

CallEnd InternetCall::AwaitIfPending() {
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        error_ = error != ERROR_SUCCESS ? error : ERROR_INTERNET_INTERNAL_ERROR;
        return CallEnd::kCompleted;
    }
    return Await();
}

CallEnd InternetCall::Await() {
    DWORD start = GetTickCount();
    for (;;) {
        if (WaitForSingleObject(completed_, kStopPollMs) == WAIT_OBJECT_0) {
            return CallEnd::kCompleted;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        if (gStopFlag) {
            return CallEnd::kStopped;
        }
        if (GetTickCount() - start >= kServerSilenceMs) {
            return CallEnd::kSilent;
        }
    }
}

void CALLBACK InternetCall::OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                     DWORD) {
    // Only requests carry a context; the session's and connections' notices have none.
    auto* call = reinterpret_cast<InternetCall*>(context);
    if (call == nullptr) {
        return;
    }
    switch (status) {
        case INTERNET_STATUS_REQUEST_COMPLETE: {
            const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
            call->error_ = result->dwResult != 0 ? ERROR_SUCCESS : result->dwError;
            if (call->error_ == ERROR_SUCCESS && result->dwResult == 0) {
                call->error_ = ERROR_INTERNET_INTERNAL_ERROR;
            }
            SetEvent(call->completed_);
            break;
        }
        case INTERNET_STATUS_HANDLE_CLOSING:
            // The library is done with the request: nothing of it will write to the call now.
            // Other handles the library made with the same context (an ftp connection behind
            // a one-call open) do not count.
            if (handle == call->request_.load()) {
                call->Release();
            }
            break;
        default:
            break;
    }
}

HINTERNET OpenAsyncSession(const wchar_t* userAgent) {
    HINTERNET session = InternetOpenW(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                      INTERNET_FLAG_ASYNC);
    if (session == nullptr) {
        return nullptr;
    }
    if (InternetSetStatusCallbackW(session, InternetCall::OnStatus) ==
        INTERNET_INVALID_STATUS_CALLBACK) {
        InternetCloseHandle(session);
        return nullptr;
    }
    SetServerPatience(session);
    return session;
}

void SetServerPatience(HINTERNET handle) {
    // Longer than the waits' own minute, so that the waits decide: the library reports its
    // own time-out under Wine as one of several errors, some of which the open attempts
    // would take for a refusal and repeat.
    DWORD patience = kServerSilenceMs + kLibraryGraceMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &patience, sizeof patience);
    }
}
