#include "engine/host_pause.h"

#include "engine/http_text.h"
#include "engine/run_state.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <utility>

namespace {

// The pace of a host's first refusal: four requests a second. Each refusal at the pace
// doubles it, up to one request in ten seconds; each minute without a refusal halves it.
constexpr uint64_t kFirstPaceMs = 250;
constexpr uint64_t kLongestPaceMs = 10000;
constexpr uint64_t kPaceEasesAfterMs = 60000;
// A refusal without a usable Retry-After waits 2 s, then 4, 8, 16 and 32 s.
constexpr int64_t kFirstPauseSeconds = 2;
// A server may hold an entry for five waits of at most five minutes each; the sixth refusal,
// or a longer wait, ends the entry with the refusal as its HTTP error.
constexpr int kMostWaits = 5;
constexpr int64_t kLongestWaitSeconds = 5 * 60;

// Seconds since 1970 by this computer's clock.
int64_t ClockNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr uint64_t kTicksPerSecond = 10000000;
    constexpr uint64_t kFrom1601To1970 = 11644473600;
    return static_cast<int64_t>(ticks / kTicksPerSecond - kFrom1601To1970);
}

}  // namespace

std::wstring HostPauses::HostOf(const std::wstring& url) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) || parts.lpszHostName == nullptr ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        return std::wstring();
    }
    std::wstring name(parts.lpszHostName, parts.dwHostNameLength);
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    });
    return (parts.nScheme == INTERNET_SCHEME_HTTPS ? L"https://" : L"http://") + name + L":" +
           std::to_wstring(parts.nPort);
}

void HostPauses::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    hosts_.clear();
}

uint64_t HostPauses::ReadyAt(const std::wstring& host) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = hosts_.find(host);
    return found != hosts_.end() ? std::max(found->second.pauseEnd, found->second.nextTurn) : 0;
}

HostPauses::Turn HostPauses::TakeTurn(const std::wstring& host) {
    uint64_t now = GetTickCount64();
    std::lock_guard<std::mutex> guard(lock_);
    auto found = hosts_.find(host);
    if (found == hosts_.end()) {
        return Turn{now, 0};
    }
    Host& known = found->second;
    if (known.paceMs != 0 && now >= known.paceSince + kPaceEasesAfterMs) {
        known.paceMs = known.paceMs / 2 >= kFirstPaceMs ? known.paceMs / 2 : 0;
        known.paceSince = now;
    }
    Turn turn{std::max({now, known.pauseEnd, known.nextTurn}), known.pause, known.turns > 0};
    known.nextTurn = turn.at + known.paceMs;
    ++known.turns;
    return turn;
}

bool HostPauses::StillCurrent(const std::wstring& host, const Turn& turn) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = hosts_.find(host);
    return found == hosts_.end() || found->second.pause == turn.pause;
}

void HostPauses::Pause(const std::wstring& host, uint64_t waitMs, const Turn& turn) {
    uint64_t end = GetTickCount64() + waitMs;
    std::lock_guard<std::mutex> guard(lock_);
    Host& known = hosts_[host];
    bool current = turn.pause == known.pause;
    // A request sent before the host's latest pause was refused under the pace before it:
    // that pause already answers it, unless this one asks for longer.
    if (!current && end <= known.pauseEnd) {
        return;
    }
    // The first request after a pause that is refused says the pause was too short, not
    // that the pace is too fast.
    if (current && known.paceMs == 0) {
        known.paceMs = kFirstPaceMs;
    } else if (current && turn.paced) {
        known.paceMs = std::min(known.paceMs * 2, kLongestPaceMs);
    }
    known.pauseEnd = std::max(known.pauseEnd, end);
    known.paceSince = known.pauseEnd;
    known.turns = 0;
    // The turns given out so far are void: the line starts again at the pause's end.
    known.nextTurn = known.pauseEnd;
    ++known.pause;
}

HostWait::HostWait(HostPauses* pauses, const std::wstring& url, std::function<void(int)> show)
    : pauses_(pauses),
      host_(pauses != nullptr ? HostPauses::HostOf(url) : std::wstring()),
      show_(std::move(show)) {}

bool HostWait::AwaitTurn() {
    if (gRunStop.IsSet()) {
        return false;
    }
    if (host_.empty()) {
        return true;
    }
    bool waited = false;
    do {
        turn_ = pauses_->TakeTurn(host_);
        if (GetTickCount64() < turn_.at) {
            waited = true;
            if (!WaitUntil(turn_.at)) {
                return false;
            }
        }
    } while (!pauses_->StillCurrent(host_, turn_));
    if (waited) {
        show_(0);
    }
    return true;
}

// Counts the seconds down on the row until the turn comes, or the host pauses again (which
// voids the turn), or the run is to stop (false).
bool HostWait::WaitUntil(uint64_t at) {
    int shown = 0;
    for (;;) {
        uint64_t now = GetTickCount64();
        if (now >= at) {
            return true;
        }
        int secondsLeft = static_cast<int>((at - now + 999) / 1000);
        if (secondsLeft != shown) {
            show_(secondsLeft);
            shown = secondsLeft;
        }
        if (!gRunStop.SleepUnlessStopped(
                static_cast<DWORD>(std::min<uint64_t>(at - now, kStopPollMs)))) {
            return false;
        }
        if (!pauses_->StillCurrent(host_, turn_)) {
            return true;
        }
    }
}

bool HostWait::AskAgainAfterRefusal(const std::wstring& retryAfter, const std::wstring& date) {
    if (host_.empty()) {
        return false;
    }
    ++refusals_;
    // A date is taken against the server's own clock when it says what time it is.
    int64_t now = 0;
    if (!ParseHttpDate(date, now)) {
        now = ClockNow();
    }
    int64_t seconds = 0;
    if (!RetryAfterSeconds(retryAfter, now, seconds)) {
        seconds = kFirstPauseSeconds << (refusals_ - 1);
    }
    // Too long a wait pauses nobody: every other entry for the host hears the same and
    // ends at once.
    if (seconds > kLongestWaitSeconds) {
        return false;
    }
    pauses_->Pause(host_, static_cast<uint64_t>(seconds) * 1000, turn_);
    return refusals_ <= kMostWaits;
}

bool HeldRows::Take(HostPauses& pauses, uint64_t now, bool listDone, int& row) {
    auto chosen = rows_.end();
    uint64_t chosenReady = 0;
    for (auto held = rows_.begin(); held != rows_.end(); ++held) {
        uint64_t ready = std::max(pauses.ReadyAt(held->first), now);
        if (chosen == rows_.end() || ready < chosenReady ||
            (ready == chosenReady && held->second.front() < chosen->second.front())) {
            chosen = held;
            chosenReady = ready;
        }
    }
    if (chosen == rows_.end() || (chosenReady > now && !listDone)) {
        return false;
    }
    row = chosen->second.front();
    chosen->second.pop_front();
    if (chosen->second.empty()) {
        rows_.erase(chosen);
    }
    return true;
}
