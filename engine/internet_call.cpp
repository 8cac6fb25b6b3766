#include "engine/internet_call.h"

#include "engine/run_state.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr DWORD kLibraryGraceMs = 30000;
// The first room a read gets; it doubles while the reads fill it.
constexpr DWORD kFirstRoom = 16 * 1024;

DWORD FailureOf(DWORD error) {
    return error != ERROR_SUCCESS ? error : ERROR_INTERNET_INTERNAL_ERROR;
}

}  // namespace

InternetCall* InternetCall::Make(Mode mode, DWORD silenceMs) {
    auto* call = new InternetCall(mode, silenceMs);
    if (call->completed_ == nullptr) {
        call->Abandon();
        call->Leave();
        return nullptr;
    }
    if (mode == Mode::kBlocking) {
        call->work_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = call->work_ != nullptr
                            ? CreateThread(nullptr, 0, CallThread, call, 0, nullptr)
                            : nullptr;
        if (thread == nullptr) {
            call->mode_ = Mode::kAsynchronous;  // no thread to tell
            call->Abandon();
            call->Leave();
            return nullptr;
        }
        CloseHandle(thread);
    }
    return call;
}

InternetCall::InternetCall(Mode mode, DWORD silenceMs)
    : mode_(mode),
      silenceMs_(silenceMs),
      completed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

InternetCall::~InternetCall() {
    if (opened != nullptr) {
        InternetCloseHandle(opened);
    }
    if (work_ != nullptr) {
        CloseHandle(work_);
    }
    if (completed_ != nullptr) {
        CloseHandle(completed_);
    }
}

void InternetCall::Release() {
    if (holders_.fetch_sub(1) == 1) {
        delete this;
    }
}

void InternetCall::Leave() {
    if (mode_ == Mode::kBlocking) {
        left_ = true;
        SetEvent(work_);
    }
    Release();
}

DWORD WINAPI InternetCall::CallThread(void* parameter) {
    auto* call = static_cast<InternetCall*>(parameter);
    for (;;) {
        WaitForSingleObject(call->work_, INFINITE);
        if (call->left_) {
            break;
        }
        BOOL done = call->issue_();
        call->error_ = done ? ERROR_SUCCESS : FailureOf(GetLastError());
        SetEvent(call->completed_);
    }
    call->Release();
    return 0;
}

DWORD InternetCall::RoomAfter(DWORD used, DWORD most) {
    if (used >= capacity_ && capacity_ < most) {
        DWORD capacity = std::min(most, std::max(kFirstRoom, 2 * capacity_));
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        if (used != 0) {
            std::memcpy(grown.get(), buffer_.get(), used);
        }
        buffer_ = std::move(grown);
        capacity_ = capacity;
    }
    return std::min(capacity_, most) - used;
}

void InternetCall::DropBuffer() {
    if (!pending) {
        buffer_.reset();
        capacity_ = 0;
    }
}

CallEnd InternetCall::Run(std::function<BOOL()> issue) {
    if (pending) {  // the last call was given up on: nothing more goes to the library
        error_ = ERROR_INTERNET_INTERNAL_ERROR;
        return CallEnd::kCompleted;
    }
    if (mode_ == Mode::kBlocking) {
        issue_ = std::move(issue);
        pending = true;
        SetEvent(work_);
        return Await();
    }
    if (issue()) {
        error_ = ERROR_SUCCESS;
        return CallEnd::kCompleted;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        error_ = FailureOf(error);
        return CallEnd::kCompleted;
    }
    pending = true;
    return Await();
}

// Waits for the call's completion together with the run's stop. A wait that shows progress
// meanwhile wakes every kStopPollMs to let it; any other sleeps until the silence bound.
CallEnd InternetCall::Await() {
    DWORD start = GetTickCount();
    const HANDLE ends[] = {completed_, gRunStop.Event()};
    DWORD count = ends[1] != nullptr ? 2 : 1;
    for (;;) {
        DWORD waited = GetTickCount() - start;
        DWORD left = waited < silenceMs_ ? silenceMs_ - waited : 0;
        DWORD step = whileWaiting || count == 1 ? std::min(left, kStopPollMs) : left;
        DWORD woke = WaitForMultipleObjects(count, ends, FALSE, step);
        if (woke == WAIT_OBJECT_0) {
            pending = false;
            return CallEnd::kCompleted;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        if (gRunStop.IsSet()) {
            return CallEnd::kStopped;
        }
        if (GetTickCount() - start >= silenceMs_) {
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
            call->error_ = result->dwResult != 0 ? ERROR_SUCCESS : FailureOf(result->dwError);
            SetEvent(call->completed_);
            break;
        }
        case INTERNET_STATUS_HANDLE_CLOSING:
            // The library is done with the request: nothing of it will write to the call now.
            if (handle == call->request_.load()) {
                call->Release();
            }
            break;
        default:
            break;
    }
}

HINTERNET OpenAsyncSession(const wchar_t* userAgent, DWORD silenceMs) {
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
    SetServerPatience(session, silenceMs);
    return session;
}

void SetServerPatience(HINTERNET handle, DWORD silenceMs) {
    // Longer than the waits' own minute, so that the waits decide: the library reports its
    // own time-out under Wine as one of several errors, some of which the open attempts
    // would take for a refusal and repeat.
    DWORD patience = silenceMs + kLibraryGraceMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &patience, sizeof patience);
    }
}
